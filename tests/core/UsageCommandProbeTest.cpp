// Running claude -p /usage: the answer's interpretation, the child's
// invocation, and what each kind of misbehaving program leads to. The
// programs are fake claude scripts; none may be left running afterwards.
#include "core/claude/UsageCommandProbe.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <variant>

#include "core/claude/ClaudeLocator.h"
#include "core/support/UnicodeText.h"
#include "core/support/Utf8.h"
#include "support/FakeProgram.h"
#include "support/TestSupport.h"

namespace ovel {

void PrintTo(const ProbeError& error, std::ostream* out) { *out << error.message(); }

namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

const Date kNow = dateFromSeconds1970(1772560800);  // 2026-03-03T18:00:00Z

template <typename Action>
std::optional<ProbeError> errorOf(Action action) {
  try {
    action();
  } catch (const ProbeError& error) { return error; }
  return std::nullopt;
}

using test::repeated;

TEST(ProbeErrorTest, MessagesAreTheUsersTexts) {
  struct Case {
    ProbeError error;
    const char* message;
  } cases[] = {
      {ProbeError::launchFailed("Permission denied"), "Couldn't run claude: Permission denied"},
      {ProbeError::commandFailed("oops\n"), "claude /usage failed: oops\n"},
      {ProbeError::unrecognizedOutput("hello"),
       "Ovel couldn't read the /usage output. Claude Code may have changed its format.\nhello"},
      {ProbeError::unrecognizedOutput(""),
       "Ovel couldn't read the /usage output. Claude Code may have changed its format.\n"},
      {ProbeError::claudeNotFound(),
       "Couldn't find the claude command. Install Claude Code, or set its path in Settings."},
      {ProbeError::timedOut(), "claude /usage didn't answer in time."},
      {ProbeError::notSubscription(),
       "Claude Code isn't signed in with a Pro or Max subscription, so there are no plan limits to show."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error.message(), c.message);
    EXPECT_STREQ(c.error.what(), c.message);
  }
  EXPECT_EQ(ProbeError::commandFailed("a"), ProbeError::commandFailed("a"));
  EXPECT_NE(ProbeError::commandFailed("a"), ProbeError::commandFailed("b"));
  EXPECT_NE(ProbeError::commandFailed("a"), ProbeError::launchFailed("a"));
}

TEST(ProbeErrorTest, PayloadsAreCutWithoutBreakingTheText) {
  // Each maximal ill-formed piece becomes one U+FFFD.
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(firstBytesAsText("ab\xE2\x82\xAC", 4), "ab" + replacement);
  EXPECT_EQ(decodeUtf8Lossy("\xF0\x80x"), replacement + replacement + "x");
  EXPECT_EQ(decodeUtf8Lossy("\xED\xA0\x80"), replacement + replacement + replacement);
  EXPECT_EQ(decodeUtf8Lossy("\xC0\xAF\xF4\x90"), repeated(replacement, 4));
  EXPECT_EQ(decodeUtf8Lossy("ok \xF0\x9F\x91\x8D"), "ok \xF0\x9F\x91\x8D");
  // Characters as the user sees them: a flag and an accented letter each count once.
  EXPECT_EQ(firstCharacters("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"
                            "e\xCC\x81xyz",
                            2),
            "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"
            "e\xCC\x81");
  EXPECT_EQ(firstCharacters("short", 300), "short");
}

// One answer and what interpret makes of it: an error, or the used
// percentage of its only window.
struct Answer {
  std::string bytes;
  std::variant<ProbeError, double> outcome;
};

TEST(UsageCommandProbeTest, InterpretsAnswers) {
  const std::string cutCharacter = std::string(299, 'a') + "\xC3\xA9" + std::string(100, 'b');
  const std::string accents = repeated("\xC3\xA9", 400);
  const std::string combined = repeated("e\xCC\x81", 400);  // e + COMBINING ACUTE: one character each
  const Answer answers[] = {
      {R"j({"result":"Current session: 42% used · resets 3pm (UTC)","is_error":false})j", 42.0},
      {" \n{\"result\":\"Current session: 1%\"}\n", 1.0},
      // Only the Boolean true marks an error.
      {R"({"is_error":"yes","result":"Current week (all models): 5% used"})", 5.0},
      // Not a JSON object: the raw bytes, cut to 300 (a cut character ends in U+FFFD).
      {cutCharacter, ProbeError::unrecognizedOutput(std::string(299, 'a') + "\xEF\xBF\xBD")},
      {"[1]", ProbeError::unrecognizedOutput("[1]")},
      {"42", ProbeError::unrecognizedOutput("42")},
      {"\"x\"", ProbeError::unrecognizedOutput("\"x\"")},
      {"", ProbeError::unrecognizedOutput("")},
      // Error answers, as the real client gives them (subtype "success").
      {R"({"type":"result","subtype":"success","is_error":true,"result":"Not logged in · Please run /login"})",
       ProbeError::commandFailed("Not logged in · Please run /login")},
      {R"({"result":"This is ONLY available for Subscription plans","is_error":true})",
       ProbeError::commandFailed("This is ONLY available for Subscription plans")},
      {R"({"is_error":true,"result":")" + accents + "\"}", ProbeError::commandFailed(repeated("\xC3\xA9", 300))},
      {R"({"is_error":true,"result":")" + combined + "\"}", ProbeError::commandFailed(repeated("e\xCC\x81", 300))},
      {R"({"is_error":true})", ProbeError::commandFailed("")},
      // No window: not subscribed, or a text we cannot read.
      {R"({"result":"This is ONLY available for Subscription plans","is_error":false})", ProbeError::notSubscription()},
      {R"({"result":"Invalid API Key · Please run /login"})", ProbeError::notSubscription()},
      {R"({"result":"Total cost:            $0.0000\nTotal duration (API):  0s\nUsage:  0 input, 0 output"})",
       ProbeError::notSubscription()},
      {R"({"result":"\n  Estimated cost: $0.02\n"})", ProbeError::notSubscription()},
      {R"({"result":"Session\nTotal cost: $0.00"})", ProbeError::unrecognizedOutput("Session\nTotal cost: $0.00")},
      {R"({"result":"hello"})", ProbeError::unrecognizedOutput("hello")},
      {R"({"result":5})", ProbeError::unrecognizedOutput("")},
      // Insights without windows are still a failure.
      {R"({"result":"Last 24h · 3 requests"})", ProbeError::unrecognizedOutput("Last 24h · 3 requests")},
      {R"({"result":")" + accents + "\"}", ProbeError::unrecognizedOutput(repeated("\xC3\xA9", 300))},
  };
  for (const auto& answer : answers) {
    std::string label = answer.bytes.substr(0, 80);
    auto interpret = [&] { return UsageCommandProbe::interpret(answer.bytes, kNow, "UTC"); };
    if (auto* expected = std::get_if<ProbeError>(&answer.outcome)) {
      EXPECT_EQ(errorOf(interpret), *expected) << label;
      continue;
    }
    UsageCommandParser::Result result;
    ASSERT_NO_THROW(result = interpret()) << label;
    ASSERT_EQ(result.windows.size(), 1u) << label;
    EXPECT_DOUBLE_EQ(result.windows[0].usedPercent, std::get<double>(answer.outcome)) << label;
    EXPECT_EQ(result.windows[0].observedAt, kNow) << label;
  }
}

