#include "core/claude/ClaudeLocator.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "core/engine/OvelPaths.h"

namespace ovel {
namespace {

std::vector<std::string> splitSearchPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t colon = std::min(path.find(':', start), path.size());
    if (colon > start) parts.push_back(path.substr(start, colon - start));
    start = colon + 1;
  }
  return parts;
}

std::optional<std::string> inheritedSearchPath() {
  const char* path = std::getenv("PATH");
  return path ? std::optional<std::string>(path) : std::nullopt;
}

}  // namespace

bool ClaudeLocator::isExecutableFile(const std::string& path) {
  // access() alone also accepts a folder, which would then fail to launch.
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> ClaudeLocator::candidateDirectories(const std::string& home) {
  return {home + "/.local/bin",      home + "/.claude/local", "/opt/homebrew/bin", "/usr/local/bin",
          home + "/.npm-global/bin", home + "/.bun/bin",      home + "/.volta/bin"};
}

std::string ClaudeLocator::searchPath(const std::optional<std::string>& inherited, const std::string& home) {
  std::vector<std::string> entries = inherited ? splitSearchPath(*inherited) : std::vector<std::string>{};
  for (auto& folder : candidateDirectories(home)) entries.push_back(std::move(folder));
  for (const char* folder : {"/usr/bin", "/bin", "/usr/sbin", "/sbin"}) entries.emplace_back(folder);

  std::vector<std::string> kept;
  for (auto& entry : entries)
    if (std::find(kept.begin(), kept.end(), entry) == kept.end()) kept.push_back(std::move(entry));

  std::string joined;
  for (const auto& entry : kept) {
    if (!joined.empty()) joined += ':';
    joined += entry;
  }
  return joined;
}

std::optional<std::filesystem::path> ClaudeLocator::locate(const std::optional<std::string>& override,
                                                           const ExecutableTest& isExecutable) {
  if (override && !override->empty()) {
    std::string expanded = expandTilde(*override);
    if (isExecutable(expanded)) return std::filesystem::path(expanded);
    return std::nullopt;
  }
  for (const auto& folder : splitSearchPath(searchPath(inheritedSearchPath(), homeDirectory().string()))) {
    std::string candidate = folder + "/claude";
    if (isExecutable(candidate)) return std::filesystem::path(candidate);
  }
  return std::nullopt;
}

}  // namespace ovel
