#include "core/claude/UsageCommandProbe.h"

#include <cstdlib>

#include "core/claude/ClaudeCodePaths.h"
#include "core/claude/ClaudeLocator.h"
#include "core/engine/OvelPaths.h"
#include "core/support/ChildProcess.h"
#include "core/support/JsonWriter.h"
#include "core/support/UnicodeText.h"
#include "core/support/Utf8.h"

namespace ovel {
namespace {

// Enough for any /usage answer; a runaway child cannot fill our memory.
constexpr std::size_t kMaxAnswerBytes = 32 << 20;
// How long a child stopped at the limit gets between SIGTERM and SIGKILL.
constexpr double kTerminationGrace = 1.0;
// Once claude has exited, how long what it started may keep its output open:
// its answer is already in the pipe, and a helper left holding the pipe must
// not hold the answer until the time limit.
constexpr double kDrainAfterExit = 1.0;

std::string messageFor(ProbeError::Case errorCase, const std::string& payload) {
  switch (errorCase) {
    case ProbeError::Case::launchFailed: return "Couldn't run claude: " + payload;
    case ProbeError::Case::commandFailed: return "claude /usage failed: " + payload;
    case ProbeError::Case::unrecognizedOutput:
      return "Ovel couldn't read the /usage output. Claude Code may have changed its format.\n" + payload;
    case ProbeError::Case::claudeNotFound:
      return "Couldn't find the claude command. Install Claude Code, or set its path in Settings.";
    case ProbeError::Case::timedOut: return "claude /usage didn't answer in time.";
    case ProbeError::Case::notSubscription:
      return "Claude Code isn't signed in with a Pro or Max subscription, so there are no plan limits to show.";
  }
  return payload;
}

bool saysNotSubscribed(std::string_view text) {
  return containsIgnoringAsciiCase(text, "api key") ||
         containsIgnoringAsciiCase(text, "only available for subscription") || UsageCommandParser::isCostBlock(text);
}

// The "result" text of an answer that is a JSON object holding one.
std::optional<std::string> resultText(const nlohmann::json& answer) {
  if (!answer.is_object()) return std::nullopt;
  auto result = answer.find("result");
  if (result == answer.end() || !result->is_string()) return std::nullopt;
  return result->get<std::string>();
}

}  // namespace

ProbeError::ProbeError(Case errorCase, std::string payload)
    : case_(errorCase), payload_(std::move(payload)), message_(messageFor(case_, payload_)) {}

UsageCommandParser::Result UsageCommandProbe::run(const std::function<Date()>& now) const {
  std::string output = execute(executableURL, arguments, timeout, stop);
  return interpret(output, now());
}

UsageCommandParser::Result UsageCommandProbe::interpret(std::string_view output, Date now,
                                                        std::string_view systemZone) {
  nlohmann::json answer = parseJsonOrDiscarded(output);
  if (!answer.is_object()) throw ProbeError::unrecognizedOutput(firstBytesAsText(output, kPayloadLimit));

  std::string text = resultText(answer).value_or("");
  auto isError = answer.find("is_error");
  if (isError != answer.end() && isError->is_boolean() && isError->get<bool>())
    throw ProbeError::commandFailed(firstCharacters(text, kPayloadLimit));

  UsageCommandParser::Result parsed = UsageCommandParser::parse(text, now, systemZone);
  if (!parsed.windows.empty()) return parsed;
  if (saysNotSubscribed(text)) throw ProbeError::notSubscription();
  throw ProbeError::unrecognizedOutput(firstCharacters(text, kPayloadLimit));
}

std::string UsageCommandProbe::execute(const std::filesystem::path& executable,
                                       const std::vector<std::string>& arguments, double timeout,
                                       const std::atomic<bool>* stop) {
  ChildProcess::Options options;
  options.program = executable;
  options.arguments = arguments;
  options.environment = cleanEnvironment();
  options.workingDirectory = OvelPaths::probeWorkingDirectory();
  options.input = ChildProcess::Stream::nullDevice;
  options.outputKeep = kMaxAnswerBytes;
  options.errorKeep = kPayloadLimit;
  options.timeLimit = timeout;
  options.drainAfterExit = kDrainAfterExit;
  options.terminationGrace = kTerminationGrace;
  options.ownProcessGroup = true;
  options.stop = stop;

  ChildProcess::Result child = ChildProcess::run(options);
  switch (child.end) {
    case ChildProcess::Result::End::launchFailed: throw ProbeError::launchFailed(child.launchErrorText());
    case ChildProcess::Result::End::timedOut: throw ProbeError::timedOut();
    case ChildProcess::Result::End::exited:
    case ChildProcess::Result::End::signaled: break;
  }
  if (child.succeeded()) return std::move(child.output);
  // Claude Code answers some failures (not signed in, out of usage) in JSON
  // on standard output: its result text says what went wrong, in words.
  if (child.end == ChildProcess::Result::End::exited)
    if (auto said = resultText(parseJsonOrDiscarded(child.output)); said && !said->empty())
      throw ProbeError::commandFailed(firstCharacters(*said, kPayloadLimit));
  const std::string& said = child.error.empty() ? child.output : child.error;
  throw ProbeError::commandFailed(firstBytesAsText(said, kPayloadLimit));
}

std::map<std::string, std::string> UsageCommandProbe::cleanEnvironment() {
  std::map<std::string, std::string> environment;
  for (const char* name : {"HOME", "USER", "LOGNAME", "TMPDIR", "SHELL"})
    if (const char* value = std::getenv(name)) environment[name] = value;
  // Empty counts as unset, as Claude Code itself reads it.
  if (auto configDirectory = nonEmptyEnvironment(kClaudeConfigDirVariable))
    environment[kClaudeConfigDirVariable] = *configDirectory;
  const char* path = std::getenv("PATH");
  environment["PATH"] = ClaudeLocator::searchPath(path ? std::optional<std::string>(path) : std::nullopt,
                                                  homeDirectory().string());
  environment.emplace("LANG", "en_US.UTF-8");
  environment.emplace("NO_COLOR", "1");
  return environment;
}

}  // namespace ovel
