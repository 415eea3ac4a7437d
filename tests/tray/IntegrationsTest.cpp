#include "model/Integrations.h"

#include <sys/stat.h>

#include <QSignalSpy>

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
