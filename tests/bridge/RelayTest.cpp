// The relay as Claude Code runs it: which status line it prints, which exit
// status it gives, and what it leaves in statusline.json.
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RelayProcess.h"
#include "core/support/PasswdFile.h"
#include "support/OddFiles.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using Limit = StatusLineSnapshot::Limit;
using test::Relay;
using test::RelayRun;
using test::TempDir;

// A refresh as a subscriber's session sends it: much more than the rate
// limits, among them a context window with a used percentage of its own
// that must never be taken for a plan limit.
std::string fullPayload(const std::string& rateLimitsMember) {
  return R"({
  "cwd": "/home/kim/src/tide",
  "session_id": "0d9b7c1e-3f4a-4e8b-b2c6-5a1f9e7d3c20",
  "session_name": "tide-refactor",
  "transcript_path": "/home/kim/.claude/projects/-home-kim-src-tide/0d9b7c1e.jsonl",
  "model": {"id": "claude-opus-4-5", "display_name": "Opus"},
  "workspace": {
    "current_dir": "/home/kim/src/tide/lib",
    "project_dir": "/home/kim/src/tide",
    "added_dirs": ["/home/kim/src/shared"],
    "git_worktree": "tide-refactor",
    "repo": {"host": "example.org", "owner": "kim", "name": "tide"}
  },
  "version": "2.3.1",
  "output_style": {"name": "explanatory"},
  "cost": {"total_cost_usd": 1.875, "total_duration_ms": 3605000, "total_api_duration_ms": 410000,
           "total_lines_added": 412, "total_lines_removed": 97},
  "context_window": {
    "total_input_tokens": 151000, "total_output_tokens": 8800, "context_window_size": 200000,
    "used_percentage": 77, "remaining_percentage": 23,
    "current_usage": {"input_tokens": 3100, "output_tokens": 800, "cache_creation_input_tokens": 1200,
                      "cache_read_input_tokens": 146000}
  },
  "exceeds_200k_tokens": false,
  "fast_mode": true,
  "effort": {"level": "medium"},
  "thinking": {"enabled": false},
)" + rateLimitsMember +
         R"(
  "vim": {"mode": "INSERT"},
  "agent": {"name": "test-runner"},
  "pr": {"number": 88, "url": "https://example.org/kim/tide/pull/88", "review_state": "approved"}
})";
}

const std::string kFullPayload = fullPayload(R"(
  "rate_limits": {
    "five_hour": {"used_percentage": 42.4, "resets_at": 1767243600},
    "seven_day": {"used_percentage": 12.5, "resets_at": 1767600000}
  },)");
const StatusLineSnapshot::RateLimits kFullPayloadLimits{Limit{42.4, 1767243600}, Limit{12.5, 1767600000}};
const std::string kFullPayloadSummary = "5h 42% \xC2\xB7 7d 13%\n";
// The same refresh from an API-key session, or before the first answer.
const std::string kPayloadWithoutLimits = fullPayload("");
// Far more than a pipe holds, so a command that stops reading leaves the
// relay writing into a closed pipe. Trailing blanks keep it valid JSON.
const std::string kPaddedFullPayload = kFullPayload + std::string(4 << 20, ' ');

// A snapshot from an earlier refresh; runs that take none must leave it.
std::string previousSnapshotBytes() {
  return StatusLineSnapshot{1767200000.5, {Limit{5, 1767243600}, std::nullopt}, "old", "2.0.0"}.encoded();
}

double secondsNow() { return secondsSince1970(systemNow()); }

struct RelayCase {
  const char* name;
  std::vector<std::string> arguments;
  std::optional<std::string> savedCommand;  // none: no integration.json
  std::string input;
  std::string expectedOutput;
  int expectedStatus;
  bool takesSnapshot;
  std::string programName = test::kRelayProgram.string();
};

