#include "model/Integrations.h"

#include <sys/stat.h>

#include <QSignalSpy>

#include <functional>

#include <gtest/gtest.h>

#include "core/claude/StatusLineSnapshot.h"
#include "core/engine/OvelPaths.h"
#include "core/support/ChildProcess.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

class FakeLoginItem final : public LoginItem {
 public:
  bool isEnabled() const override { return enabled; }
  std::optional<QString> registerItem() override {
    if (failure) return failure;
    enabled = true;
    return std::nullopt;
  }
  std::optional<QString> unregisterItem() override {
    enabled = false;
    return std::nullopt;
  }
  bool enabled = false;
  std::optional<QString> failure;
};

class IntegrationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "claude");
    fs::create_directories(dir / "app/bin");
  }

  void placeRelay(const fs::path& path, const std::string& word) {
    test::writeText(path, "#!/bin/sh\necho " + word + "\n");
    ::chmod(path.c_str(), 0755);
  }

  AppBundle bundle() const { return AppBundle{QStringLiteral("ovel"), dir / "app/bin/Ovel"}; }
  fs::path settings() const { return dir / "claude/settings.json"; }
  fs::path installed() const { return dir / "data/bin/ovel-bridge"; }

  TempDir dir;
  ScopedEnv claude{"CLAUDE_CONFIG_DIR", (dir / "claude").string()};
  ScopedEnv data{"OVEL_HOME", (dir / "data").string()};
};

