// Where the data directory is and the name of every file in it. The
// application and the relay each work it out by this same rule; nothing is
// cached, so every call follows the environment as it is at that moment.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace ovel {

struct OvelPaths {
  OvelPaths() = delete;

  // Replaces the whole root rule when set (tests). Process-wide.
  static void setRootOverride(std::optional<std::filesystem::path> root);
  static std::optional<std::filesystem::path> rootOverride();

  // The override, else a non-empty $OVEL_HOME (tilde-expanded, used as is),
  // else the user's data home + "Ovel".
  static std::filesystem::path root();
  static std::filesystem::path history();
  static std::filesystem::path resetPlan();
  static std::filesystem::path statusLineSnapshot();
  static std::filesystem::path integrationRecord();
  static std::filesystem::path bridgeExecutable();
  // Creates the folder (with parents) on every call and ignores failure.
  static std::filesystem::path probeWorkingDirectory();

  [[nodiscard]] static std::error_code ensureRoot();

  // $XDG_DATA_HOME when set and absolute, else ~/.local/share.
  static std::filesystem::path applicationSupportDirectory();
};

// $HOME when set and non-empty, else the password database's entry.
std::filesystem::path homeDirectory();

// "~" or "~/x" becomes the home; "~user/x" that user's home; an unknown user
// or any other text is returned unchanged.
std::string expandTilde(const std::string& path);

// The value of an environment variable, absent when unset or empty.
std::optional<std::string> nonEmptyEnvironment(const char* name);

}  // namespace ovel
