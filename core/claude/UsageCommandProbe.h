// Runs `claude -p /usage` once in a clean environment, with a time limit on
// the whole run, and turns its JSON answer into windows and insights. Every
// failure is a ProbeError whose message the application shows as it is.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/claude/UsageCommandParser.h"
#include "core/support/Time.h"

namespace ovel {

class ProbeError : public std::exception {
 public:
  enum class Case { launchFailed, commandFailed, unrecognizedOutput, claudeNotFound, timedOut, notSubscription };

  static ProbeError launchFailed(std::string reason) { return {Case::launchFailed, std::move(reason)}; }
  static ProbeError commandFailed(std::string output) { return {Case::commandFailed, std::move(output)}; }
  static ProbeError unrecognizedOutput(std::string output) { return {Case::unrecognizedOutput, std::move(output)}; }
  static ProbeError claudeNotFound() { return {Case::claudeNotFound, {}}; }
  static ProbeError timedOut() { return {Case::timedOut, {}}; }
  static ProbeError notSubscription() { return {Case::notSubscription, {}}; }

  Case errorCase() const { return case_; }
  // The text carried by launchFailed, commandFailed and unrecognizedOutput.
  const std::string& payload() const { return payload_; }
  // The user-facing message.
  const std::string& message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

  bool operator==(const ProbeError& other) const { return case_ == other.case_ && payload_ == other.payload_; }

 private:
  ProbeError(Case errorCase, std::string payload);

  Case case_;
  std::string payload_;
  std::string message_;
};

struct UsageCommandProbe {
  // What the application passes as the time limit.
  static constexpr double kDefaultTimeout = 30;
  // Payloads are cut to this many bytes of raw output, or characters of text.
  static constexpr std::size_t kPayloadLimit = 300;

  static inline const std::vector<std::string> arguments{
      "-p", "/usage", "--safe-mode", "--no-session-persistence", "--output-format", "json"};

  std::filesystem::path executableURL;
  double timeout = kDefaultTimeout;  // seconds for the whole run
  // When set (from another thread), the run ends at once as if timed out.
  const std::atomic<bool>* stop = nullptr;

  // Blocks for the run (call it off the UI thread). `now` is read once, after
  // the output has arrived: it stamps every reading and resolves the reset
  // times. Throws ProbeError.
  UsageCommandParser::Result run(const std::function<Date()>& now = systemNow) const;

  // Reads a JSON answer. Throws ProbeError.
  static UsageCommandParser::Result interpret(std::string_view output, Date now, std::string_view systemZone = {});

  // Runs the program in the probe folder with cleanEnvironment() and
  // standard input on /dev/null, and gives its standard output. The program
  // leads a process group of its own. Once it has exited, its output is
  // taken within a second or two, whatever it left holding the pipe, and
  // what is left of its group is stopped (SIGTERM, then SIGKILL); a process
  // it started in a session of its own is left alone. The limit bounds the
  // whole run; a program still running then is stopped with its group.
  // Throws ProbeError.
  static std::string execute(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                             double timeout, const std::atomic<bool>* stop = nullptr);

  // The child's entire environment: HOME, USER, LOGNAME, TMPDIR and SHELL
  // when set, CLAUDE_CONFIG_DIR when set and not empty, the extended search
  // PATH, LANG=en_US.UTF-8 and NO_COLOR=1.
  static std::map<std::string, std::string> cleanEnvironment();
};

}  // namespace ovel
