// One probe through the application's own runner: a fake `claude` script,
// a worker thread, and the answer posted back to this thread's event loop.
#include <QtTest/QTest>

#include "UsageModelHarness.h"
#include "model/StandardServices.h"
#include "support/FakeProgram.h"

namespace ovel::test {
namespace {

class UsageModelEndToEndTest : public UsageModelTest {
 protected:
  UsageModelEndToEndTest() { build(std::nullopt, std::make_unique<ThreadedProbeRunner>()); }

  // Spins the event loop until the probe's completion has run.
  bool probeAndWait() {
    bool done = false;
    model->probe([&done] { done = true; });
    return QTest::qWaitFor([&done] { return done; }, 20000);
  }

  std::filesystem::path fakeClaude(const std::string& body) { return writeScript(dir / "bin" / "claude", body); }
};

TEST_F(UsageModelEndToEndTest, AnswerOfTheFakeClaudeReachesTheModel) {
  std::filesystem::create_directories(dir / "bin");
  auto claude = fakeClaude(
      "pwd > \"$(dirname \"$0\")/ran-in\"\n"
      R"(printf '%s' '{"result":"Current session: 42% used\nCurrent week (all models): 13% used\nLast 24h · 2 requests","is_error":false}')");
  preferences.setClaudePathOverride(QString::fromStdString(claude.string()));

  ASSERT_TRUE(probeAndWait());
  EXPECT_EQ(model->phase(), UsageModel::Phase::ready());
  EXPECT_FALSE(model->lastProbeError());
  EXPECT_FALSE(model->isProbing());
  ASSERT_TRUE(model->session());
  EXPECT_EQ(model->session()->window.usedPercent, 42);
  EXPECT_EQ(model->session()->window.source, DataSource::usageCommand);
  EXPECT_EQ(model->session()->window.observedAt, kStart);  // stamped by the model's clock
  EXPECT_EQ(model->week()->window.usedPercent, 13);
  ASSERT_TRUE(model->insights());
  EXPECT_EQ(model->insights()->periods.at(0).label, "Last 24h");
  EXPECT_EQ(readText(dir / "bin" / "ran-in"), OvelPaths::probeWorkingDirectory().string() + "\n");
  EXPECT_EQ(changedAt.size(), 1u);
}

TEST_F(UsageModelEndToEndTest, FailingClaudeShowsItsMessage) {
  std::filesystem::create_directories(dir / "bin");
  auto claude = fakeClaude("echo 'not today' >&2\nexit 3");
  preferences.setClaudePathOverride(QString::fromStdString(claude.string()));

  ASSERT_TRUE(probeAndWait());
  ASSERT_TRUE(model->lastProbeError());
  EXPECT_EQ(model->lastProbeError()->rfind("claude /usage failed: ", 0), 0u) << *model->lastProbeError();
  EXPECT_EQ(model->phase(), UsageModel::Phase::failed(*model->lastProbeError()));
  EXPECT_EQ(model->consecutiveFailures(), 1);
  EXPECT_EQ(changedAt.size(), 2u);
}

TEST_F(UsageModelEndToEndTest, OverrideThatIsNotExecutableIsFinal) {
  std::filesystem::create_directories(dir / "bin");
  fakeClaude(R"(printf '%s' '{"result":"Current session: 1%"}')");
  writeText(dir / "not-executable", "#!/bin/sh\n");
  ScopedEnv path("PATH", (dir / "bin").string());
  preferences.setClaudePathOverride(QString::fromStdString((dir / "not-executable").string()));

  bool done = false;
  model->probe([&done] { done = true; });
  EXPECT_TRUE(done);  // nothing ran
  EXPECT_EQ(model->lastProbeError(),
            "Couldn't find the claude command. Install Claude Code, or set its path in Settings.");
  EXPECT_FALSE(model->session());
}

}  // namespace
}  // namespace ovel::test