void expectNewSnapshot(const fs::path& home, double before, double after) {
  auto snapshot = StatusLineSnapshot::read(test::snapshotFile(home));
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->rateLimits, kFullPayloadLimits);
  EXPECT_EQ(snapshot->sessionID, "0d9b7c1e-3f4a-4e8b-b2c6-5a1f9e7d3c20");
  EXPECT_EQ(snapshot->claudeVersion, "2.3.1");
  EXPECT_GE(snapshot->observedAt, before);
  EXPECT_LE(snapshot->observedAt, after);
}

TEST(RelayTest, PrintsTheStatusLineAndKeepsTheSnapshot) {
  const std::vector<std::string> chain{"--chain"};
  const std::string word = "printf 'my line'";
  // Too long for one argument of exec: the shell cannot be started.
  const std::string unlaunchable = ": " + std::string(200000, 'x');
  const RelayCase cases[] = {
      {"summary without chain", {}, std::nullopt, kFullPayload, kFullPayloadSummary, 0, true},
      {"chain without a record", chain, std::nullopt, kFullPayload, kFullPayloadSummary, 0, true},
      {"saved command without chain", {}, word, kFullPayload, kFullPayloadSummary, 0, true},
      {"chain among other arguments", {"--short", "--chain", "x"}, word, kFullPayload, "my line", 0, true},
      {"chain as the program name", {}, word, kFullPayload, "my line", 0, true, "--chain"},
      {"not quite chain", {"--Chain", "--chain=1", "chain"}, word, kFullPayload, kFullPayloadSummary, 0, true},
      {"command's status", chain, word + "; exit 3", kFullPayload, "my line", 3, true},
      {"command gets the same bytes to their end", chain, "cat", kPaddedFullPayload, kPaddedFullPayload, 0, true},
      {"command without limits in the input", chain, "cat", kPayloadWithoutLimits, kPayloadWithoutLimits, 0, false},
      {"command with empty input", chain, "cat; printf end", "", "end", 0, false},
      {"empty command", chain, "", kFullPayload, "", 0, true},
      {"command that never reads", chain, "exit 5", kPaddedFullPayload, "", 5, true},
      {"command that reads a little", chain, "head -c 9", kPaddedFullPayload, kPaddedFullPayload.substr(0, 9), 0, true},
      {"command that closes its input", chain, "exec 0<&-; sleep 0.2; printf late", kPaddedFullPayload, "late", 0,
       true},
      // With SIGPIPE still ignored, yes would complain of a broken pipe.
      {"command's own pipeline", chain, "yes | head -c 4", kFullPayload, "y\ny\n", 0, true},
      {"command ended by a signal", chain, "kill -TERM $$", kFullPayload, "", 128 + SIGTERM, true},
      {"command that names the relay", chain, "'/nowhere/bin/ovel-bridge' --chain", kFullPayload, kFullPayloadSummary,
       0, true},
      {"shell cannot start", chain, unlaunchable, kFullPayload, "", 1, true},
      {"no limits, no command", chain, std::nullopt, kPayloadWithoutLimits, "", 0, false},
      {"empty input", {}, std::nullopt, "", "", 0, false},
      {"garbage", {}, std::nullopt, "\x01not json at all{", "", 0, false},
      {"array", {}, std::nullopt, "[1,2]", "", 0, false},
      {"limits of the wrong type", {}, std::nullopt, fullPayload(R"("rate_limits": {"five_hour": 42},)"), "", 0, false},
  };
  for (const RelayCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    const fs::path file = test::snapshotFile(home.path());
    test::writeText(file, previousSnapshotBytes());
    const fs::file_time_type previousTime = fs::last_write_time(file);
    if (c.savedCommand) test::saveOwnStatusLine(home.path(), *c.savedCommand);

    double before = secondsNow();
    RelayRun run = Relay(home.path(), c.programName).run(c.arguments, c.input);
    double after = secondsNow();

    EXPECT_TRUE(run.output == c.expectedOutput) << run.output.size() << " bytes:\n" << run.output.substr(0, 200);
    EXPECT_EQ(run.status, c.expectedStatus);
    EXPECT_EQ(run.error, "");
    if (c.takesSnapshot) {
      expectNewSnapshot(home.path(), before, after);
    } else {
      EXPECT_EQ(test::readText(file), previousSnapshotBytes());
      EXPECT_EQ(fs::last_write_time(file), previousTime);
    }
    std::vector<std::string> expectedNames{"statusline.json"};
    if (c.savedCommand) expectedNames.insert(expectedNames.begin(), "integration.json");
    EXPECT_EQ(test::namesIn(home.path()), expectedNames) << "a temporary file was left behind";
  }
}

