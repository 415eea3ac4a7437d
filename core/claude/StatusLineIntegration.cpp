#include "core/claude/StatusLineIntegration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/claude/ChainedCommand.h"
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

// Claude Code writes its settings in place: truncated, then written. A file
// that is empty or does not decode this soon after it changed may be
// halfway, and an edit waits this long at most for it to decode.
constexpr auto kWriteUnderWay = std::chrono::seconds(1);
constexpr auto kWriteWaitStep = std::chrono::milliseconds(10);
// An edit that another program overtakes this often gives up.
constexpr int kEditAttempts = 5;

// What one read of the settings found: no file, or its contents and the
// members they hold.
struct SettingsRead {
  std::optional<FileContents> file;
  JSONValue::Object settings;
};

std::optional<IntegrationError> decodeSettings(const std::string& bytes, JSONValue::Object& settings) {
  if (bytes.empty()) return std::nullopt;
  std::string reason;
  auto parsed = JSONValue::parse(bytes, &reason);
  if (!parsed) return IntegrationError::unreadableSettings(reason);
  JSONValue::Object* object = parsed->asObject();
  if (!object) return IntegrationError::unreadableSettings("top level isn't an object");
  settings = std::move(*object);
  return std::nullopt;
}

std::optional<IntegrationError> readSettingsFile(const fs::path& url, SettingsRead& read) {
  read = {};
  FileContents contents;
  if (std::error_code error = readWholeFile(url, contents, StatusLineIntegration::kSettingsSizeLimit)) {
    if (error == std::errc::no_such_file_or_directory) return std::nullopt;
    return IntegrationError::unreadableSettings(error.message());
  }
  auto error = decodeSettings(contents.bytes, read.settings);
  read.file = std::move(contents);
  return error;
}

// Either way round: a clock set back must not make a write look recent for
// long, nor one set ahead make it look old.
bool changedJustNow(const FileVersion& version) {
  auto modified = std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
      std::chrono::nanoseconds(version.modifiedNanoseconds)));
  auto age = std::chrono::system_clock::now() - modified;
  return age < kWriteUnderWay && age > -kWriteUnderWay;
}

// Reads the settings; an empty or undecodable file that changed just now is
// read again until it decodes, is older, or `deadline` passes.
std::optional<IntegrationError> readSettledSettings(const fs::path& url, SettingsRead& read,
                                                    std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto error = readSettingsFile(url, read);
    bool maybeHalfway = read.file && (error || read.file->bytes.empty()) && changedJustNow(read.file->version);
    if (!maybeHalfway || std::chrono::steady_clock::now() >= deadline) return error;
    std::this_thread::sleep_for(kWriteWaitStep);
  }
}

// The kernel answers for the mode, ACLs and read-only mounts, but lets root
// write anything: for root a file without a write bit was made read-only on
// purpose.
bool userMayWrite(const fs::path& file, const struct stat& info) {
  if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) return false;
  return ::geteuid() != 0 || (info.st_mode & 0222) != 0;
}

// A rename would replace a read-only file without a word, and a link into a
// missing folder would have the folder made up: both are left alone.
std::optional<IntegrationError> refusalToChange(const fs::path& settings) {
  fs::path target = followSymlinks(settings);
  std::error_code error;
  if (target != settings && target.has_parent_path() && !fs::is_directory(target.parent_path(), error))
    return IntegrationError::brokenSettingsLink(settings, target);
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0 && !userMayWrite(target, info))
    return IntegrationError::readOnlySettings(settings);
  return std::nullopt;
}

// The copy keeps what the edit read: the file may have changed since.
std::optional<IntegrationError> backUpOnce(const fs::path& backup, const SettingsRead& read) {
  std::error_code error;
  if (!read.file || fs::exists(fs::symlink_status(backup, error))) return std::nullopt;
  // The settings can hold secrets: the copy gets the original's permissions.
  return fileError(backup, writeFileAtomically(backup, read.file->bytes, {.mode = read.file->version.mode & 07777}));
}

