#include "core/claude/StatusLineIntegration.h"

#include <sys/stat.h>

#include "core/claude/ClaudeCodePaths.h"
#include "core/engine/OvelPaths.h"
#include "core/support/FileIO.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

using IntegrationError = StatusLineIntegration::IntegrationError;
using Record = StatusLineIntegration::Record;

constexpr std::string_view kRelayName = "ovel-bridge";
constexpr const char* kStatusLineKey = "statusLine";

// Only the exact form the record is written in, so that a hand-edited date
// reads as no record rather than as a different instant.
std::optional<Date> parseRecordDate(const std::string& text) {
  auto date = parseIsoDate(text);
  if (!date || isoString(*date) != text) return std::nullopt;
  return date;
}

const JSONValue* member(const JSONValue::Object& object, const std::string& key) {
  auto found = object.find(key);
  return found == object.end() ? nullptr : &found->second;
}

// The string "command" of a "statusLine" object.
const std::string* statusLineCommand(const JSONValue* statusLine) {
  const JSONValue::Object* object = statusLine ? statusLine->asObject() : nullptr;
  const JSONValue* command = object ? member(*object, "command") : nullptr;
  return command ? command->asString() : nullptr;
}

std::optional<IntegrationError> fileError(const fs::path& path, std::error_code code) {
  if (!code) return std::nullopt;
  return IntegrationError::fileSystem(path, code);
}

}  // namespace

// --- Errors

IntegrationError IntegrationError::unreadableSettings(std::string reason) {
  return IntegrationError(Case::unreadableSettings, std::move(reason), {});
}

IntegrationError IntegrationError::notInstalled() { return IntegrationError(Case::notInstalled, {}, {}); }

IntegrationError IntegrationError::fileSystem(const fs::path& path, std::error_code code) {
  return IntegrationError(Case::fileSystem, path.string(), code);
}

IntegrationError IntegrationError::recordKept(const fs::path& path, std::error_code code) {
  return IntegrationError(Case::recordKept, path.string(), code);
}

std::string IntegrationError::errorDescription() const {
  switch (case_) {
    case Case::unreadableSettings: return "Couldn't read Claude Code settings: " + detail_;
    case Case::notInstalled: return "Ovel isn't connected to Claude Code's status line.";
    case Case::fileSystem: return "Couldn't write " + detail_ + ": " + code_.message();
    case Case::recordKept: return "Couldn't remove " + detail_ + ": " + code_.message();
  }
  return {};
}

// --- The record

std::string Record::encoded() const {
  JSONValue::Object object{{"installedAt", isoString(installedAt)}};
  if (originalStatusLine) object.emplace("originalStatusLine", *originalStatusLine);
  return writeJson(JSONValue(std::move(object)), {.pretty = true, .escapeSlashes = true, .finalNewline = false});
}

std::optional<Record> Record::decoded(std::string_view bytes) noexcept {
  try {
    auto parsed = JSONValue::parse(bytes);
    const JSONValue::Object* object = parsed ? parsed->asObject() : nullptr;
    const JSONValue* installedAt = object ? member(*object, "installedAt") : nullptr;
    const std::string* dateText = installedAt ? installedAt->asString() : nullptr;
    auto date = dateText ? parseRecordDate(*dateText) : std::nullopt;
    if (!date) return std::nullopt;
    Record record{std::nullopt, *date};
    if (const JSONValue* original = member(*object, "originalStatusLine")) record.originalStatusLine = *original;
    return record;
  } catch (const std::exception&) { return std::nullopt; }
}

// --- Locations and the relay command

StatusLineIntegration StatusLineIntegration::standard() {
  return {defaultSettingsURL(), OvelPaths::integrationRecord(), OvelPaths::bridgeExecutable()};
}

fs::path StatusLineIntegration::defaultSettingsURL() { return claudeConfigDirectory() / "settings.json"; }

fs::path StatusLineIntegration::backupURL() const {
  fs::path backup = settingsURL;
  backup += ".ovel-backup";
  return backup;
}

std::string StatusLineIntegration::relayCommand(const fs::path& bridge) {
  const std::string& path = bridge.native();
  std::string command = "'";
  command.reserve(path.size() + 16);
  for (char c : path) {
    if (c == '\'') command += "'\\''";
    else command += c;
  }
  command += "' --chain";
  return command;
}

bool StatusLineIntegration::namesRelay(std::string_view command) noexcept {
  return command.find(kRelayName) != std::string_view::npos;
}

std::optional<Record> StatusLineIntegration::readRecord() const noexcept {
  try {
    std::string bytes;
    if (readWholeFile(recordURL, bytes, kRecordSizeLimit)) return std::nullopt;
    return Record::decoded(bytes);
  } catch (const std::exception&) { return std::nullopt; }
}

std::optional<std::string> StatusLineIntegration::downstreamCommand() const noexcept {
  try {
    auto record = readRecord();
    const std::string* command = record && record->originalStatusLine ? statusLineCommand(&*record->originalStatusLine)
                                                                      : nullptr;
    if (!command || namesRelay(*command)) return std::nullopt;
    return *command;
  } catch (const std::exception&) { return std::nullopt; }
}