TEST(RelayTest, WritesTheSnapshotBeforeTheCommandRuns) {
  TempDir home;
  test::saveOwnStatusLine(home.path(), "cat \"$OVEL_HOME/statusline.json\"");
  RelayRun run = Relay(home.path()).run({"--chain"}, kFullPayload);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, test::readText(test::snapshotFile(home.path())));
  auto shown = StatusLineSnapshot::decoded(run.output);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->rateLimits, kFullPayloadLimits);
}

TEST(RelayTest, CommandRunsWithTheRelaysOwnStreamsEnvironmentAndFolder) {
  TempDir home;
  fs::path folder = home / "project";
  fs::create_directory(folder);
  test::saveOwnStatusLine(home.path(), R"(printf '%s|%s' "$PWD" "$TIDE_MARK"; printf 'to stderr' >&2; exit 4)");
  Relay relay(home.path());
  relay.folder = folder;
  relay.extraEnvironment["TIDE_MARK"] = "passed on";

  RelayRun run = relay.run({"--chain"}, kFullPayload);
  EXPECT_EQ(run.output, folder.string() + "|passed on");
  EXPECT_EQ(run.error, "to stderr");  // the command's own, not the relay's
  EXPECT_EQ(run.status, 4);
}

TEST(RelayTest, CommandTakesTheRelaysPlaceAndReadsASealedCopyOfTheInput) {
  TempDir home;
  // The shell's parent is whoever started the relay: no process stands between.
  test::saveOwnStatusLine(home.path(),
                          R"(printf '%s|' "$PPID"; readlink /proc/self/fd/0 | cut -d' ' -f1 | tr -d '\n';)"
                          R"( printf '|'; head -c 14; printf x >>/dev/stdin 2>/dev/null || printf '|sealed')");
  RelayRun run = Relay(home.path()).run({"--chain"}, kFullPayload);
  EXPECT_EQ(run.output, std::to_string(::getpid()) + "|/memfd:ovel-bridge-input|{\n  \"cwd\": \"/h|sealed");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.error, "");
}

// A record that cannot be read is no command to chain to: the summary is
// printed at once, even with a FIFO that no one will ever write to.
TEST(RelayTest, UnreadableRecordGivesTheSummary) {
  JSONValue::Object statusLine{{"type", "command"}, {"command", "printf mine"}};
  const std::string record =
      StatusLineIntegration::Record{JSONValue(std::move(statusLine)), dateFromSeconds1970(1767225600)}.encoded();
  for (test::SpecialFile kind : test::kSpecialFiles) {
    SCOPED_TRACE(test::nameOf(kind));
    TempDir home;
    test::makeSpecialFile(home / "integration.json", kind, StatusLineIntegration::kRecordSizeLimit, record);
    double before = secondsNow();
    RelayRun run = Relay(home.path()).run({"--chain"}, kFullPayload);
    double after = secondsNow();
    EXPECT_EQ(run.output, kFullPayloadSummary);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.error, "");
    expectNewSnapshot(home.path(), before, after);
  }
}