// Backs the file up once, then puts `settings` in its place unless another
// program changed it since `read`: then `overtaken` is set and nothing else
// has happened.
std::optional<IntegrationError> replaceSettings(const StatusLineIntegration& integration, const SettingsRead& read,
                                                const JSONValue::Object& settings, bool& overtaken) {
  const fs::path& url = integration.settingsURL;
  std::error_code error;
  if (!read.file && url.has_parent_path()) fs::create_directories(url.parent_path(), error);
  if (error) return fileError(url.parent_path(), error);
  if (auto backupError = backUpOnce(integration.backupURL(), read)) return backupError;
  std::string bytes = writeJson(JSONValue(settings), {.pretty = true, .escapeSlashes = false, .finalNewline = true});
  FileReplacement replacement(url, {.keepExistingMode = true, .followSymlink = true});
  replacement.write(bytes);
  replacement.sync();
  error = replacement.commitIfUnchanged(read.file);
  overtaken = error == FileError::changed;
  return overtaken ? std::nullopt : fileError(url, error);
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

IntegrationError IntegrationError::settingsBusy() { return IntegrationError(Case::settingsBusy, {}, {}); }

IntegrationError IntegrationError::readOnlySettings(const fs::path& path) {
  return IntegrationError(Case::readOnlySettings, path.string(), {});
}

IntegrationError IntegrationError::brokenSettingsLink(const fs::path& path, const fs::path& target) {
  return IntegrationError(Case::brokenSettingsLink, path.string(), {}, target.string());
}

std::string IntegrationError::errorDescription() const {
  switch (case_) {
    case Case::unreadableSettings: return "Couldn't read Claude Code settings: " + detail_;
    case Case::notInstalled: return "Ovel isn't connected to Claude Code's status line.";
    case Case::fileSystem: return "Couldn't write " + detail_ + ": " + code_.message();
    case Case::recordKept: return "Couldn't remove " + detail_ + ": " + code_.message();
    case Case::settingsBusy: return "Claude Code is writing its settings right now. Try again in a moment.";
    case Case::readOnlySettings: return "Couldn't change " + detail_ + ": the file is read-only.";
    case Case::brokenSettingsLink:
      return "Couldn't change " + detail_ + ": it links to " + linkTarget_ + ", in a folder that doesn't exist.";
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
  return ChainedCommand::read(recordURL).command;
}

std::optional<std::string> StatusLineIntegration::commandToChain(const Record& record) noexcept {
  try {
    const std::string* command = record.originalStatusLine ? statusLineCommand(&*record.originalStatusLine) : nullptr;
    if (!command || namesRelay(*command)) return std::nullopt;
    return *command;
  } catch (const std::exception&) { return std::nullopt; }
}

// --- Settings

std::optional<IntegrationError> StatusLineIntegration::readSettings(JSONValue::Object& settings) const {
  SettingsRead read;
  auto error = readSettingsFile(settingsURL, read);
  settings = std::move(read.settings);
  return error;
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
  std::string command = relayCommand();
  // A path that is not UTF-8 cannot be written into JSON as it is; a
  // replaced byte would name a relay that does not exist.
  if (!isValidUtf8(command)) {
    JSONValue::Object settings;
    if (auto error = readSettings(settings)) return error;
    return IntegrationError::fileSystem(settingsURL, make_error_code(std::errc::illegal_byte_sequence));
  }
  return editSettings(
      [&](JSONValue::Object& settings, std::optional<Record>& record) -> std::optional<IntegrationError> {
        const JSONValue* existing = member(settings, kStatusLineKey);
        const std::string* existingCommand = statusLineCommand(existing);
        if (existingCommand && namesRelay(*existingCommand)) {
          // Already ours: the first record still holds the user's own status line.
          if (!readRecord()) record = Record{std::nullopt, now};
        } else {
          // Whatever the user had is kept, even a value that is not an object:
          // a "statusLine": null comes back as null, not as no member.
          record = Record{existing ? std::optional(*existing) : std::nullopt, now};
        }
        JSONValue::Object statusLine;
        if (existing && existing->asObject()) statusLine = *existing->asObject();
        statusLine["type"] = "command";
        statusLine["command"] = command;
        settings[kStatusLineKey] = std::move(statusLine);
        return std::nullopt;
      });
}

std::optional<IntegrationError> StatusLineIntegration::uninstall() const {
  auto error = editSettings(
      [&](JSONValue::Object& settings, std::optional<Record>&) -> std::optional<IntegrationError> {
        auto record = readRecord();
        if (!record) return IntegrationError::notInstalled();
        if (record->originalStatusLine) settings[kStatusLineKey] = std::move(*record->originalStatusLine);
        else settings.erase(kStatusLineKey);
        return std::nullopt;
      });
  if (error) return error;
  // The settings are given back by now; a record left behind is still a
  // disconnect that did not finish, and the user is told.
  std::error_code removal;
  fs::remove(recordURL, removal);
  if (removal) return IntegrationError::recordKept(recordURL, removal);
  return std::nullopt;
}

std::optional<IntegrationError> StatusLineIntegration::writeRecord(const Record& record) const {
  // Written the user's alone whatever the umask: the relay runs what it names.
  return fileError(recordURL, writeFileAtomically(recordURL, record.encoded(), {.mode = 0600}));
}

std::optional<IntegrationError> StatusLineIntegration::writeSettings(const JSONValue::Object& settings) const {
  return editSettings([&](JSONValue::Object& current, std::optional<Record>&) -> std::optional<IntegrationError> {
    current = settings;
    return std::nullopt;
  });
}

std::optional<IntegrationError> StatusLineIntegration::editSettings(const Edit& edit) const {
  const auto deadline = std::chrono::steady_clock::now() + kWriteUnderWay;
  for (int attempt = 0; attempt < kEditAttempts; ++attempt) {
    SettingsRead read;
    if (auto error = readSettledSettings(settingsURL, read, deadline)) return error;
    JSONValue::Object settings = read.settings;
    std::optional<Record> record;
    if (auto error = edit(settings, record)) return error;
    const bool changes = settings != read.settings;
    if (changes)
      if (auto refusal = refusalToChange(settingsURL)) return refusal;
    // Rewritten only when it differs: an attempt that starts again mostly
    // finds the record it wrote.
    if (record && readWholeFile(recordURL, kRecordSizeLimit) != record->encoded())
      if (auto error = writeRecord(*record)) return error;
    if (!changes) return std::nullopt;
    bool overtaken = false;
    auto error = replaceSettings(*this, read, settings, overtaken);
    if (!overtaken) return error;
  }
  return IntegrationError::settingsBusy();
}

}  // namespace ovel
