// The child-process runner: streams, status, isolation, and time limits.
#include "core/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "support/FakeProgram.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using End = ChildProcess::Result::End;
using test::processesLeft;
using test::secondsSince;
using test::TempDir;

ChildProcess::Options shell(const std::string& script) {
  ChildProcess::Options options;
  options.program = "/bin/sh";
  options.arguments = {"-c", script};
  return options;
}

class ChildProcessTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(processesLeft(marker()), ""); }

  // Unique to this test: the name of its own temporary folder.
  std::string marker() const { return dir.path().filename().string(); }
  fs::path script(const std::string& body) { return test::writeScript(dir / "child", body); }

  TempDir dir;
};

TEST_F(ChildProcessTest, ReportsHowTheChildEnded) {
  struct Case {
    const char* script;
    End end;
    int shellStatus;
  } cases[] = {
      {"exit 0", End::exited, 0},
      {"exit 3", End::exited, 3},
      {"kill -TERM $$", End::signaled, 128 + SIGTERM},
      {"kill -KILL $$", End::signaled, 128 + SIGKILL},
  };
  for (const auto& c : cases) {
    auto result = ChildProcess::run(shell(c.script));
    EXPECT_EQ(result.end, c.end) << c.script;
    EXPECT_EQ(result.shellStatus(), c.shellStatus) << c.script;
    EXPECT_EQ(result.succeeded(), c.shellStatus == 0) << c.script;
  }
}

TEST_F(ChildProcessTest, LaunchFailuresCarryTheError) {
  test::writeText(dir / "plain", "#!/bin/sh\nexit 0\n");  // not executable
  struct Case {
    fs::path program;
    std::optional<fs::path> workingDirectory;
    int error;
  } cases[] = {
      {dir / "missing", std::nullopt, ENOENT},
      {dir / "plain", std::nullopt, EACCES},
      {dir.path(), std::nullopt, EACCES},
      {"/bin/true", dir / "no-such-folder", ENOENT},
  };
  for (const auto& c : cases) {
    ChildProcess::Options options;
    options.program = c.program;
    options.workingDirectory = c.workingDirectory;
    auto result = ChildProcess::run(options);
    EXPECT_EQ(result.end, End::launchFailed) << c.program;
    EXPECT_EQ(result.launchError, c.error) << c.program;
    EXPECT_EQ(result.launchErrorText(), std::strerror(c.error));
    EXPECT_EQ(result.shellStatus(), 127);
  }
}

TEST_F(ChildProcessTest, CollectsBothOutputsKeepingOnlyTheirFirstBytes) {
  auto options = shell("printf out; head -c 1000000 /dev/zero | tr '\\0' e >&2; printf more");
  options.errorKeep = 300;
  auto result = ChildProcess::run(options);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "outmore");
  EXPECT_EQ(result.error, std::string(300, 'e'));
}

TEST_F(ChildProcessTest, FeedsStandardInputWhileDrainingOutput) {
  // More than a pipe holds in both directions: writing everything before
  // reading anything would deadlock.
  std::string input;
  for (int i = 0; i < 200000; ++i) input += "line " + std::to_string(i) + "\n";
  ChildProcess::Options options;
  options.program = "/bin/cat";
  options.input = ChildProcess::Stream::pipe;
  options.inputBytes = input;
  auto result = ChildProcess::run(options);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, input);
}

TEST_F(ChildProcessTest, ChildThatIgnoresItsInputDoesNotKillTheCaller) {
  // SIGPIPE keeps its default here: a write into the closed pipe would end
  // this test program if the runner let it through.
  auto previous = ::signal(SIGPIPE, SIG_DFL);
  for (const char* script :
       {"exit 4", "head -c 100000 >/dev/null; exit 4", "read -r first; exec 0<&-; sleep 0.2; exit 4"}) {
    auto options = shell(script);
    options.input = ChildProcess::Stream::pipe;
    options.inputBytes = "first line\n" + std::string(4 << 20, 'x');
    auto result = ChildProcess::run(options);
    EXPECT_EQ(result.end, End::exited) << script;
    EXPECT_EQ(result.exitCode, 4) << script;
  }
  sigset_t pending;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  ::signal(SIGPIPE, previous);
}