// Without HOME, the home folder behind "~" comes from the user's entry in
// the password file, read as a plain file. The data directory lies in that
// real home folder for the run, under a name of its own; a lookup that
// failed would write no snapshot and run no command.
TEST(RelayTest, FindsTheHomeFolderWithoutHome) {
  std::vector<char> buffer(16384);
  passwd entry{}, *found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      PasswdFile().homeOf(::getuid()) != std::string(found->pw_dir))
    GTEST_SKIP() << "the user has no entry in /etc/passwd";
  const fs::path realHome = found->pw_dir;
  const std::string userName = found->pw_name;
  std::string pattern = (realHome / ".ovel-relay-test-XXXXXX").string();
  if (realHome == "/" || !::mkdtemp(pattern.data())) GTEST_SKIP() << "no folder of our own in " << realHome;
  const fs::path box = pattern;
  struct Remover {
    fs::path path;
    ~Remover() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } remover{box};

  for (const std::string& tilde : {std::string("~"), "~" + userName}) {
    SCOPED_TRACE(tilde);
    Relay relay(box / "Ovel");
    relay.homeText = tilde + "/" + box.filename().string() + "/Ovel";
    relay.withHomeVariable = false;
    test::saveOwnStatusLine(relay.home, "cat >/dev/null; printf mine");
    fs::remove(test::snapshotFile(relay.home));
    double before = secondsNow();
    RelayRun run = relay.run({"--chain"}, kFullPayload);
    double after = secondsNow();
    EXPECT_EQ(run.output, "mine");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.error, "");
    expectNewSnapshot(relay.home, before, after);
  }
}

// A uid that neither /etc/passwd nor any other account source knows (a
// container's random uid), and a way to run the relay as it: setpriv for
// root, else a user namespace that maps our own uid to it. Nothing when
// neither works here.
constexpr uid_t kUnlistedUid = 54321;

