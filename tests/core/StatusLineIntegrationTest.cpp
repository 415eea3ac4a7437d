// Connecting the relay through Claude Code's settings.json and putting the
// user's own status line back: the record, the backup, the state, the relay
// command text, and settings that must never be harmed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "core/claude/ClaudeCodePaths.h"
#include "core/claude/StatusLineIntegration.h"
#include "core/engine/OvelPaths.h"
#include "support/SettingsWriter.h"
#include "support/TestSupport.h"

namespace ovel {

// Readable failures.
void PrintTo(const JSONValue& value, std::ostream* out) { *out << writeJson(value, {}); }
void PrintTo(const StatusLineIntegration::IntegrationError& error, std::ostream* out) {
  *out << error.errorDescription();
}
void PrintTo(const StatusLineIntegration::State& state, std::ostream* out) {
  *out << "state " << static_cast<int>(state.stateCase()) << " " << state.command();
}

namespace {

namespace fs = std::filesystem;
using Integration = StatusLineIntegration;
using IntegrationError = Integration::IntegrationError;
using Record = Integration::Record;
using State = Integration::State;
using test::ScopedEnv;
using test::TempDir;

const Date kT0 = dateFromSeconds1970(1767225600);  // 2026-01-01T00:00:00Z
constexpr const char* kRelayMark = "@RELAY@";      // stands for the relay command in expected texts

JSONValue json(std::string_view text) {
  std::string failure;
  auto value = JSONValue::parse(text, &failure);
  EXPECT_TRUE(value) << text << ": " << failure;
  return value.value_or(JSONValue());
}

std::string replaced(std::string text, std::string_view mark, const std::string& by) {
  for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at + by.size()))
    text.replace(at, mark.size(), by);
  return text;
}

JSONValue withoutStatusLine(JSONValue settings) {
  if (auto* object = settings.asObject()) object->erase("statusLine");
  return settings;
}

void expectSuccess(const std::optional<IntegrationError>& error) { EXPECT_FALSE(error) << error->errorDescription(); }

ino_t inodeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Written a while ago, as a user's settings are: a file that changed just
// now may still be under way, and an edit waits for it.
void saveAWhileAgo(const fs::path& path, const std::string& text) {
  test::writeText(path, text);
  fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(5));
}

// Claude Code's folder and the data directory inside one temporary folder.
class Sandbox {
 public:
  TempDir dir;
  Integration integration{dir / "claude/settings.json", dir / "ovel/integration.json", dir / "ovel/bin/ovel-bridge"};

  struct Files {
    std::optional<std::string> settings, record, backup;
    bool operator==(const Files&) const = default;
  };
  Files files() const {
    return {readWholeFile(integration.settingsURL, test::kTestFileLimit),
            readWholeFile(integration.recordURL, test::kTestFileLimit),
            readWholeFile(integration.backupURL(), test::kTestFileLimit)};
  }
  // An expected text with the relay command in place of the mark.
  JSONValue expected(const std::string& text) const { return json(replaced(text, kRelayMark, relay())); }
  std::string relay() const { return integration.relayCommand(); }
  JSONValue settings() const { return json(test::readText(integration.settingsURL)); }
  void saveSettings(const std::string& text) const { saveAWhileAgo(integration.settingsURL, text); }
  State state() const {
    State state = State::stale("unset");
    expectSuccess(integration.state(state));
    return state;
  }
};

// --- Connect and disconnect

constexpr const char* kOtherKeys = R"json({
  "$schema": "https://json.schemastore.org/claude-code-settings.json",
  "model": "opus",
  "cleanupPeriodDays": 30,
  "feedbackSurveyState": {"lastShownTime": 1767139200123, "surveyId": 12345678901234567890},
  "env": {"ANTHROPIC_BASE_URL": "https://proxy.example/v1", "MAX_THINKING_TOKENS": "8000"},
  "permissions": {"allow": ["Bash(npm run test:*)", "Read(~/notes/**)"], "deny": [], "defaultMode": "acceptEdits"},
  "hooks": {"PostToolUse": [{"matcher": "Edit|Write", "hooks": [{"type": "command", "command": "prettier --write \"$FILE\"", "timeout": 2.5}]}]},
  "includeCoAuthoredBy": false,
  "temperatureBias": -0.125,
  "retired": null
})json";