TEST(UsageCommandProbeTest, AnswersAreWholeJsonAndPayloadsCountWhatTheUserSees) {
  const std::string thumbs = repeated("\xF0\x9F\x91\x8D", 400);  // unjoined emoji, one character each
  const std::string valid = R"({"result":"Current session: 5%"})";
  const std::string withNul = valid + std::string(1, '\0') + "garbage";
  EXPECT_EQ(errorOf([&] { UsageCommandProbe::interpret(withNul, kNow, "UTC"); }),
            ProbeError::unrecognizedOutput(valid + std::string(1, '\0') + "garbage"));
  EXPECT_EQ(
      errorOf([&] { UsageCommandProbe::interpret(R"({"is_error":true,"result":")" + thumbs + "\"}", kNow, "UTC"); }),
      ProbeError::commandFailed(repeated("\xF0\x9F\x91\x8D", 300)));
}

TEST(UsageCommandProbeTest, AsksForUsageAsJson) {
  EXPECT_EQ(
      UsageCommandProbe::arguments,
      (std::vector<std::string>{"-p", "/usage", "--safe-mode", "--no-session-persistence", "--output-format", "json"}));
  UsageCommandProbe probe{"/x/claude"};
  EXPECT_EQ(probe.timeout, 30);
}

class FakeClaudeTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(test::processesLeft(marker()), ""); }

  // Unique to this test, and in every command line it starts.
  std::string marker() const { return dir.path().filename().string(); }
  fs::path fakeClaude(const std::string& body) { return test::writeScript(dir / "claude", body); }

  TempDir dir;
  ScopedEnv ovelHome{"OVEL_HOME", (dir / "ovel").string()};
};