std::optional<std::vector<std::string>> launcherAsUnlistedUser() {
  std::vector<char> buffer(16384);
  passwd entry{}, *found = nullptr;
  if (::getpwuid_r(kUnlistedUid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return std::nullopt;
  const std::string id = std::to_string(kUnlistedUid);
  std::vector<std::string> launcher = ::geteuid() == 0
                                          ? std::vector<std::string>{"/usr/bin/setpriv", "--reuid=" + id,
                                                                     "--regid=" + id, "--clear-groups"}
                                          : std::vector<std::string>{"/usr/bin/unshare", "--user", "--map-user=" + id,
                                                                     "--map-group=" + id};
  ChildProcess::Options probe;
  probe.program = launcher.front();
  probe.arguments.assign(launcher.begin() + 1, launcher.end());
  probe.arguments.push_back("/usr/bin/id");
  probe.arguments.push_back("-u");
  probe.timeLimit = 30;
  ChildProcess::Result result = ChildProcess::run(probe);
  if (!result.succeeded() || result.output != id + "\n") return std::nullopt;
  return launcher;
}

// Odd accounts and closed streams, as a container, a service or a parent
// that closed its descriptors may start the relay: every run ends by itself
// with the chained command's output or its own summary, never a signal, and
// nothing is made where no data directory can be found.
TEST(RelayTest, OddAccountsAndClosedStreamsNeverCrashIt) {
  const auto unlisted = launcherAsUnlistedUser();
  const struct {
    const char* name;
    bool asUnlistedUser;
    bool withHome;             // HOME set
    bool withOvelHome;         // OVEL_HOME set to the test's folder
    const char* ovelHomeText;  // or to this text
    const char* shellSetup;
    const char* savedCommand;
    std::string expectedOutput;
    bool takesSnapshot;
    const char* homeText = nullptr;  // HOME as set in place of withHome's
  } cases[] = {
      {"no HOME, an account outside the password file", true, false, false, nullptr, "", nullptr, kFullPayloadSummary,
       false},
      {"no HOME, outside the password file, OVEL_HOME set", true, false, true, nullptr, "",
       "cat >/dev/null; printf mine", "mine", true},
      {"OVEL_HOME naming an unknown user", false, true, true, "~nosuchuser/x", "", nullptr, kFullPayloadSummary, false},
      // A folder of that name in the project Claude Code runs in could hold a record.
      {"HOME not a full path, an account outside the password file", true, false, false, nullptr, "", nullptr,
       kFullPayloadSummary, false, "."},
      {"standard input closed", false, true, true, nullptr, "exec 0<&-", "cat; printf end", "end", false},
      {"standard output closed", false, true, true, nullptr, "exec 1>&-", "printf x || exit 7", "", true},
      {"standard error closed", false, true, true, nullptr, "exec 2>&-", "printf x >&2 || exit 7; printf ok", "ok",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.asUnlistedUser && !unlisted) {
      std::cout << "[ SKIPPED  ] " << c.name << ": no way to run as an unlisted uid here\n";
      continue;
    }
    TempDir box;
    const fs::path home = box / "Ovel", work = box / "work";
    fs::create_directories(work);
    if (c.savedCommand) test::saveOwnStatusLine(home, c.savedCommand);
    Relay relay(home);
    relay.withHomeVariable = c.withHome;
    if (c.homeText) relay.extraEnvironment["HOME"] = c.homeText;
    relay.withOvelHome = c.withOvelHome;
    if (c.ovelHomeText) relay.homeText = c.ovelHomeText;
    relay.shellSetup = c.shellSetup;
    relay.folder = work;
    if (c.asUnlistedUser) {
      relay.launcher = *unlisted;
      // The data directory is the unlisted user's own, as it would be theirs.
      if (::geteuid() == 0) {
        for (const fs::path& path : {box.path(), home, home / "integration.json", work})
          if (fs::exists(path)) { ASSERT_EQ(::chown(path.c_str(), kUnlistedUid, kUnlistedUid), 0); }
      } else if (c.savedCommand) {
        std::cout << "[ SKIPPED  ] " << c.name << ": only root can hand the data directory over\n";
        continue;
      }
    }
    double before = secondsNow();
    RelayRun run = relay.run({"--chain"}, kFullPayload);
    double after = secondsNow();
    EXPECT_EQ(run.output, c.expectedOutput);
    EXPECT_EQ(run.status, 0) << "128 + n is signal n";
    EXPECT_EQ(run.error, "");
    if (c.takesSnapshot) expectNewSnapshot(home, before, after);
    else EXPECT_FALSE(fs::exists(test::snapshotFile(home)));
    EXPECT_EQ(test::namesIn(work), std::vector<std::string>{}) << "nothing is made in the working folder";
  }
}

// Whoever can write the data directory, its record or a folder above it
// could run commands as the user: the relay then prints its own summary
// and never runs the saved command. Each case starts from a record that
// runs, so that what refuses it is the one change.
struct TrustCase {
  const char* name;
  std::function<void(const fs::path& box, const fs::path& home)> spoil;
};

void expectRefusedRecords(const std::vector<TrustCase>& cases) {
  for (const TrustCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir box;
    const fs::path shared = box / "shared", home = shared / "Ovel";
    fs::create_directories(home);
    ::chmod(shared.c_str(), 0755);
    test::saveOwnStatusLine(home, "touch \"$OVEL_HOME/ran\"; printf mine");
    ASSERT_EQ(Relay(home).run({"--chain"}, kFullPayload).output, "mine") << "the record as connecting leaves it runs";
    fs::remove(home / "ran");

    c.spoil(box.path(), home);
    RelayRun run = Relay(home).run({"--chain"}, kFullPayload);
    EXPECT_EQ(run.output, kFullPayloadSummary);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.error, "");
    EXPECT_FALSE(fs::exists(home / "ran")) << "the saved command ran";
  }
}

void setMode(const fs::path& path, mode_t mode) { ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path; }

TEST(RelayTest, RunsNoRecordThatOthersCouldHaveWritten) {
  expectRefusedRecords({
      {"record its group may write", [](auto&, auto& home) { setMode(home / "integration.json", 0664); }},
      {"record anyone may write", [](auto&, auto& home) { setMode(home / "integration.json", 0666); }},
      {"data folder its group may write", [](auto&, auto& home) { setMode(home, 0775); }},
      {"data folder anyone may write", [](auto&, auto& home) { setMode(home, 0777); }},
      {"data folder open to all but sticky", [](auto&, auto& home) { setMode(home, 01777); }},
      {"a folder above anyone may write", [](auto& box, auto&) { setMode(box / "shared", 0777); }},
      {"record a link to one that runs",
       [](auto& box, auto& home) {
         fs::rename(home / "integration.json", box / "elsewhere.json");
         fs::create_symlink(box / "elsewhere.json", home / "integration.json");
       }},
  });
}

// No account of this machine's: what another user would own.
constexpr uid_t kOtherUid = 4242;

TEST(RelayTest, RunsNoRecordThatAnotherUserOwns) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
  auto giveAway = [](const fs::path& path) { ASSERT_EQ(::chown(path.c_str(), kOtherUid, kOtherUid), 0); };
  expectRefusedRecords({
      {"record of another user", [&](auto&, auto& home) { giveAway(home / "integration.json"); }},
      {"data folder of another user", [&](auto&, auto& home) { giveAway(home); }},
      {"a folder above of another user", [&](auto& box, auto&) { giveAway(box / "shared"); }},
  });
}