constexpr const char* kPaddingAndRefresh = R"({
  "statusLine": {"type": "command", "command": "~/.claude/statusline.sh", "padding": 0, "refreshInterval": 5},
  "theme": "dark"
})";

const std::string kInlineStatusLine =
    R"({"type": "command", "hideVimModeIndicator": true,
        "command": "jq -r '\"\\(.model.display_name) \u00b7 \\(.rate_limits.five_hour.used_percentage // 0)%\"'"})";

struct Sequence {
  const char* name;
  std::optional<std::string> settings;  // bytes before connecting; absent: no file
  std::optional<std::string> record;    // an integration.json from an earlier connect
  State before;
  std::string connected;             // the "statusLine" that connecting writes
  std::optional<std::string> saved;  // the record's originalStatusLine
  std::string installedAt;
  std::optional<std::string> restored;  // the settings after disconnecting; absent: the original
};

std::vector<Sequence> sequences() {
  const std::string plain = R"({"command": "@RELAY@", "type": "command"})";
  const std::string staleCommand = R"('/old/home/Ovel/bin/ovel-bridge' --chain)";
  return {
      {"no settings file", std::nullopt, std::nullopt, State::notInstalled(), plain, std::nullopt,
       "2026-01-01T00:00:00Z", "{}"},
      {"zero-byte settings", "", std::nullopt, State::notInstalled(), plain, std::nullopt, "2026-01-01T00:00:00Z",
       "{}"},
      {"other keys", kOtherKeys, std::nullopt, State::notInstalled(), plain, std::nullopt, "2026-01-01T00:00:00Z",
       std::nullopt},
      {"padding and refreshInterval", kPaddingAndRefresh, std::nullopt, State::notInstalled(),
       R"({"command": "@RELAY@", "padding": 0, "refreshInterval": 5, "type": "command"})",
       R"({"type": "command", "command": "~/.claude/statusline.sh", "padding": 0, "refreshInterval": 5})",
       "2026-01-01T00:00:00Z", std::nullopt},
      {"command with quotes and backslashes", R"({"statusLine": )" + kInlineStatusLine + "}", std::nullopt,
       State::notInstalled(), R"({"command": "@RELAY@", "hideVimModeIndicator": true, "type": "command"})",
       kInlineStatusLine, "2026-01-01T00:00:00Z", std::nullopt},
      {"string statusLine", R"({"statusLine": "~/bin/status.sh", "model": "sonnet"})", std::nullopt,
       State::notInstalled(), plain, R"("~/bin/status.sh")", "2026-01-01T00:00:00Z", std::nullopt},
      {"null statusLine", R"({"statusLine": null, "model": "sonnet"})", std::nullopt, State::notInstalled(), plain,
       "null", "2026-01-01T00:00:00Z", std::nullopt},
      {"stale relay with the first record",
       R"({"statusLine": {"type": "command", "command": ")" + staleCommand + R"(", "padding": 1}, "model": "opus"})",
       R"({"installedAt": "2025-12-01T08:00:00Z", "originalStatusLine": {"command": "~/bin/mine.sh", "padding": 1, "type": "command"}})",
       State::stale(staleCommand), R"({"command": "@RELAY@", "padding": 1, "type": "command"})",
       R"({"command": "~/bin/mine.sh", "padding": 1, "type": "command"})", "2025-12-01T08:00:00Z",
       R"({"statusLine": {"type": "command", "command": "~/bin/mine.sh", "padding": 1}, "model": "opus"})"},
      {"stale relay without a record", R"({"statusLine": {"type": "command", "command": ")" + staleCommand + R"("}})",
       std::nullopt, State::stale(staleCommand), plain, std::nullopt, "2026-01-01T00:00:00Z", "{}"},
  };
}

void expectOneFinalLineFeed(const std::optional<std::string>& bytes) {
  ASSERT_TRUE(bytes);
  ASSERT_GE(bytes->size(), 3u);
  EXPECT_EQ(bytes->substr(bytes->size() - 2), "}\n");
  EXPECT_NE(bytes->substr(bytes->size() - 3), "}\n\n");
}

