// Runs the built relay as Claude Code does: a process with one status-line
// object on its standard input, in a data directory of the test's own.
#pragma once

#include <sys/stat.h>
#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/claude/StatusLineIntegration.h"
#include "core/claude/StatusLineSnapshot.h"
#include "core/support/ChildProcess.h"
#include "core/support/JSONValue.h"
#include "support/TestSupport.h"

namespace ovel::test {

inline const std::filesystem::path kRelayProgram = OVEL_BRIDGE_PATH;

struct RelayRun {
  std::string output;
  std::string error;
  int status = -1;
};

// One way of starting the relay. Its environment holds only what is set
// here, so nothing of the test runner's own data directory leaks in.
struct Relay {
  // `programName` is argv[0]; the program's path unless a test needs another.
  explicit Relay(std::filesystem::path home, std::string programName = kRelayProgram.string())
      : home(std::move(home)), programName(std::move(programName)) {}

  std::filesystem::path home;  // OVEL_HOME
  // What OVEL_HOME says instead of `home`'s path (a form with a tilde).
  std::optional<std::string> homeText;
  bool withOvelHome = true;
  std::string programName;
  std::optional<std::filesystem::path> folder;
  std::map<std::string, std::string> extraEnvironment;
  bool withHomeVariable = true;  // HOME, set to `home`
  // Bash commands run before the relay replaces the shell, to hand it what
  // Claude Code might (a signal disposition, a limit, a closed stream).
  std::string shellSetup;
  // A program and its arguments that start the rest (another user's ids).
  std::vector<std::string> launcher;

  RelayRun run(const std::vector<std::string>& arguments, const std::string& input) const {
    std::vector<std::string> command = launcher;
    if (programName == kRelayProgram.string() && shellSetup.empty()) {
      command.push_back(kRelayProgram.string());
    } else {
      for (std::string word : {std::string("/bin/bash"), std::string("-c"), shellSetup + "\nexec -a \"$0\" \"$@\"",
                               programName, kRelayProgram.string()})
        command.push_back(std::move(word));
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    ChildProcess::Options options;
    options.program = command.front();
    options.arguments.assign(command.begin() + 1, command.end());
    options.environment = extraEnvironment;
    if (withOvelHome) (*options.environment)["OVEL_HOME"] = homeText.value_or(home.string());
    if (withHomeVariable) (*options.environment)["HOME"] = home.string();
    (*options.environment)["PATH"] = "/usr/bin:/bin";
    options.workingDirectory = folder;
    options.input = ChildProcess::Stream::pipe;
    options.inputBytes = input;
    // A relay that hangs fails the test instead of stopping the suite.
    options.timeLimit = 30;
    ChildProcess::Result result = ChildProcess::run(options);
    EXPECT_EQ(result.end == ChildProcess::Result::End::timedOut, false) << "the relay did not finish";
    return {std::move(result.output), std::move(result.error), result.shellStatus()};
  }
};

// integration.json as connecting writes it, saving `command` as the user's
// own status line: the record and its folder writable by the user alone,
// whatever the umask, as the relay requires.
inline void saveOwnStatusLine(const std::filesystem::path& home, const std::string& command) {
  JSONValue::Object statusLine;
  statusLine["type"] = "command";
  statusLine["command"] = command;
  StatusLineIntegration::Record record{JSONValue(std::move(statusLine)), dateFromSeconds1970(1767225600)};
  writeText(home / "integration.json", record.encoded());
  ::chmod((home / "integration.json").c_str(), 0644);
  ::chmod(home.c_str(), 0755);
}

inline std::filesystem::path snapshotFile(const std::filesystem::path& home) { return home / "statusline.json"; }

// Names in the folder, so a temporary file left behind shows.
inline std::vector<std::string> namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace ovel::test