// A static program that looks a user up through the C library carries its
// NSS machinery; this one must carry none.
TEST(RelayTest, CarriesNoUserLookup) {
  const std::string program = test::readText(test::kRelayProgram);
  ASSERT_GT(program.size(), 10000u);
  for (const char* mark : {"nsswitch.conf", "getpwnam", "getpwuid", "getpwent", "getgrnam", "getgrgid"})
    EXPECT_EQ(program.find(mark), std::string::npos) << mark;
}

TEST(RelayTest, LoadsNothingButTheCLibrary) {
#ifdef OVEL_SANITIZED
  GTEST_SKIP() << "a sanitized build loads the sanitizers' runtimes";
#endif
  ChildProcess::Options options;
  options.program = "/usr/bin/ldd";
  options.arguments = {test::kRelayProgram.string()};
  options.timeLimit = 30;
  ChildProcess::Result result = ChildProcess::run(options);
  ASSERT_TRUE(result.succeeded()) << result.error;
#ifdef OVEL_RELAY_STATIC
  // Linked statically: not even the C library is loaded.
  EXPECT_EQ(result.output, "\tstatically linked\n");
#else
  std::vector<std::string> libraries;
  std::istringstream lines(result.output);
  for (std::string name; lines >> name;) {
    libraries.push_back(fs::path(name).filename());
    std::string rest;
    std::getline(lines, rest);
  }
  for (const std::string& library : libraries)
    EXPECT_TRUE(library == "linux-vdso.so.1" || library == "libc.so.6" || library == "libm.so.6" ||
                library.starts_with("ld-linux"))
        << library;
  EXPECT_NE(std::find(libraries.begin(), libraries.end(), "libc.so.6"), libraries.end());
#endif
}

TEST(RelayTest, InheritedIgnoredSigchldStillGivesTheCommandsStatus) {
  TempDir home;
  test::saveOwnStatusLine(home.path(), "printf done; exit 3");
  Relay relay(home.path());
  relay.shellSetup = "trap '' CHLD";
  RelayRun run = relay.run({"--chain"}, kFullPayload);
  EXPECT_EQ(run.output, "done");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.error, "");
}

// The one-letter state of a process ("S" sleeping, "Z" ended), or nothing.
std::optional<char> processState(pid_t pid) {
  std::string stat = test::readText("/proc/" + std::to_string(pid) + "/stat");
  std::size_t end = stat.rfind(')');
  if (end == std::string::npos || end + 2 >= stat.size()) return std::nullopt;
  return stat[end + 2];
}