TEST(StatusLineIntegrationTest, ConnectThenDisconnectGivesBackTheUsersSettings) {
  for (const auto& row : sequences()) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    const Integration& integration = box.integration;
    if (row.settings) box.saveSettings(*row.settings);
    if (row.record) test::writeText(integration.recordURL, *row.record);
    const JSONValue original = row.settings && !row.settings->empty() ? json(*row.settings) : json("{}");
    EXPECT_EQ(box.state(), row.before);

    expectSuccess(integration.install(kT0));
    const Sandbox::Files connected = box.files();
    JSONValue settings = box.settings();
    ASSERT_TRUE(settings.asObject());
    EXPECT_EQ(settings.asObject()->at("statusLine"), box.expected(row.connected));
    EXPECT_EQ(withoutStatusLine(settings), withoutStatusLine(original));
    expectOneFinalLineFeed(connected.settings);
    auto record = integration.readRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->originalStatusLine, row.saved ? std::optional(json(*row.saved)) : std::nullopt);
    EXPECT_EQ(isoString(record->installedAt), row.installedAt);
    EXPECT_EQ(connected.backup, row.settings);  // none when there was nothing to copy
    EXPECT_EQ(box.state(), State::installed());

    // Connecting again finds the relay and keeps the first record: nothing
    // changes, and nothing is written.
    const ino_t inode = inodeOf(integration.settingsURL);
    expectSuccess(integration.install(addSeconds(kT0, 60)));
    EXPECT_EQ(box.files(), connected);
    EXPECT_EQ(inodeOf(integration.settingsURL), inode);

    // The first write over an existing file makes the backup, so without a
    // file before, the disconnect backs up what the connect wrote.
    const auto backup = row.settings ? row.settings : connected.settings;
    expectSuccess(integration.uninstall());
    const Sandbox::Files disconnected = box.files();
    EXPECT_EQ(box.settings(), row.restored ? json(*row.restored) : original);
    expectOneFinalLineFeed(disconnected.settings);
    EXPECT_FALSE(disconnected.record);
    EXPECT_EQ(disconnected.backup, backup);
    EXPECT_EQ(box.state(), State::notInstalled());
  }
}

