// Where the data directory is and the name of every file in it. The
// application and the relay each work it out by this same rule; nothing is
// cached, so every call follows the environment as it is at that moment.
//
// A home folder comes from $HOME, else from the password file read as a
// plain file (PasswdFile), never from the C library's user lookup: the relay
// is linked statically, where that lookup loads the system's NSS modules.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "core/support/PasswdFile.h"

namespace ovel {

struct OvelPaths {
  OvelPaths() = delete;

  // Replaces the whole root rule when set (tests). Process-wide.
  static void setRootOverride(std::optional<std::filesystem::path> root);
  static std::optional<std::filesystem::path> rootOverride();

  // The override, else a non-empty $OVEL_HOME (tilde-expanded, used as is),
  // else the user's data home + "Ovel".
  static std::filesystem::path root();
  // The same rule with nothing made up: absent when it needs a home folder
  // that neither $HOME nor the password file gives, or when $OVEL_HOME's
  // "~user" names no account there. The relay then does without.
  static std::optional<std::filesystem::path> findRoot(const PasswdFile& accounts = PasswdFile());
  static std::filesystem::path history();
  static std::filesystem::path resetPlan();
  static std::filesystem::path statusLineSnapshot();
  static std::filesystem::path statusLineSnapshot(const std::filesystem::path& root);
  static std::filesystem::path integrationRecord();
  static std::filesystem::path integrationRecord(const std::filesystem::path& root);
  static std::filesystem::path bridgeExecutable();
  // Creates the folder (with parents) on every call and ignores failure.
  static std::filesystem::path probeWorkingDirectory();

  [[nodiscard]] static std::error_code ensureRoot();

  // $XDG_DATA_HOME when set and absolute, else ~/.local/share.
  static std::filesystem::path applicationSupportDirectory();
};

// $HOME when it is a full path, else the password file's entry for this
// process's user; absent when neither gives one.
std::optional<std::filesystem::path> findHomeDirectory(const PasswdFile& accounts = PasswdFile());
// The same, with "/" when there is none.
std::filesystem::path homeDirectory();

// "~" or "~/x" becomes the home; "~user/x" that user's home in the password
// file; any other text is returned unchanged. Absent when the home that the
// tilde names is not found.
std::optional<std::string> findTildeExpansion(const std::string& path, const PasswdFile& accounts = PasswdFile());
// The same, with the text unchanged when that home is not found.
std::string expandTilde(const std::string& path);

// The value of an environment variable, absent when unset or empty.
std::optional<std::string> nonEmptyEnvironment(const char* name);

}  // namespace ovel
