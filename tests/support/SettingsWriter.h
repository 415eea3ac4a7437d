// Another program at work on Claude Code's settings.json while Ovel connects
// and disconnects: a child process standing in for Claude Code, and the race
// of the two with its tally. The suite runs a short race, bench/ a long one.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "core/claude/StatusLineIntegration.h"
#include "core/support/FileIO.h"
#include "core/support/JSONValue.h"
#include "support/TestSupport.h"

namespace ovel::test {

// The member the writer counts its updates in.
inline constexpr const char* kWriterCounter = "writerUpdates";
// Members the user had before anything ran; nobody writes them again.
inline constexpr const char* kUserKeys[] = {"model", "permissions", "env", "hooks"};
inline const char* const kUserSettings = R"json({
  "model": "opus",
  "permissions": {"allow": ["Bash(npm run test:*)"], "deny": [], "defaultMode": "acceptEdits"},
  "env": {"MAX_THINKING_TOKENS": "8000"},
  "hooks": {"PostToolUse": [{"matcher": "Edit", "hooks": [{"type": "command", "command": "prettier --write"}]}]},
  "statusLine": {"type": "command", "command": "~/bin/status.sh"}
}
)json";

// Every `pause`, reads the settings, keeps all they hold, counts one update
// more and writes them back: in place (truncated, then written in two
// halves, as a program that streams its output does) or by rename. Before
// each update it counts the one before as set back when the file holds a
// lower count than it wrote: only another writer's rename of an older copy
// does that.
class SettingsWriter {
 public:
  enum class Style { inPlace, byRename };
  struct Tally {
    std::int64_t updates = 0, setBack = 0;
  };

  SettingsWriter(std::filesystem::path settings, Style style,
                 std::chrono::microseconds pause = std::chrono::milliseconds(2)) {
    int stop[2], tally[2];
    if (::pipe2(stop, O_CLOEXEC) != 0 || ::pipe2(tally, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(stop[1]);
      ::close(tally[0]);
      writeUntilStopped(settings, style, pause, stop[0], tally[1]);
    }
    ::close(stop[0]);
    ::close(tally[1]);
    stop_ = stop[1];
    tally_ = tally[0];
  }
  ~SettingsWriter() { stop(); }
  SettingsWriter(const SettingsWriter&) = delete;
  SettingsWriter& operator=(const SettingsWriter&) = delete;

  // Ends the writer after its current update.
  Tally stop() {
    if (pid_ <= 0) return tally;
    ::close(stop_);
    if (::read(tally_, &tally, sizeof tally) != sizeof tally) tally = {-1, -1};
    ::close(tally_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return tally;
  }

  Tally tally;

 private:
  [[noreturn]] static void writeUntilStopped(const std::filesystem::path& settings, Style style,
                                             std::chrono::microseconds pause, int stop, int report) {
    ::fcntl(stop, F_SETFL, O_NONBLOCK);
    Tally tally;
    std::int64_t last = 0;
    std::filesystem::path temporary = settings.parent_path() / ".writer.tmp";
    char byte;
    while (::read(stop, &byte, 1) < 0) {
      std::string bytes;
      JSONValue::Object settingsNow;
      if (!readWholeFile(settings, bytes, kTestFileLimit))
        if (auto parsed = JSONValue::parse(bytes); parsed && parsed->asObject()) settingsNow = *parsed->asObject();
      const JSONNumber* count = settingsNow.count(kWriterCounter) ? settingsNow[kWriterCounter].asNumber() : nullptr;
      if (tally.updates > 0 && (!count || count->toDouble() < static_cast<double>(last))) ++tally.setBack;
      settingsNow[kWriterCounter] = ++last;
      ++tally.updates;
      std::string text = writeJson(JSONValue(settingsNow),
                                   {.pretty = true, .escapeSlashes = false, .finalNewline = true});
      const std::filesystem::path& into = style == Style::inPlace ? settings : temporary;
      int fd = ::open(into.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) ::_exit(2);
      std::string_view half(text.data(), text.size() / 2);
      if (writeAll(fd, half) || writeAll(fd, std::string_view(text).substr(half.size())) || ::close(fd) != 0)
        ::_exit(3);
      if (style == Style::byRename && ::rename(temporary.c_str(), settings.c_str()) != 0) ::_exit(4);
      std::this_thread::sleep_for(pause);
    }
    if (::write(report, &tally, sizeof tally) != sizeof tally) ::_exit(5);
    ::_exit(0);
  }

  pid_t pid_ = -1;
  int stop_ = -1, tally_ = -1;
};

// What the file holds once a write under way is done; nothing when it never
// decodes to an object.
inline std::optional<JSONValue::Object> settledSettings(const std::filesystem::path& path) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    auto parsed = JSONValue::parse(readText(path));
    if (parsed && parsed->asObject()) return *parsed->asObject();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return std::nullopt;
}

inline bool holdsWritersKeys(const JSONValue::Object& settings) {
  for (const char* key : kUserKeys)
    if (!settings.count(key)) return false;
  return settings.count(kWriterCounter) > 0;
}

struct SettingsRace {
  int operations = 0;
  int busy = 0;         // gave up: the settings kept changing
  int failed = 0;       // any other error
  int withoutKeys = 0;  // left a file that lacked the user's or the writer's members
  SettingsWriter::Tally writer;
  std::string firstFailure;
};

// Connects and disconnects `operations` times in turn while a writer of
// `style` works on the same settings.
inline SettingsRace raceTheWriter(const StatusLineIntegration& integration, SettingsWriter::Style style,
                                  int operations) {
  writeText(integration.settingsURL, kUserSettings);
  SettingsRace race;
  SettingsWriter writer(integration.settingsURL, style);
  for (int wait = 0; wait < 2000; ++wait) {
    auto settings = settledSettings(integration.settingsURL);
    if (settings && settings->count(kWriterCounter)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const Date now = dateFromSeconds1970(1767225600);
  for (int operation = 0; operation < operations; ++operation) {
    auto error = operation % 2 == 0 ? integration.install(now) : integration.uninstall();
    ++race.operations;
    using Case = StatusLineIntegration::IntegrationError::Case;
    if (error && error->errorCase() == Case::settingsBusy) ++race.busy;
    // A disconnect after a connect that gave up finds no record.
    else if (error && error->errorCase() != Case::notInstalled) {
      if (!race.failed++) race.firstFailure = error->errorDescription();
    }
    auto settings = settledSettings(integration.settingsURL);
    if (!settings || !holdsWritersKeys(*settings)) ++race.withoutKeys;
  }
  race.writer = writer.stop();
  auto settings = settledSettings(integration.settingsURL);
  if (!settings || !holdsWritersKeys(*settings)) ++race.withoutKeys;
  return race;
}

}  // namespace ovel::test