// --- Settings

std::optional<IntegrationError> StatusLineIntegration::readSettings(JSONValue::Object& settings) const {
  settings.clear();
  std::string bytes;
  if (std::error_code error = readWholeFile(settingsURL, bytes, kSettingsSizeLimit)) {
    if (error == std::errc::no_such_file_or_directory) return std::nullopt;
    return IntegrationError::unreadableSettings(error.message());
  }
  if (bytes.empty()) return std::nullopt;
  std::string reason;
  auto parsed = JSONValue::parse(bytes, &reason);
  if (!parsed) return IntegrationError::unreadableSettings(reason);
  JSONValue::Object* object = parsed->asObject();
  if (!object) return IntegrationError::unreadableSettings("top level isn't an object");
  settings = std::move(*object);
  return std::nullopt;
}

std::optional<IntegrationError> StatusLineIntegration::state(State& state) const {
  JSONValue::Object settings;
  if (auto error = readSettings(settings)) return error;
  const std::string* command = statusLineCommand(member(settings, kStatusLineKey));
  if (command && *command == relayCommand()) state = State::installed();
  else if (command && namesRelay(*command)) state = State::stale(*command);
  else state = State::notInstalled();
  return std::nullopt;
}

std::optional<IntegrationError> StatusLineIntegration::install(Date now) const {
  JSONValue::Object settings;
  if (auto error = readSettings(settings)) return error;
  std::string command = relayCommand();
  // A path that is not UTF-8 cannot be written into JSON as it is; a
  // replaced byte would name a relay that does not exist.
  if (!isValidUtf8(command))
    return IntegrationError::fileSystem(settingsURL, make_error_code(std::errc::illegal_byte_sequence));

  const JSONValue* existing = member(settings, kStatusLineKey);
  const std::string* existingCommand = statusLineCommand(existing);
  if (existingCommand && namesRelay(*existingCommand)) {
    // Already ours: the first record still holds the user's own status line.
    if (!readRecord())
      if (auto error = writeRecord({std::nullopt, now})) return error;
  } else {
    // Whatever the user had is kept, even a value that is not an object:
    // a "statusLine": null comes back as null, not as no member.
    std::optional<JSONValue> original;
    if (existing) original = *existing;
    if (auto error = writeRecord({std::move(original), now})) return error;
  }

  JSONValue::Object statusLine;
  if (existing && existing->asObject()) statusLine = *existing->asObject();
  statusLine["type"] = "command";
  statusLine["command"] = std::move(command);
  settings[kStatusLineKey] = std::move(statusLine);
  return writeSettings(settings);
}

std::optional<IntegrationError> StatusLineIntegration::uninstall() const {
  JSONValue::Object settings;
  if (auto error = readSettings(settings)) return error;
  auto record = readRecord();
  if (!record) return IntegrationError::notInstalled();
  if (record->originalStatusLine) settings[kStatusLineKey] = std::move(*record->originalStatusLine);
  else settings.erase(kStatusLineKey);
  if (auto error = writeSettings(settings)) return error;
  // The settings are given back by now; a record left behind is still a
  // disconnect that did not finish, and the user is told.
  std::error_code error;
  fs::remove(recordURL, error);
  if (error) return IntegrationError::recordKept(recordURL, error);
  return std::nullopt;
}

std::optional<IntegrationError> StatusLineIntegration::writeRecord(const Record& record) const {
  return fileError(recordURL, writeFileAtomically(recordURL, record.encoded()));
}

std::optional<IntegrationError> StatusLineIntegration::writeSettings(const JSONValue::Object& settings) const {
  std::error_code error;
  if (settingsURL.has_parent_path()) fs::create_directories(settingsURL.parent_path(), error);
  if (error) return fileError(settingsURL.parent_path(), error);
  if (auto backupError = backUpOnce()) return backupError;
  std::string bytes = writeJson(JSONValue(settings), {.pretty = true, .escapeSlashes = false, .finalNewline = true});
  return fileError(settingsURL, writeFileAtomically(settingsURL, bytes,
                                                    {.keepExistingMode = true, .followSymlink = true, .sync = true}));
}

std::optional<IntegrationError> StatusLineIntegration::backUpOnce() const {
  fs::path backup = backupURL();
  std::error_code error;
  if (fs::exists(fs::symlink_status(backup, error))) return std::nullopt;
  std::string bytes;
  if (error = readWholeFile(settingsURL, bytes, kSettingsSizeLimit); error == std::errc::no_such_file_or_directory)
    return std::nullopt;
  if (error) return fileError(backup, error);
  // The settings can hold secrets: the copy gets the original's permissions.
  struct stat info {};
  std::optional<mode_t> mode;
  if (::stat(settingsURL.c_str(), &info) == 0) mode = info.st_mode & 07777;
  return fileError(backup, writeFileAtomically(backup, bytes, {.mode = mode}));
}

}  // namespace ovel