// The relay runs the command the record names, so nobody else may write it,
// not even for a moment under a group-friendly umask.
TEST(StatusLineIntegrationTest, TheRecordIsTheUsersAloneWhateverTheUmask) {
  Sandbox box;
  const mode_t previous = ::umask(0002);
  const auto error = box.integration.install(kT0);
  ::umask(previous);
  expectSuccess(error);
  struct stat info {};
  ASSERT_EQ(::stat(box.integration.recordURL.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(StatusLineIntegrationTest, DisconnectGivesBackNumbersAsTheUserWroteThem) {
  // No machine type holds these exactly; as doubles they would come back as
  // 1.2345678901234568e+29, 0, 1 and 0.
  const char* values[] = {"123456789012345678901234567890", "-0.0", "1.00000000000000001", "1e-400",
                          "-9223372036854775809"};
  std::string settings = R"({"statusLine": null)";
  for (std::size_t index = 0; index < std::size(values); ++index)
    settings += ", \"n" + std::to_string(index) + "\": " + values[index];
  settings += "}";
  Sandbox box;
  box.saveSettings(settings);
  expectSuccess(box.integration.install(kT0));
  expectSuccess(box.integration.uninstall());

  std::string restored = test::readText(box.integration.settingsURL);
  EXPECT_NE(restored.find("\"statusLine\": null"), std::string::npos) << restored;
  for (std::size_t index = 0; index < std::size(values); ++index)
    EXPECT_NE(restored.find("\"n" + std::to_string(index) + "\": " + values[index]), std::string::npos) << restored;
}

TEST(StatusLineIntegrationTest, WrittenFilesKeepIntegersAndTheirSlashRule) {
  Sandbox box;
  test::writeText(
      box.integration.settingsURL,
      replaced(kOtherKeys, "\"model\": \"opus\",",
               R"("statusLine": {"type": "command", "command": "~/.claude/statusline.sh", "padding": 0},)"));
  expectSuccess(box.integration.install(kT0));

  std::string settings = test::readText(box.integration.settingsURL);
  for (const char* kept :
       {"\"padding\": 0,", "\"cleanupPeriodDays\": 30,", "12345678901234567890", "1767139200123", "\"timeout\": 2.5",
        "-0.125", "\"https://json.schemastore.org/claude-code-settings.json\"", "\"Read(~/notes/**)\""})
    EXPECT_NE(settings.find(kept), std::string::npos) << kept;
  EXPECT_EQ(settings.find("\\/"), std::string::npos);

  std::string record = test::readText(box.integration.recordURL);
  for (const char* kept :
       {"\"installedAt\": \"2026-01-01T00:00:00Z\"", "\"padding\": 0", "~\\/.claude\\/statusline.sh"})
    EXPECT_NE(record.find(kept), std::string::npos) << kept;
  EXPECT_LT(record.find("installedAt"), record.find("originalStatusLine"));
  EXPECT_NE(record.find('\n'), std::string::npos);
  EXPECT_EQ(record.back(), '}');
}

TEST(StatusLineIntegrationTest, BadSettingsLeaveEveryFileUntouched) {
  std::string deep;
  for (int i = 0; deep.size() < (5u << 20); ++i) deep += R"({"a":)";
  std::string truncatedLarge = R"({"env": {"BLOB": ")" + std::string(5u << 20, 'x');
  struct Case {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"  \n\t\n", "not valid JSON: the text ends before the value is complete"},
      {"[]", "top level isn't an object"},
      {R"("statusLine")", "top level isn't an object"},
      {"1", "top level isn't an object"},
      {"true", "top level isn't an object"},
      {"null", "top level isn't an object"},
      {R"({"model": "opus", "statusLine": {"type": "command")",
       "not valid JSON: the text ends before the value is complete"},
      {"{\n  \"statusLine\": {\n    \"padding\": 0 // to the edge\n  }\n}", "not valid JSON at line 3, column 18"},
      {"{\"model\": \"caf\xE9\"}", "not valid JSON at line 1, column 16"},
      {deep, "nested more than 512 levels deep"},
      {truncatedLarge, "not valid JSON: the text ends before the value is complete"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 60));
    Sandbox box;
    box.saveSettings(c.bytes);
    const auto expected = IntegrationError::unreadableSettings(c.reason);
    EXPECT_EQ(expected.errorDescription(), std::string("Couldn't read Claude Code settings: ") + c.reason);

    EXPECT_EQ(box.integration.install(kT0), expected);
    EXPECT_EQ(box.files(), (Sandbox::Files{c.bytes, std::nullopt, std::nullopt}));

    State state = State::installed();
    EXPECT_EQ(box.integration.state(state), expected);
    const std::string record = R"({"installedAt": "2026-01-01T00:00:00Z"})";
    test::writeText(box.integration.recordURL, record);
    EXPECT_EQ(box.integration.uninstall(), expected);
    EXPECT_EQ(box.files(), (Sandbox::Files{c.bytes, record, std::nullopt}));
  }
}

TEST(StatusLineIntegrationTest, StateFollowsTheStatusLineCommand) {
  struct Case {
    const char* settings;
    State expected;
  } cases[] = {
      {"{}", State::notInstalled()},
      {R"({"statusLine": {"type": "command"}})", State::notInstalled()},
      {R"({"statusLine": {"type": "command", "command": 5}})", State::notInstalled()},
      {R"({"statusLine": {"type": "command", "command": ""}})", State::notInstalled()},
      {R"({"statusLine": {"type": "command", "command": "~/bin/s.sh"}})", State::notInstalled()},
      {R"({"statusLine": "@RELAY@"})", State::notInstalled()},
      {R"({"statusLine": {"command": "/opt/Ovel-Bridge"}})", State::notInstalled()},
      {R"({"statusLine": {"command": "@RELAY@"}})", State::installed()},
      {R"({"statusLine": {"type": "static", "command": "@RELAY@"}})", State::installed()},
      {R"({"statusLine": {"command": "/opt/ovel-bridge"}})", State::stale("/opt/ovel-bridge")},
  };
  for (const auto& c : cases) {
    Sandbox box;
    test::writeText(box.integration.settingsURL, replaced(c.settings, kRelayMark, box.relay()));
    EXPECT_EQ(box.state(), c.expected) << c.settings;
  }
  // More than the relay command is not the relay command.
  Sandbox box;
  test::writeText(box.integration.settingsURL,
                  replaced(R"({"statusLine": {"command": "@RELAY@ --verbose"}})", kRelayMark, box.relay()));
  EXPECT_EQ(box.state(), State::stale(box.relay() + " --verbose"));
}