TEST_F(ChildProcessTest, InheritsTheCallersOutputAndEnvironmentWhenAsked) {
  test::ScopedEnv variable("OVEL_CHILD_TEST", "inherited");
  fs::path captured = dir / "stdout.txt";
  int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(file, 0);
  int savedStdout = ::dup(STDOUT_FILENO);
  ::dup2(file, STDOUT_FILENO);

  // The relay's use: a shell command fed bytes, printing on our own output.
  auto options = shell("cat; printf ' %s' \"$OVEL_CHILD_TEST\"; exit 7");
  options.input = ChildProcess::Stream::pipe;
  options.inputBytes = "{\"session\":1}";
  options.output = ChildProcess::Stream::inherit;
  options.error = ChildProcess::Stream::inherit;
  auto result = ChildProcess::run(options);

  ::dup2(savedStdout, STDOUT_FILENO);
  ::close(savedStdout);
  ::close(file);
  EXPECT_EQ(result.shellStatus(), 7);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(test::readText(captured), "{\"session\":1} inherited");
}

TEST_F(ChildProcessTest, GivenEnvironmentAndFolderAreAllTheChildGets) {
  test::ScopedEnv variable("OVEL_CHILD_TEST", "must not pass");
  ChildProcess::Options options;
  options.program = "/bin/sh";
  options.arguments = {"-c", "env; pwd"};
  options.environment = std::map<std::string, std::string>{{"ONLY", "this"}, {"EMPTY", ""}};
  options.workingDirectory = dir.path();
  auto result = ChildProcess::run(options);
  // sh adds PWD itself.
  EXPECT_NE(result.output.find("ONLY=this\n"), std::string::npos);
  EXPECT_NE(result.output.find("EMPTY=\n"), std::string::npos);
  EXPECT_EQ(result.output.find("OVEL_CHILD_TEST"), std::string::npos);
  EXPECT_TRUE(result.output.ends_with(dir.path().string() + "\n")) << result.output;
}

TEST_F(ChildProcessTest, ChildStartsWithCleanSignalsAndOnlyStandardDescriptors) {
  // Leave the caller in a state a GUI or the relay might be in.
  int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec
  ASSERT_GE(leaked, 0);
  auto previousPipe = ::signal(SIGPIPE, SIG_IGN);
  auto previousHup = ::signal(SIGHUP, SIG_IGN);
  sigset_t blocked, previousMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);

  ChildProcess::Options options;
  options.program = "/usr/bin/grep";
  options.arguments = {"-E", "^Sig(Blk|Ign)", "/proc/self/status"};
  auto signals = ChildProcess::run(options);
  options.program = "/usr/bin/ls";
  options.arguments = {"/proc/self/fd"};
  auto descriptors = ChildProcess::run(options);

  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  ::signal(SIGPIPE, previousPipe);
  ::signal(SIGHUP, previousHup);
  ::close(leaked);
  // glibc keeps its two internal signals (32 and 33) to itself in the
  // spawned child; every signal a program can use is blocked and ignored
  // by none.
  unsigned long long blockedMask = 0, ignoredMask = 0;
  ASSERT_EQ(std::sscanf(signals.output.c_str(), "SigBlk:\t%llx\nSigIgn:\t%llx", &blockedMask, &ignoredMask), 2)
      << signals.output;
  constexpr unsigned long long kGlibcInternal = 3ULL << 31;
  EXPECT_EQ(blockedMask & ~kGlibcInternal, 0u);
  EXPECT_EQ(ignoredMask & ~kGlibcInternal, 0u);
  // 3 is the folder ls itself opened to list.
  EXPECT_EQ(descriptors.output, "0\n1\n2\n3\n");
}

