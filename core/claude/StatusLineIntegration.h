// Connecting the relay as Claude Code's status-line command, and putting the
// user's own status line back. Claude Code's settings.json belongs to the
// user: only its "statusLine" member is changed, every other value is
// written back as it was, and the file is backed up once before the first
// change. The previous "statusLine" is kept in integration.json, where the
// relay finds the command to chain to.
//
// Nothing is cached: every call reads the files again. Claude Code rewrites
// its settings while we edit them: an edit takes the file's place only while
// it still holds what the edit read, and otherwise starts again on what it
// holds now.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/support/JSONValue.h"
#include "core/support/Time.h"

namespace ovel {

struct StatusLineIntegration {
  // The contents of integration.json.
  struct Record {
    // The whole "statusLine" member as it was before connecting, null
    // included. Absent when there was none, or when the settings already
    // named the relay and no older record could be read.
    std::optional<JSONValue> originalStatusLine;
    Date installedAt;  // whole seconds once written

    bool operator==(const Record&) const = default;

    // Pretty, sorted keys, escaped slashes, "installedAt" in whole-second
    // UTC ("YYYY-MM-DDTHH:MM:SSZ"), no final line feed.
    std::string encoded() const;
    // "installedAt" must have exactly that form; "originalStatusLine" may
    // be missing (no member was saved) or hold any value, null too.
    static std::optional<Record> decoded(std::string_view bytes) noexcept;
  };

  class State {
   public:
    enum class Case { stale, notInstalled, installed };

    // The status-line command names the relay but is not the current relay
    // command (for instance the data directory moved).
    static State stale(std::string command) { return State(Case::stale, std::move(command)); }
    static State notInstalled() { return State(Case::notInstalled, {}); }
    static State installed() { return State(Case::installed, {}); }

    Case stateCase() const { return case_; }
    // The command found; empty unless stale.
    const std::string& command() const { return command_; }

    bool operator==(const State&) const = default;

   private:
    State(Case stateCase, std::string command) : case_(stateCase), command_(std::move(command)) {}

    Case case_;
    std::string command_;
  };

  class IntegrationError {
   public:
    enum class Case {
      unreadableSettings,
      notInstalled,
      fileSystem,
      recordKept,
      settingsBusy,
      readOnlySettings,
      brokenSettingsLink
    };

    static IntegrationError unreadableSettings(std::string reason);
    static IntegrationError notInstalled();
    // A folder, backup, record or settings file that could not be written.
    static IntegrationError fileSystem(const std::filesystem::path& path, std::error_code code);
    // The settings were given back, but the record could not be deleted.
    static IntegrationError recordKept(const std::filesystem::path& path, std::error_code code);
    // Another program changed the settings at every attempt to edit them.
    static IntegrationError settingsBusy();
    // Settings the user cannot write, left as they are.
    static IntegrationError readOnlySettings(const std::filesystem::path& path);
    // Settings that are a link into a folder that does not exist.
    static IntegrationError brokenSettingsLink(const std::filesystem::path& path, const std::filesystem::path& target);

    Case errorCase() const { return case_; }
    // The reason of unreadableSettings, the path of the others.
    const std::string& detail() const { return detail_; }
    // Where a broken link points.
    const std::string& linkTarget() const { return linkTarget_; }
    std::error_code code() const { return code_; }
    // The text the user sees.
    std::string errorDescription() const;

    bool operator==(const IntegrationError&) const = default;

   private:
    IntegrationError(Case errorCase, std::string detail, std::error_code code, std::string linkTarget = {})
        : case_(errorCase), detail_(std::move(detail)), linkTarget_(std::move(linkTarget)), code_(code) {}

    Case case_;
    std::string detail_;
    std::string linkTarget_;
    std::error_code code_;
  };

  // Larger files read as unreadable, far beyond any real one: a record
  // takes a few hundred bytes, Claude Code's settings some kilobytes.
  static constexpr std::uint64_t kRecordSizeLimit = std::uint64_t{4} << 20;
  static constexpr std::uint64_t kSettingsSizeLimit = std::uint64_t{32} << 20;

  std::filesystem::path settingsURL;  // Claude Code's settings.json
  std::filesystem::path recordURL;    // integration.json
  std::filesystem::path bridgeURL;    // the installed relay

  // As both programs build it: the default settings, the data directory's
  // integration.json and bin/ovel-bridge.
  static StatusLineIntegration standard();
  // Claude Code's folder + "settings.json", worked out on every call.
  static std::filesystem::path defaultSettingsURL();
  // settings.json.ovel-backup beside the settings.
  std::filesystem::path backupURL() const;

  // --- What the relay uses. None of these throws.

  // The shell text written as the status-line command: the relay's path in
  // apostrophes (an apostrophe in it as '\'') followed by " --chain".
  static std::string relayCommand(const std::filesystem::path& bridge);
  std::string relayCommand() const { return relayCommand(bridgeURL); }
  // Whether a command names the relay: it contains "ovel-bridge".
  static bool namesRelay(std::string_view command) noexcept;
  // The record, when it can be read and decoded.
  std::optional<Record> readRecord() const noexcept;
  // The saved "statusLine" object's string "command", unless it names the
  // relay; an empty command counts. Absent on any failure, and when someone
  // other than the user could have written the record (ChainedCommand).
  std::optional<std::string> downstreamCommand() const noexcept;
  // The same, of a record already read.
  static std::optional<std::string> commandToChain(const Record& record) noexcept;

  // --- What the application uses. Each gives the error, or nothing on
  // success.

  // A missing or zero-byte file reads as no members. Invalid JSON, a top
  // level other than an object or an unreadable file fail with
  // unreadableSettings.
  [[nodiscard]] std::optional<IntegrationError> readSettings(JSONValue::Object& settings) const;
  [[nodiscard]] std::optional<IntegrationError> state(State& state) const;
  // Connect: saves the current "statusLine" in the record (a repeated
  // connect keeps the first record), then points "statusLine" at the relay,
  // keeping its other members. A failed settings write leaves the record.
  [[nodiscard]] std::optional<IntegrationError> install(Date now) const;
  // Disconnect: puts the saved "statusLine" back, or removes it when none
  // was saved, then deletes the record. Fails with notInstalled, changing
  // nothing, when there is no readable record, and with recordKept when the
  // record stays after the settings were written.
  [[nodiscard]] std::optional<IntegrationError> uninstall() const;
  [[nodiscard]] std::optional<IntegrationError> writeRecord(const Record& record) const;
  // Makes the settings hold `settings` as connect and disconnect do: backs
  // the file up once, then replaces it atomically (pretty, sorted keys,
  // slashes unescaped, one final line feed), and writes nothing when it
  // holds these members already. The file keeps its permission bits, is
  // synced before it takes the old one's place, and when it is a symbolic
  // link the link's target is replaced and the link stays.
  [[nodiscard]] std::optional<IntegrationError> writeSettings(const JSONValue::Object& settings) const;

 private:
  // Gives the members to write for the settings read (given in place) and,
  // when asked, a record to write before them. Called again for each
  // attempt, on what the file holds then.
  using Edit =
      std::function<std::optional<IntegrationError>(JSONValue::Object& settings, std::optional<Record>& record)>;
  [[nodiscard]] std::optional<IntegrationError> editSettings(const Edit& edit) const;
};

}  // namespace ovel