TEST(StatusLineIntegrationTest, DisconnectWhoseRecordStaysSaysSo) {
  Sandbox box;
  test::writeText(box.integration.settingsURL, R"({"statusLine": {"type": "command", "command": "~/bin/s.sh"}})");
  expectSuccess(box.integration.install(kT0));
  test::LockedFolder folder(box.integration.recordURL.parent_path());
  if (!folder.held()) GTEST_SKIP() << "this file system cannot lock a folder";

  auto error = box.integration.uninstall();
  const std::string path = box.integration.recordURL.string();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->errorCase(), IntegrationError::Case::recordKept);
  EXPECT_EQ(error->errorDescription().rfind("Couldn't remove " + path + ": ", 0), 0u) << error->errorDescription();
  EXPECT_TRUE(fs::exists(box.integration.recordURL));
  EXPECT_EQ(box.settings(), json(R"({"statusLine": {"type": "command", "command": "~/bin/s.sh"}})"))
      << "the user's status line is back all the same";
}

TEST(StatusLineIntegrationTest, DisconnectWithoutAReadableRecordChangesNothing) {
  for (std::optional<std::string> record :
       {std::optional<std::string>(), std::optional<std::string>(R"({"installedAt": "2026-01-01T00:00:00.000Z"})"),
        std::optional<std::string>(R"({"installedAt": "2026-01-01T00:00:00+00:00"})"),
        std::optional<std::string>("{")}) {
    Sandbox box;
    expectSuccess(box.integration.install(kT0));
    if (record) test::writeText(box.integration.recordURL, *record);
    else fs::remove(box.integration.recordURL);
    const auto before = box.files();

    auto error = box.integration.uninstall();
    EXPECT_EQ(error, IntegrationError::notInstalled()) << record.value_or("no record");
    if (error) { EXPECT_EQ(error->errorDescription(), "Ovel isn't connected to Claude Code's status line."); }
    EXPECT_EQ(box.files(), before);
  }
}

TEST(StatusLineIntegrationTest, FailedRecordWriteLeavesTheSettingsAlone) {
  Sandbox box;
  test::writeText(box.integration.settingsURL, kPaddingAndRefresh);
  test::writeText(box.dir / "ovel", "a file where the data directory belongs");

  auto error = box.integration.install(kT0);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->errorCase(), IntegrationError::Case::fileSystem);
  EXPECT_EQ(error->errorDescription(),
            "Couldn't write " + box.integration.recordURL.string() + ": " + error->code().message());
  EXPECT_EQ(box.files(), (Sandbox::Files{kPaddingAndRefresh, std::nullopt, std::nullopt}));
}

TEST(StatusLineIntegrationTest, ADataDirectoryThatIsNotUtf8IsRefused) {
  Sandbox box;
  Integration integration = box.integration;
  integration.bridgeURL = box.dir / "caf\xE9/bin/ovel-bridge";
  auto error = integration.install(kT0);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), std::errc::illegal_byte_sequence);
  EXPECT_EQ(box.files(), Sandbox::Files{});
}

// --- Rewriting a file the user owns

TEST(StatusLineIntegrationTest, RewriteKeepsPermissionsAndTheSymbolicLink) {
  Sandbox box;
  fs::path target = box.dir / "dotfiles/claude-settings.json";
  test::writeText(target, kPaddingAndRefresh);
  ::chmod(target.c_str(), 0600);
  fs::create_directories(box.integration.settingsURL.parent_path());
  fs::create_symlink("../dotfiles/claude-settings.json", box.integration.settingsURL);
  auto mode = [](const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  };

  expectSuccess(box.integration.install(kT0));
  EXPECT_TRUE(fs::is_symlink(box.integration.settingsURL));
  EXPECT_EQ(json(test::readText(target)).asObject()->at("statusLine"),
            box.expected(R"({"command": "@RELAY@", "padding": 0, "refreshInterval": 5, "type": "command"})"));
  EXPECT_EQ(mode(target), 0600u);
  // The backup is a plain copy, no more readable than the settings.
  EXPECT_FALSE(fs::is_symlink(box.integration.backupURL()));
  EXPECT_EQ(test::readText(box.integration.backupURL()), kPaddingAndRefresh);
  EXPECT_EQ(mode(box.integration.backupURL()), 0600u);

  expectSuccess(box.integration.uninstall());
  EXPECT_TRUE(fs::is_symlink(box.integration.settingsURL));
  EXPECT_EQ(json(test::readText(target)), json(kPaddingAndRefresh));
  EXPECT_EQ(mode(target), 0600u);
}