TEST_F(ChildProcessTest, TimeLimitStopsAChildThatRunsOn) {
  struct Case {
    std::string body;
    int signal;
  } cases[] = {
      {"exec -a " + marker() + "-sleeper sleep 30", SIGTERM},
      {"trap '' TERM; exec -a " + marker() + "-stubborn sleep 30", SIGKILL},
  };
  for (const auto& c : cases) {
    ChildProcess::Options options;
    options.program = script(c.body);
    options.timeLimit = 0.3;
    options.terminationGrace = 0.5;
    auto start = std::chrono::steady_clock::now();
    auto result = ChildProcess::run(options);
    double elapsed = secondsSince(start);
    EXPECT_EQ(result.end, End::timedOut) << c.body;
    EXPECT_EQ(result.signal, c.signal) << c.body;
    EXPECT_GE(elapsed, 0.3) << c.body;  // never cut short
    EXPECT_LT(elapsed, test::kWatchdogSeconds) << c.body;
    EXPECT_EQ(processesLeft(marker()), "") << c.body;
  }
}

// The child answers and exits at once; what it left behind keeps the pipe
// open for longer than the watchdog allows. A time limit bounds the wait,
// and so, without one, does a drain after the exit. Only a run that leads
// its own group stops what the child left.
TEST_F(ChildProcessTest, WhatHoldsThePipeAfterTheChildExitsCannotHoldTheRun) {
  struct Bound {
    const char* name;
    std::optional<double> timeLimit, drainAfterExit;
  } bounds[] = {{"a time limit", 0.5, std::nullopt}, {"a drain after the exit", std::nullopt, 0.3}};
  for (const auto& bound : bounds) {
    for (bool ownGroup : {true, false}) {
      SCOPED_TRACE(std::string(bound.name) + (ownGroup ? ", own group" : ", caller's group"));
      std::atomic<bool> stop{false};
      ChildProcess::Options options;
      options.program = script("bash -c 'exec -a " + marker() + "-holder sleep 60' &\nprintf answer");
      options.timeLimit = bound.timeLimit;
      options.drainAfterExit = bound.drainAfterExit;
      options.terminationGrace = 0.3;
      options.ownProcessGroup = ownGroup;
      options.stop = &stop;
      ChildProcess::Result result;
      EXPECT_TRUE(test::returnsWithin(test::kWatchdogSeconds, stop, [&] { result = ChildProcess::run(options); }));
      EXPECT_TRUE(result.succeeded());
      EXPECT_EQ(result.output, "answer");
      if (ownGroup) {
        EXPECT_EQ(processesLeft(marker()), "");
      } else {
        std::string left = test::processesMatching(marker());
        ASSERT_NE(left, "");
        ::kill(std::stoi(left), SIGKILL);  // the test ends it by its id
      }
    }
  }
}

// What the child leaves behind prints once the child is gone from the
// process table (a zombie keeps its /proc entry), and only then closes the
// pipe: a run that reaped the child only after its pipes closed would wait
// for the limit and miss the last word.
TEST_F(ChildProcessTest, AnExitedChildIsReapedWhileItsPipesDrain) {
  ChildProcess::Options options;
  options.program = script(
      "parent=$$\n(while [ -e /proc/$parent ]; do sleep 0.02; done; printf ' reaped') &\nprintf answer");
  options.drainAfterExit = test::kWatchdogSeconds;
  options.timeLimit = test::kWatchdogSeconds;
  auto result = ChildProcess::run(options);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "answer reaped");
}

TEST_F(ChildProcessTest, ChildThatClosesItsOutputIsStillWaitedForUpToTheLimit) {
  ChildProcess::Options options;
  options.program = script("exec >&- 2>&-; exec -a " + marker() + "-silent sleep 30");
  options.timeLimit = 0.3;
  options.terminationGrace = 0.3;
  auto result = ChildProcess::run(options);
  EXPECT_EQ(result.end, End::timedOut);
}

}  // namespace
}  // namespace ovel
