// Finds Claude Code's `claude` program: a path the user typed in the
// settings, or the first `claude` along the inherited PATH extended by the
// usual install folders. The same extended path is the probe's PATH.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ovel {

struct ClaudeLocator {
  ClaudeLocator() = delete;

  // True when the path names a regular file the current user may execute.
  using ExecutableTest = std::function<bool(const std::string& path)>;
  static bool isExecutableFile(const std::string& path);

  // The seven install folders, each `home` with a suffix appended as is.
  static std::vector<std::string> candidateDirectories(const std::string& home);

  // The inherited parts (empty ones dropped), then the install folders,
  // then the system folders, without exact-text repeats, joined by ":".
  static std::string searchPath(const std::optional<std::string>& inherited, const std::string& home);

  // A non-empty override is final: its tilde-expanded path when executable,
  // else nothing (no search). Without one: the first executable
  // "<folder>/claude" along searchPath($PATH, home).
  static std::optional<std::filesystem::path> locate(const std::optional<std::string>& override,
                                                     const ExecutableTest& isExecutable = isExecutableFile);
};

}  // namespace ovel