TEST(StatusLineIntegrationTest, ReadOnlySettingsAndLinksIntoNowhereAreLeftAlone) {
  const std::string settings = R"({"statusLine": {"type": "command", "command": "~/bin/s.sh"}, "model": "opus"})";
  const std::string record = R"({"installedAt": "2026-01-01T00:00:00Z", "originalStatusLine": {"command": "x"}})";
  enum class Setup { modeWithoutWrite, linkIntoMissingFolder, lockedFile };
  const struct {
    const char* name;
    Setup setup;
  } setups[] = {{"no write bit", Setup::modeWithoutWrite},
                {"a link into a missing folder", Setup::linkIntoMissingFolder},
                {"immutable for root, read-only for others", Setup::lockedFile}};
  for (const auto& [name, setup] : setups) {
    for (bool connecting : {true, false}) {
      SCOPED_TRACE(std::string(name) + (connecting ? ", connect" : ", disconnect"));
      Sandbox box;
      const Integration& integration = box.integration;
      const fs::path target = box.dir / "dotfiles/claude/settings.json";
      std::optional<test::LockedFile> locked;
      if (!connecting) test::writeText(integration.recordURL, record);
      if (setup == Setup::linkIntoMissingFolder) {
        fs::create_directories(integration.settingsURL.parent_path());
        fs::create_symlink(target, integration.settingsURL);
      } else {
        box.saveSettings(settings);
        if (setup == Setup::modeWithoutWrite) fs::permissions(integration.settingsURL, fs::perms::owner_read);
        else if (locked.emplace(integration.settingsURL); !locked->held()) GTEST_SKIP() << "cannot lock a file here";
      }
      const auto before = box.files();

      auto error = connecting ? integration.install(kT0) : integration.uninstall();
      ASSERT_TRUE(error);
      const std::string path = integration.settingsURL.string();
      if (setup == Setup::linkIntoMissingFolder) {
        EXPECT_EQ(error, IntegrationError::brokenSettingsLink(integration.settingsURL, target));
        EXPECT_EQ(error->errorDescription(),
                  "Couldn't change " + path + ": it links to " + target.string() + ", in a folder that doesn't exist.");
        EXPECT_FALSE(fs::exists(box.dir / "dotfiles")) << "no folder is made up";
      } else {
        EXPECT_EQ(error, IntegrationError::readOnlySettings(integration.settingsURL));
        EXPECT_EQ(error->errorDescription(), "Couldn't change " + path + ": the file is read-only.");
      }
      EXPECT_EQ(box.files(), before);
    }
  }

  // A link into a folder that is there is followed, as before, even when
  // its file is yet to be made.
  Sandbox box;
  const fs::path target = box.dir / "dotfiles/claude-settings.json";
  fs::create_directories(target.parent_path());
  fs::create_directories(box.integration.settingsURL.parent_path());
  fs::create_symlink(target, box.integration.settingsURL);
  expectSuccess(box.integration.install(kT0));
  EXPECT_TRUE(fs::is_symlink(box.integration.settingsURL));
  EXPECT_EQ(json(test::readText(target)).asObject()->at("statusLine"),
            box.expected(R"({"command": "@RELAY@", "type": "command"})"));
}

// --- Another program writing the same settings