// A fake claude and what probing it gives: an error, or the used
// percentage of its only window. "@MARK@" stands for the test's marker.
struct FakeProgram {
  const char* name;
  std::string body;
  double timeout;
  std::variant<ProbeError, double> outcome;
};

void PrintTo(const FakeProgram& program, std::ostream* out) { *out << program.name; }

class FakeClaudeOutcomeTest : public FakeClaudeTest, public ::testing::WithParamInterface<FakeProgram> {};

TEST_P(FakeClaudeOutcomeTest, EndsWithinItsLimit) {
  const FakeProgram& program = GetParam();
  std::string body = program.body;
  for (std::size_t at; (at = body.find("@MARK@")) != std::string::npos;) body.replace(at, 6, marker());
  UsageCommandProbe probe{fakeClaude(body), program.timeout};

  auto start = std::chrono::steady_clock::now();
  std::optional<UsageCommandParser::Result> result;
  auto error = errorOf([&] { result = probe.run([] { return kNow; }); });
  double elapsed = test::secondsSince(start);

  if (auto* expected = std::get_if<ProbeError>(&program.outcome)) {
    EXPECT_EQ(error, *expected);
  } else {
    ASSERT_FALSE(error) << error->message();
    ASSERT_EQ(result->windows.size(), 1u);
    EXPECT_DOUBLE_EQ(result->windows[0].usedPercent, std::get<double>(program.outcome));
  }
  EXPECT_LT(elapsed, test::kWatchdogSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, FakeClaudeOutcomeTest,
    ::testing::Values(
        FakeProgram{"Answers", R"(printf '%s' '{"result":"Current session: 42% used","is_error":false}')", 5, 42.0},
        FakeProgram{"NeverEnds", "exec -a @MARK@-sleeper sleep 30", 0.5, ProbeError::timedOut()},
        FakeProgram{"IgnoresSigterm", "trap '' TERM; exec -a @MARK@-stubborn sleep 30", 0.5, ProbeError::timedOut()},
        // It answers and exits; what it started keeps the output open.
        FakeProgram{"LeavesADescendant",
                    "bash -c 'exec -a @MARK@-holder sleep 60' &\n"
                    R"(printf '%s' '{"result":"Current session: 5%"}')",
                    1, 5.0},
        FakeProgram{"FailsWithAMessage", "echo oops >&2; echo '{}'; exit 1", 5, ProbeError::commandFailed("oops\n")},
        FakeProgram{"FailsQuietly", "printf abc; exit 1", 5, ProbeError::commandFailed("abc")},
        FakeProgram{"FailsWithAnErrorAnswer",
                    R"(printf '%s' '{"type":"result","is_error":true,"result":"Usage limit reached"}'; exit 1)", 5,
                    ProbeError::commandFailed("Usage limit reached")},
        FakeProgram{"IsKilled", "kill -KILL $$", 5, ProbeError::commandFailed("")},
        FakeProgram{"SaysNothing", "exit 0", 5, ProbeError::unrecognizedOutput("")},
        // Far more than a pipe holds: read while it runs, not a time-out.
        FakeProgram{"FloodsStandardError", R"(head -c 700000 /dev/zero | tr '\0' x >&2; exit 2)", 5,
                    ProbeError::commandFailed(std::string(300, 'x'))},
        FakeProgram{"AnswersAtLength",
                    R"(head -c 2000000 /dev/zero | tr '\0' ' '; printf '{"result":"Current week: 5%%"}')", 5, 5.0}),
    [](const ::testing::TestParamInfo<FakeProgram>& info) { return std::string(info.param.name); });

// claude answers, leaves a helper in its process group holding its output
// and a daemon in a session of its own, and exits: the answer is taken long
// before the time limit, the helper is ended and the daemon is left alone.
TEST_F(FakeClaudeTest, TakesTheAnswerWhenClaudeExits) {
  const fs::path daemonPid = dir / "daemon.pid";
  auto claude = fakeClaude("bash -c 'exec -a " + marker() + "-holder sleep 60' &\n" +
                           "setsid bash -c 'echo $$ > \"$0\"; exec -a " + marker() + "-daemon sleep 60' '" +
                           daemonPid.string() + "' &\n" + "while [ ! -s '" + daemonPid.string() +
                           "' ]; do sleep 0.01; done\n" + R"(printf '%s' '{"result":"Current session: 42% used"}')");
  std::atomic<bool> stop{false};
  UsageCommandProbe probe{claude, UsageCommandProbe::kDefaultTimeout, &stop};
  std::optional<UsageCommandParser::Result> result;
  std::optional<ProbeError> error;
  // Well under the 30 s limit, which a run that waited for the pipe to close would reach.
  EXPECT_TRUE(
      test::returnsWithin(10, stop, [&] { error = errorOf([&] { result = probe.run([] { return kNow; }); }); }));
  ASSERT_FALSE(error) << error->message();
  ASSERT_EQ(result->windows.size(), 1u);
  EXPECT_DOUBLE_EQ(result->windows[0].usedPercent, 42);
  EXPECT_EQ(test::processesLeft(marker() + "-holder"), "");

  std::string daemon = test::processesMatching(marker() + "-daemon");
  ASSERT_NE(daemon, "") << "the daemon lives on";
  pid_t daemonId = std::stoi(test::readText(daemonPid));
  EXPECT_EQ(std::stoi(daemon), daemonId);
  EXPECT_EQ(::getsid(daemonId), daemonId);
  ::kill(daemonId, SIGKILL);  // the test ends it by its id
}

TEST_F(FakeClaudeTest, FailedRunsThatAnswerInJsonSayWhyInWords) {
  const fs::path answers = fs::path(OVEL_FIXTURES) / "print-json";
  const std::string withoutResult = test::readText(answers / "error-during-execution.json");
  ASSERT_FALSE(withoutResult.empty());
  struct Case {
    const char* answer;
    const char* standardError;
    int status;
    ProbeError expected;
  } cases[] = {
      {"out-of-extra-usage.json", "", 1,
       ProbeError::commandFailed("You're out of extra usage \u00B7 resets May 2, 9am (Europe/Paris)")},
      // The answer's words win over whatever went to standard error.
      {"not-logged-in.json", "warning: something\n", 1,
       ProbeError::commandFailed("Not logged in \u00B7 Please run /login")},
      {"not-logged-in.json", "", 0, ProbeError::commandFailed("Not logged in \u00B7 Please run /login")},
      // No result text: what the program said, as before.
      {"error-during-execution.json", "", 1, ProbeError::commandFailed(withoutResult)},
      {"error-during-execution.json", "boom\n", 1, ProbeError::commandFailed("boom\n")},
  };
  for (const auto& c : cases) {
    auto claude = fakeClaude("cat '" + (answers / c.answer).string() + "'; printf '%s' '" + c.standardError +
                             "' >&2; exit " + std::to_string(c.status));
    EXPECT_EQ(errorOf([&] {
                UsageCommandProbe{claude, 5}.run([] { return kNow; });
              }),
              c.expected)
        << c.answer << " " << c.status;
  }
}

TEST_F(FakeClaudeTest, LaunchFailures) {
  test::writeText(dir / "plain", "#!/bin/bash\nexit 0\n");
  ::chmod((dir / "plain").c_str(), 0644);
  EXPECT_EQ(errorOf([&] {
              UsageCommandProbe{dir / "missing", 5}.run();
            }),
            ProbeError::launchFailed("No such file or directory"));
  EXPECT_EQ(errorOf([&] { UsageCommandProbe{dir / "plain", 5}.run(); }), ProbeError::launchFailed("Permission denied"));

  // The probe folder cannot be made where a file stands.
  test::writeText(dir / "file", "");
  ScopedEnv blocked("OVEL_HOME", (dir / "file" / "ovel").string());
  auto error = errorOf([&] { UsageCommandProbe{"/bin/true", 5}.run(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->errorCase(), ProbeError::Case::launchFailed);
}

TEST_F(FakeClaudeTest, RunsInTheProbeFolderWithNoInputAndReadsTheClockAfterwards) {
  // The child runs in <data>/probe, so ".." is the data directory.
  auto claude = fakeClaude(R"(printf '%s\n' "$@" > ../args.txt
pwd > ../cwd.txt
cat > ../stdin.txt
printf '%s' "$0" > ../program.txt
: > ../finished
printf '%s' '{"result":"Current session: 7%\nLast 24h · 2 requests"}')");
  fs::path probeFolder = dir / "ovel" / "probe";
  int clockReads = 0;
  bool finishedBeforeClock = false;
  const Date stamp = dateFromSeconds1970(1800000000);
  auto result = UsageCommandProbe{claude, 5}.run([&] {
    ++clockReads;
    finishedBeforeClock = fs::exists(dir / "ovel" / "finished");
    return stamp;
  });

  EXPECT_EQ(test::readText(dir / "ovel" / "args.txt"),
            "-p\n/usage\n--safe-mode\n--no-session-persistence\n--output-format\njson\n");
  EXPECT_EQ(test::readText(dir / "ovel" / "cwd.txt"), probeFolder.string() + "\n");
  EXPECT_EQ(test::readText(dir / "ovel" / "stdin.txt"), "");
  EXPECT_EQ(test::readText(dir / "ovel" / "program.txt"), claude.string());
  EXPECT_EQ(clockReads, 1);
  EXPECT_TRUE(finishedBeforeClock);
  ASSERT_EQ(result.windows.size(), 1u);
  EXPECT_EQ(result.windows[0].observedAt, stamp);
  ASSERT_TRUE(result.insights);
  EXPECT_EQ(result.insights->observedAt, stamp);
}

TEST_F(FakeClaudeTest, ChildEnvironmentHoldsOnlyTheCleanNames) {
  ScopedEnv home("HOME", (dir / "home").string());
  ScopedEnv user("USER", "tester");
  ScopedEnv foo("FOO", "1");
  ScopedEnv logname("LOGNAME", std::nullopt);
  ScopedEnv shell("SHELL", std::nullopt);
  ScopedEnv tmpdir("TMPDIR", "");  // set, though empty: passed on
  ScopedEnv lang("LANG", "C");
  const char* inherited = std::getenv("PATH");
  std::string path = ClaudeLocator::searchPath(inherited ? std::optional<std::string>(inherited) : std::nullopt,
                                               (dir / "home").string());
  const std::string common = "LANG=en_US.UTF-8\nNO_COLOR=1\nPATH=" + path + "\nTMPDIR=\nUSER=tester\n";

  struct Case {
    std::optional<std::string> claudeConfigDirectory;
    std::string expected;
  } cases[] = {
      {std::nullopt, "HOME=" + (dir / "home").string() + "\n" + common},
      {"", "HOME=" + (dir / "home").string() + "\n" + common},  // empty counts as unset
      {"/x/claude config", "CLAUDE_CONFIG_DIR=/x/claude config\nHOME=" + (dir / "home").string() + "\n" + common},
  };
  for (const auto& c : cases) {
    ScopedEnv configDirectory("CLAUDE_CONFIG_DIR", c.claudeConfigDirectory);
    std::string lines;
    for (const auto& [name, value] : UsageCommandProbe::cleanEnvironment()) lines += name + "=" + value + "\n";
    EXPECT_EQ(lines, c.expected);
    // And that is all the child sees.
    std::string printed = UsageCommandProbe::execute("/usr/bin/env", {}, 5);
    std::vector<std::string> sorted;
    for (std::size_t start = 0, end; (end = printed.find('\n', start)) != std::string::npos; start = end + 1)
      sorted.push_back(printed.substr(start, end + 1 - start));
    std::sort(sorted.begin(), sorted.end());
    std::string joined;
    for (const auto& line : sorted) joined += line;
    EXPECT_EQ(joined, c.expected);
  }
}

}  // namespace
}  // namespace ovel