// A status line's input may come on a pipe whose reading end is
// non-blocking: the relay waits for the rest instead of taking the input
// to be over, and the chained command gets all of it.
TEST(RelayTest, NonBlockingInputIsWaitedFor) {
  TempDir home;
  test::saveOwnStatusLine(home.path(), "cat");
  int input[2];
  ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
  ASSERT_EQ(::fcntl(input[0], F_SETFL, O_NONBLOCK), 0);
  const fs::path output = home / "output";
  int outputFd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(outputFd, 0);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
  std::string program = test::kRelayProgram.string(), chain = "--chain";
  std::string ovelHome = "OVEL_HOME=" + home.path().string(), userHome = "HOME=" + home.path().string(),
              path = "PATH=/usr/bin:/bin";
  char* arguments[] = {program.data(), chain.data(), nullptr};
  char* environment[] = {ovelHome.data(), userHome.data(), path.data(), nullptr};
  double before = secondsNow();
  pid_t relay = -1;
  int spawned = ::posix_spawn(&relay, program.c_str(), &actions, nullptr, arguments, environment);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(outputFd);
  ASSERT_EQ(spawned, 0);

  // The input comes only once the relay waits, so that its first read finds none.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(test::kWatchdogSeconds);
  for (std::optional<char> state; (state = processState(relay)) != 'S' && state != 'Z';) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the relay neither waited nor ended";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  auto previousPipe = ::signal(SIGPIPE, SIG_IGN);  // a relay that ended reads nothing
  EXPECT_FALSE(writeAll(input[1], kFullPayload)) << "the relay ended without its input";
  ::close(input[1]);
  ::signal(SIGPIPE, previousPipe);
  int status = 0;
  while (::waitpid(relay, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(relay, SIGKILL);
      ::waitpid(relay, &status, 0);
      FAIL() << "the relay did not finish";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  double after = secondsNow();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(test::readText(output), kFullPayload);
  expectNewSnapshot(home.path(), before, after);
}

// Nobody types the object at a terminal, and a writer may keep its end of
// the input open: the relay waits on neither for good. The chained command
// gets what came.
TEST(RelayTest, InputThatNeverEndsIsNotWaitedFor) {
  const struct {
    const char* name;
    bool terminal;
    std::string written;  // into a pipe whose writer stays
    bool takesSnapshot;
  } cases[] = {
      {"a terminal", true, "", false},
      {"a pipe kept open after the object", false, kFullPayload, true},
      {"a pipe kept open halfway through it", false, kFullPayload.substr(0, 100), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    test::saveOwnStatusLine(home.path(), "cat; printf end");
    fs::path source = home / "input";
    int fd = -1;
    if (c.terminal) {
      fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::grantpt(fd), 0);
      ASSERT_EQ(::unlockpt(fd), 0);
      source = ::ptsname(fd);
    } else {
      ASSERT_EQ(::mkfifo(source.c_str(), 0600), 0);
      fd = ::open(source.c_str(), O_RDWR | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      ASSERT_FALSE(writeAll(fd, c.written));
    }
    Relay relay(home.path());
    relay.shellSetup = "exec 0<'" + source.string() + "'";
    double before = secondsNow();
    RelayRun run = relay.run({"--chain"}, "");
    double after = secondsNow();
    ::close(fd);
    EXPECT_EQ(run.output, c.written + "end");
    EXPECT_EQ(run.status, 0);
    if (c.takesSnapshot) expectNewSnapshot(home.path(), before, after);
    else EXPECT_FALSE(fs::exists(test::snapshotFile(home.path())));
  }
}

TEST(RelayTest, SummaryRoundsHalvesAwayFromZeroAndStaysInRange) {
  const struct {
    const char* rateLimits;
    const char* expected;
  } cases[] = {
      {R"({"five_hour":{"used_percentage":42.5},"seven_day":{"used_percentage":13}})", "5h 43% \xC2\xB7 7d 13%"},
      {R"({"five_hour":{"used_percentage":42.49}})", "5h 42%"},
      {R"({"seven_day":{"used_percentage":12.5}})", "7d 13%"},
      {R"({"five_hour":{"used_percentage":99.5}})", "5h 100%"},
      {R"({"five_hour":{"used_percentage":104.5}})", "5h 105%"},
      {R"({"five_hour":{"used_percentage":0.49999999999999994}})", "5h 0%"},
      {R"({"five_hour":{"used_percentage":-0.4}})", "5h 0%"},
      {R"({"five_hour":{"used_percentage":-2.5}})", "5h -3%"},
      {R"({"five_hour":{"used_percentage":4503599627370495.5}})", "5h 4503599627370496%"},
      {R"({"five_hour":{"resets_at":1767243600},"seven_day":{"used_percentage":13}})", "7d 13%"},
      // The largest double below 2^63 still converts.
      {R"({"five_hour":{"used_percentage":9223372036854774784}})", "5h 9223372036854774784%"},
      // 2^63 - 1 is 2^63 once it is a double: out of range.
      {R"({"five_hour":{"used_percentage":9223372036854775807}})", "5h 9223372036854775807%"},
      {R"({"five_hour":{"used_percentage":18446744073709551615}})", "5h 9223372036854775807%"},
      {R"({"five_hour":{"used_percentage":1e300},"seven_day":{"used_percentage":-1e300}})",
       "5h 9223372036854775807% \xC2\xB7 7d -9223372036854775808%"},
      {R"({"five_hour":{"used_percentage":-9223372036854775808}})", "5h -9223372036854775808%"},
      // Beyond a double: the whole input is unusable, nothing is shown.
      {R"({"five_hour":{"used_percentage":1e400}})", ""},
  };
  TempDir home;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rateLimits);
    RelayRun run = Relay(home.path()).run({}, std::string(R"({"rate_limits":)") + c.rateLimits + "}");
    EXPECT_EQ(run.output, *c.expected ? std::string(c.expected) + "\n" : "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.error, "");
  }
}

TEST(RelayTest, SummaryIntoAClosedPipeEndsTheRunQuietly) {
  // The status line's reader is gone before the relay has its input.
  TempDir home;
  test::writeText(home / "input.json", kFullPayload);
  ChildProcess::Options options;
  options.program = "/bin/bash";
  options.arguments = {"-c", R"({ sleep 0.2; cat "$2"; } | "$1" | true; echo "${PIPESTATUS[1]}")", "bash",
                       test::kRelayProgram.string(), (home / "input.json").string()};
  options.environment = {{"OVEL_HOME", home.path().string()}, {"PATH", "/usr/bin:/bin"}};
  options.timeLimit = 30;
  ChildProcess::Result result = ChildProcess::run(options);
  EXPECT_EQ(result.output, "0\n");
  EXPECT_EQ(result.error, "");
}

TEST(RelayTest, InputWithoutLimitsCreatesNothingInAFreshDataDirectory) {
  for (const std::string& input : {std::string(), std::string("garbage"), kPayloadWithoutLimits}) {
    TempDir box;
    fs::path home = box / "Ovel";
    RelayRun run = Relay(home).run({"--chain"}, input);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(fs::exists(home)) << input;
  }
}

TEST(RelayTest, FailedSnapshotWriteStillPrintsTheSummary) {
  TempDir box;
  test::writeText(box / "file", "not a folder");
  RelayRun run = Relay(box / "file" / "Ovel").run({"--chain"}, kFullPayload);
  EXPECT_EQ(run.output, kFullPayloadSummary);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.error, "");
  EXPECT_EQ(test::readText(box / "file"), "not a folder");
}

}  // namespace
}  // namespace ovel