// Claude Code rewrites its file in place: truncated, then written. An edit
// that finds it empty or half written just after it changed waits for the
// rest, for a second at most.
TEST(StatusLineIntegrationTest, ASettingsFileBeingWrittenIsWaitedFor) {
  const std::string user = test::kUserSettings;
  struct Case {
    const char* name;
    std::string startsAs;                  // what the file holds when the connect starts
    std::optional<std::string> restLater;  // written in place 300 ms later
    bool connects;
  } cases[] = {
      {"truncated, then written", "", user, true},
      {"half written, then finished", user.substr(0, user.size() / 2), user.substr(user.size() / 2), true},
      {"half written for good", user.substr(0, user.size() / 2), std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    const Integration& integration = box.integration;
    test::writeText(integration.settingsURL, "{}");
    int fd = ::open(integration.settingsURL.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_FALSE(writeAll(fd, c.startsAs));
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      if (c.restLater) { EXPECT_FALSE(writeAll(fd, *c.restLater)); }
    });
    auto error = integration.install(kT0);
    writer.join();
    ::close(fd);

    if (!c.connects) {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->errorCase(), IntegrationError::Case::unreadableSettings);
      EXPECT_EQ(box.files(), (Sandbox::Files{c.startsAs, std::nullopt, std::nullopt}));
      continue;
    }
    expectSuccess(error);
    const JSONValue::Object settings = *box.settings().asObject();
    for (const char* key : test::kUserKeys) EXPECT_TRUE(settings.count(key)) << key;
    EXPECT_EQ(settings.at("statusLine"), box.expected(R"({"command": "@RELAY@", "type": "command"})"));
    // The backup and the record hold what the user had, not the empty moment.
    EXPECT_EQ(box.files().backup, user);
    auto record = integration.readRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->originalStatusLine, json(R"({"type": "command", "command": "~/bin/status.sh"})"));
  }
}

// A stand-in for Claude Code writes the settings every 2 ms while connects
// and disconnects run: the user's members and the writer's always stay, and
// hardly an update of the writer's is set back, against hundreds by a plain
// rename (bench/settings_race runs longer).
TEST(StatusLineIntegrationTest, AnotherWriterLosesNothing) {
  using Style = test::SettingsWriter::Style;
  for (Style style : {Style::inPlace, Style::byRename}) {
    SCOPED_TRACE(style == Style::inPlace ? "in place" : "by rename");
    Sandbox box;
    test::SettingsRace race = test::raceTheWriter(box.integration, style, 100);
    EXPECT_EQ(race.withoutKeys, 0);
    EXPECT_EQ(race.failed, 0) << race.firstFailure;
    EXPECT_LT(race.busy, race.operations) << "some edits get through";
    EXPECT_GT(race.writer.updates, 0);
    EXPECT_LE(race.writer.setBack, 3) << "of " << race.writer.updates;
  }
}

TEST(StatusLineIntegrationTest, GivingUpSaysWhy) {
  EXPECT_EQ(IntegrationError::settingsBusy().errorDescription(),
            "Claude Code is writing its settings right now. Try again in a moment.");
}

// --- The record and what the relay reads of it

TEST(StatusLineIntegrationTest, DownstreamCommandIsTheSavedUserCommand) {
  auto withCommand = [](const std::string& command) {
    return R"({"installedAt": "2026-01-01T00:00:00Z", "originalStatusLine": {"type": "command", "command": )" +
           command + "}}";
  };
  struct Case {
    std::optional<std::string> record;
    std::optional<std::string> expected;
  } cases[] = {
      {std::nullopt, std::nullopt},
      {withCommand(R"("~/bin/status.sh --short")"), "~/bin/status.sh --short"},
      {withCommand(R"("")"), ""},
      {withCommand(R"("'/old/Ovel/bin/ovel-bridge' --chain")"), std::nullopt},
      {withCommand("42"), std::nullopt},
      {withCommand(R"({"a": 1})"), std::nullopt},
      {withCommand("null"), std::nullopt},
      {R"({"installedAt": "2026-01-01T00:00:00Z", "originalStatusLine": {"command": "x"}, "later": 1})", "x"},
      {R"({"installedAt": "2026-01-01T00:00:00.000Z", "originalStatusLine": {"command": "x"}})", std::nullopt},
      {R"({"installedAt": "2026-01-01T00:00:00+00:00", "originalStatusLine": {"command": "x"}})", std::nullopt},
      {R"({"installedAt": "2026-01-01t00:00:00Z", "originalStatusLine": {"command": "x"}})", std::nullopt},
      {R"({"installedAt": "2026-02-30T00:00:00Z", "originalStatusLine": {"command": "x"}})", std::nullopt},
      {R"({"installedAt": 1767225600, "originalStatusLine": {"command": "x"}})", std::nullopt},
      {R"({"originalStatusLine": {"command": "x"}})", std::nullopt},
      {R"({"installedAt": "2026-01-01T00:00:00Z"})", std::nullopt},
      {R"({"installedAt": "2026-01-01T00:00:00Z", "originalStatusLine": null})", std::nullopt},
      {R"({"installedAt": "2026-01-01T00:00:00Z", "originalStatusLine": "x"})", std::nullopt},
      {withCommand("\"caf\xE9\""), std::nullopt},  // not UTF-8
      {"[]", std::nullopt},
      {"", std::nullopt},
      {"not json", std::nullopt},
  };
  for (const auto& c : cases) {
    Sandbox box;
    if (c.record) test::writeText(box.integration.recordURL, *c.record);
    EXPECT_EQ(box.integration.downstreamCommand(), c.expected) << c.record.value_or("no record");
  }
}