TEST_F(IntegrationsTest, ConnectInstallsTheRelayAndDisconnectRestores) {
  test::writeText(settings(), R"({"statusLine":{"type":"command","command":"~/line.sh"},"theme":"dark"})");
  placeRelay(dir / "app/bin/ovel-bridge", "first");
  Integrations integrations(bundle(), nullptr);
  integrations.refresh();
  EXPECT_EQ(integrations.statusLine(), StatusLineIntegration::State::notInstalled());

  integrations.connect(dateFromSeconds1970(1781694000));
  EXPECT_EQ(integrations.statusLineError(), std::nullopt);
  EXPECT_EQ(integrations.statusLine(), StatusLineIntegration::State::installed());
  EXPECT_TRUE(integrations.hasDownstreamCommand());
  EXPECT_EQ(test::readText(installed()), "#!/bin/sh\necho first\n");
  struct stat info {};
  ASSERT_EQ(::stat(installed().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);

  // A newer build replaces the installed copy; the installed-layout copy wins.
  fs::create_directories(dir / "app/libexec/ovel");
  placeRelay(dir / "app/libexec/ovel/ovel-bridge", "second");
  integrations.connect(dateFromSeconds1970(1781694100));
  EXPECT_EQ(test::readText(installed()), "#!/bin/sh\necho second\n");

  integrations.disconnect();
  EXPECT_EQ(integrations.statusLineError(), std::nullopt);
  EXPECT_EQ(integrations.statusLine(), StatusLineIntegration::State::notInstalled());
  EXPECT_FALSE(integrations.hasDownstreamCommand());
  EXPECT_TRUE(fs::exists(installed())) << "the installed relay stays";
  auto restored = JSONValue::parse(test::readText(settings()), nullptr);
  auto original = JSONValue::parse(R"({"statusLine":{"type":"command","command":"~/line.sh"},"theme":"dark"})",
                                   nullptr);
  EXPECT_EQ(restored, original);
}

TEST_F(IntegrationsTest, TheInstalledRelayRunsAsClaudeCodeRunsIt) {
  test::writeText(settings(), R"({"statusLine":{"type":"command","command":"echo mine"}})");
  // The application as built, with the relay beside it.
  Integrations integrations(AppBundle{QStringLiteral("ovel"), OVEL_APP_PATH}, nullptr);
  integrations.connect(dateFromSeconds1970(1781694000));
  ASSERT_EQ(integrations.statusLineError(), std::nullopt);
  ASSERT_TRUE(fs::exists(installed()));

  ChildProcess::Options shell;
  shell.program = "/bin/sh";
  shell.arguments = {"-c", integrations.integration().relayCommand()};
  shell.input = ChildProcess::Stream::pipe;
  shell.inputBytes = R"({"session_id":"s1","rate_limits":{"five_hour":{"used_percentage":42,"resets_at":1781700000}}})";
  shell.timeLimit = 20;
  auto result = ChildProcess::run(shell);
  EXPECT_TRUE(result.succeeded()) << result.error;
  EXPECT_EQ(result.output, "mine\n") << "the user's own status line, as before";
  auto snapshot = StatusLineSnapshot::read(dir / "data/statusline.json");
  ASSERT_TRUE(snapshot);
  ASSERT_EQ(snapshot->windows().size(), 1u);
  EXPECT_EQ(snapshot->windows()[0].usedPercent, 42);
}

TEST_F(IntegrationsTest, FailuresShowAndSurviveTheRefresh) {
  test::writeText(settings(), R"({"theme":"dark"})");
  Integrations integrations(bundle(), nullptr);
  QSignalSpy errors(&integrations, &Integrations::statusLineErrorChanged);
  integrations.connect(dateFromSeconds1970(1781694000));
  EXPECT_EQ(integrations.statusLineError(), QString("ovel-bridge is missing from the Ovel installation."));
  EXPECT_EQ(test::readText(settings()), R"({"theme":"dark"})") << "settings untouched";
  EXPECT_EQ(errors.count(), 1);

  integrations.disconnect();
  EXPECT_EQ(integrations.statusLineError(), QString("Ovel isn't connected to Claude Code's status line."));

  placeRelay(dir / "app/bin/ovel-bridge", "x");
  integrations.connect(dateFromSeconds1970(1781694000));
  EXPECT_EQ(integrations.statusLineError(), std::nullopt) << "a good connect clears the earlier error";
}

TEST_F(IntegrationsTest, UnreadableSettingsKeepTheLastState) {
  placeRelay(dir / "app/bin/ovel-bridge", "x");
  Integrations integrations(bundle(), nullptr);
  integrations.connect(dateFromSeconds1970(1781694000));
  ASSERT_EQ(integrations.statusLine(), StatusLineIntegration::State::installed());
  test::writeText(settings(), "[1, 2");
  integrations.refresh();
  EXPECT_EQ(integrations.statusLine(), StatusLineIntegration::State::installed());
  ASSERT_TRUE(integrations.statusLineError());
  EXPECT_TRUE(integrations.statusLineError()->startsWith("Couldn't read Claude Code settings: "));
}

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

ino_t inodeOf(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The record a connect in this folder would have written.
void writeRecord(const fs::path& path) {
  test::writeText(path, StatusLineIntegration::Record{std::nullopt, dateFromSeconds1970(1781694000)}.encoded());
}

// No account of this machine's: what another user would own.
constexpr uid_t kOtherUid = 4242;

// What the relay would refuse, the application refuses to connect through:
// it says why and leaves Claude Code's settings and the data folder alone.
TEST_F(IntegrationsTest, ConnectRefusesWhatOthersCouldWrite) {
  const bool root = ::geteuid() == 0;
  const struct {
    const char* name;
    bool needsRoot;
    std::function<fs::path(const fs::path& data)> spoil;  // gives the path at fault
    const char* fault;
  } cases[] = {
      {"a folder above the data folder anyone may write", false,
       [](const fs::path& data) {
         ::chmod(data.parent_path().c_str(), 0777);
         return data.parent_path();
       },
       "other users can write to "},
      {"a record anyone may write", false,
       [](const fs::path& data) {
         writeRecord(data / "integration.json");
         ::chmod((data / "integration.json").c_str(), 0666);
         return data / "integration.json";
       },
       "other users can write to "},
      {"a record that is a link", false,
       [](const fs::path& data) {
         writeRecord(data / "elsewhere.json");
         fs::create_symlink(data / "elsewhere.json", data / "integration.json");
         return data / "integration.json";
       },
       ""},
      {"a data folder of another user", true,
       [](const fs::path& data) {
         ::chown(data.c_str(), kOtherUid, kOtherUid);
         return data;
       },
       ""},
      {"a bin folder of another user", true,
       [](const fs::path& data) {
         fs::create_directories(data / "bin");
         ::chown((data / "bin").c_str(), kOtherUid, kOtherUid);
         return data / "bin";
       },
       ""},
      {"a record of another user", true,
       [](const fs::path& data) {
         writeRecord(data / "integration.json");
         ::chown((data / "integration.json").c_str(), kOtherUid, kOtherUid);
         return data / "integration.json";
       },
       ""},
  };
  placeRelay(dir / "app/bin/ovel-bridge", "x");
  const std::string settingsBefore = R"({"statusLine":{"type":"command","command":"echo mine"}})";
  for (const auto& c : cases) {
    if (c.needsRoot && !root) continue;  // only root can give a file away
    SCOPED_TRACE(c.name);
    TempDir box;
    const fs::path data = box / "shared/data";
    fs::create_directories(data);
    ::chmod((box / "shared").c_str(), 0755);
    ::chmod(data.c_str(), 0700);
    ScopedEnv home("OVEL_HOME", data.string());
    test::writeText(settings(), settingsBefore);
    const fs::path atFault = c.spoil(data);
    const std::string detail = c.fault == std::string("") ? atFault.string() : c.fault + atFault.string();

    Integrations integrations(bundle(), nullptr);
    integrations.connect(dateFromSeconds1970(1781694000));
    ASSERT_TRUE(integrations.statusLineError());
    EXPECT_TRUE(integrations.statusLineError()->startsWith("Ovel won't connect: "));
    EXPECT_TRUE(integrations.statusLineError()->contains(QString::fromStdString(detail)))
        << integrations.statusLineError()->toStdString();
    EXPECT_EQ(test::readText(settings()), settingsBefore) << "Claude Code's settings untouched";
    EXPECT_EQ(integrations.statusLine(), StatusLineIntegration::State::notInstalled());
  }
}

TEST_F(IntegrationsTest, ConnectMakesTheFoldersTheUsersAloneWhateverTheUmask) {
  struct Umask {
    mode_t previous = ::umask(002);
    ~Umask() { ::umask(previous); }
  } groupWritable;
  placeRelay(dir / "app/bin/ovel-bridge", "x");
  test::writeText(settings(), R"({"statusLine":{"type":"command","command":"echo mine"}})");
  Integrations integrations(bundle(), nullptr);
  integrations.connect(dateFromSeconds1970(1781694000));
  ASSERT_EQ(integrations.statusLineError(), std::nullopt);
  EXPECT_EQ(modeOf(dir / "data"), 0700u) << "made for the user alone";
  EXPECT_EQ(modeOf(dir / "data/bin"), 0700u);
  EXPECT_EQ(modeOf(installed()), 0755u);
  EXPECT_EQ(modeOf(dir / "data/integration.json") & 022, 0u) << "the group may not write the record";
  EXPECT_TRUE(integrations.hasDownstreamCommand());
  integrations.disconnect();
  ASSERT_EQ(integrations.statusLineError(), std::nullopt);

  // The user's own folders that others could write lose that permission.
  ::chmod((dir / "data").c_str(), 0777);
  ::chmod((dir / "data/bin").c_str(), 0775);
  integrations.connect(dateFromSeconds1970(1781694000));
  ASSERT_EQ(integrations.statusLineError(), std::nullopt);
  EXPECT_EQ(modeOf(dir / "data"), 0755u);
  EXPECT_EQ(modeOf(dir / "data/bin"), 0755u);
}

// An installed copy that others could have changed is replaced by a new
// file, never written through: what was there stays as it was.
TEST_F(IntegrationsTest, AnInstalledCopyOthersCouldWriteIsReplacedNotWrittenThrough) {
  placeRelay(dir / "app/bin/ovel-bridge", "x");
  Integrations integrations(bundle(), nullptr);
  integrations.connect(dateFromSeconds1970(1781694000));
  ASSERT_EQ(integrations.statusLineError(), std::nullopt);
  const ino_t trusted = inodeOf(installed());
  integrations.connect(dateFromSeconds1970(1781694100));
  EXPECT_EQ(inodeOf(installed()), trusted) << "the user's own copy of the same file is kept";

  ::chmod(installed().c_str(), 0777);
  fs::create_hard_link(installed(), dir / "planted");
  integrations.connect(dateFromSeconds1970(1781694200));
  ASSERT_EQ(integrations.statusLineError(), std::nullopt);
  EXPECT_NE(inodeOf(installed()), inodeOf(dir / "planted"));
  EXPECT_EQ(modeOf(installed()), 0755u);
  EXPECT_EQ(modeOf(dir / "planted"), 0777u);
  EXPECT_EQ(test::readText(installed()), "#!/bin/sh\necho x\n");
}

// Connected, a record that others could now write is not run by the relay:
// the error says so, the user's status line no longer counts as kept, and
// disconnect will not put its command into Claude Code's settings.
TEST_F(IntegrationsTest, ARecordOthersCouldWriteIsSaidAndNeverRestored) {
  placeRelay(dir / "app/bin/ovel-bridge", "x");
  test::writeText(settings(), R"({"statusLine":{"type":"command","command":"echo mine"}})");
  Integrations integrations(bundle(), nullptr);
  integrations.connect(dateFromSeconds1970(1781694000));
  ASSERT_TRUE(integrations.hasDownstreamCommand());
  const fs::path record = dir / "data/integration.json";
  ::chmod(record.c_str(), 0666);

  integrations.refresh();
  EXPECT_EQ(
      integrations.statusLineError(),
      QString::fromStdString("Ovel won't run your own status line: other users can write to " + record.string() + "."));
  EXPECT_FALSE(integrations.hasDownstreamCommand());
  const std::string connected = test::readText(settings());
  integrations.disconnect();
  EXPECT_EQ(integrations.statusLineError(),
            QString::fromStdString("Ovel won't disconnect: other users can write to " + record.string() + "."));
  EXPECT_EQ(test::readText(settings()), connected);
  EXPECT_EQ(integrations.statusLine(), StatusLineIntegration::State::installed());

  ::chmod(record.c_str(), 0600);
  integrations.disconnect();
  EXPECT_EQ(integrations.statusLineError(), std::nullopt);
  EXPECT_EQ(integrations.statusLine(), StatusLineIntegration::State::notInstalled());
}

TEST_F(IntegrationsTest, LoginItemOnlyWithAnIdentity) {
  Integrations anonymous(bundle(), nullptr);
  anonymous.setLaunchAtLogin(true);
  anonymous.refresh();
  EXPECT_FALSE(anonymous.launchAtLogin());

  auto item = std::make_unique<FakeLoginItem>();
  FakeLoginItem* fake = item.get();
  Integrations integrations(bundle(), std::move(item));
  integrations.setLaunchAtLogin(true);
  EXPECT_TRUE(integrations.launchAtLogin());
  EXPECT_EQ(integrations.loginItemError(), std::nullopt);
  fake->enabled = false;
  fake->failure = QStringLiteral("denied");
  integrations.setLaunchAtLogin(true);
  EXPECT_FALSE(integrations.launchAtLogin());
  EXPECT_EQ(integrations.loginItemError(), QString("denied"));
}

}  // namespace
}  // namespace ovel