TEST(StatusLineIntegrationTest, RecordRoundTripsInWholeSeconds) {
  const JSONValue statusLine = json(R"({"type": "command", "command": "/usr/local/bin/s.sh", "padding": 2})");
  const Record record{statusLine, addSeconds(kT0, 0.75)};
  EXPECT_EQ(Record::decoded(record.encoded()), (Record{statusLine, kT0}));
  EXPECT_EQ(Record::decoded(Record{std::nullopt, kT0}.encoded()), (Record{std::nullopt, kT0}));
  const std::string bytes = record.encoded();
  EXPECT_NE(bytes.find("\\/usr\\/local\\/bin\\/s.sh"), std::string::npos) << bytes;
  for (std::size_t at = bytes.find('/'); at != std::string::npos; at = bytes.find('/', at + 1))
    EXPECT_EQ(bytes[at - 1], '\\') << bytes;
  EXPECT_NE(bytes.back(), '\n');
}

// --- The relay command and where the settings live

TEST(StatusLineIntegrationTest, RelayCommandQuotesThePath) {
  EXPECT_EQ(Integration::relayCommand("/home/a/.local/share/Ovel/bin/ovel-bridge"),
            "'/home/a/.local/share/Ovel/bin/ovel-bridge' --chain");
  EXPECT_EQ(Integration::relayCommand("/tmp/it's/bin/ovel-bridge"), "'/tmp/it'\\''s/bin/ovel-bridge' --chain");
  EXPECT_TRUE(Integration::namesRelay(Integration::relayCommand("/x/bin/ovel-bridge")));
}

TEST(StatusLineIntegrationTest, TheShellRunsTheRelayWhateverTheFolderIsCalled) {
  TempDir dir;
  fs::path bridge = dir / "it's $HOME `id` \"q\" \\ \n x/bin/ovel-bridge";
  test::writeText(bridge, "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\"\n");
  ::chmod(bridge.c_str(), 0755);

  std::string command = Integration::relayCommand(bridge);
  FILE* shell = ::popen(command.c_str(), "r");
  ASSERT_TRUE(shell);
  std::string output;
  char buffer[256];
  while (std::size_t count = std::fread(buffer, 1, sizeof buffer, shell)) output.append(buffer, count);
  EXPECT_EQ(::pclose(shell), 0);
  EXPECT_EQ(output, bridge.string() + "|--chain|");
}

TEST(StatusLineIntegrationTest, SettingsLiveWhereClaudeCodeLooks) {
  ScopedEnv home("HOME", "/h");
  struct Case {
    std::optional<std::string> configDir;
    const char* folder;
  } cases[] = {
      {std::nullopt, "/h/.claude"},
      {"", "/h/.claude"},  // empty counts as unset, as for Claude Code
      {"~/alt", "/h/alt"},
      {"/srv/claude", "/srv/claude"},
  };
  for (const auto& c : cases) {
    ScopedEnv configDir("CLAUDE_CONFIG_DIR", c.configDir);
    EXPECT_EQ(claudeConfigDirectory(), fs::path(c.folder)) << c.configDir.value_or("unset");
    EXPECT_EQ(Integration::defaultSettingsURL(), fs::path(c.folder) / "settings.json");
  }

  ScopedEnv ovelHome("OVEL_HOME", "/data");
  ScopedEnv configDir("CLAUDE_CONFIG_DIR", std::nullopt);
  Integration standard = Integration::standard();
  EXPECT_EQ(standard.settingsURL, fs::path("/h/.claude/settings.json"));
  EXPECT_EQ(standard.recordURL, fs::path("/data/integration.json"));
  EXPECT_EQ(standard.bridgeURL, fs::path("/data/bin/ovel-bridge"));
  EXPECT_EQ(standard.backupURL(), fs::path("/h/.claude/settings.json.ovel-backup"));
}

}  // namespace
}  // namespace ovel
