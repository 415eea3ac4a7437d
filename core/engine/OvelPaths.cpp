#include "core/engine/OvelPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace ovel {
namespace fs = std::filesystem;
namespace {

std::mutex overrideMutex;
std::optional<fs::path> overrideRoot;

std::optional<std::string> homeOfUser(const char* name) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  int status = name ? getpwnam_r(name, &entry, buffer.data(), buffer.size(), &result)
                    : getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result);
  if (status != 0 || !result || !result->pw_dir) return std::nullopt;
  return std::string(result->pw_dir);
}

}  // namespace

std::optional<std::string> nonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

fs::path homeDirectory() {
  if (auto home = nonEmptyEnvironment("HOME")) return *home;
  return homeOfUser(nullptr).value_or("/");
}

std::string expandTilde(const std::string& path) {
  if (path.empty() || path.front() != '~') return path;
  auto slash = path.find('/');
  std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
  if (user.empty()) return homeDirectory().string() + rest;
  if (auto home = homeOfUser(user.c_str())) return *home + rest;
  return path;
}

void OvelPaths::setRootOverride(std::optional<fs::path> root) {
  std::lock_guard lock(overrideMutex);
  overrideRoot = std::move(root);
}

std::optional<fs::path> OvelPaths::rootOverride() {
  std::lock_guard lock(overrideMutex);
  return overrideRoot;
}

fs::path OvelPaths::applicationSupportDirectory() {
  if (auto dataHome = nonEmptyEnvironment("XDG_DATA_HOME"); dataHome && fs::path(*dataHome).is_absolute())
    return *dataHome;
  return homeDirectory() / ".local" / "share";
}

fs::path OvelPaths::root() {
  if (auto root = rootOverride()) return *root;
  if (auto home = nonEmptyEnvironment("OVEL_HOME")) return fs::path(expandTilde(*home));
  return applicationSupportDirectory() / "Ovel";
}

fs::path OvelPaths::history() { return root() / "history.jsonl"; }
fs::path OvelPaths::resetPlan() { return root() / "reset-plan.json"; }
fs::path OvelPaths::statusLineSnapshot() { return root() / "statusline.json"; }
fs::path OvelPaths::integrationRecord() { return root() / "integration.json"; }
fs::path OvelPaths::bridgeExecutable() { return root() / "bin" / "ovel-bridge"; }

fs::path OvelPaths::probeWorkingDirectory() {
  fs::path directory = root() / "probe";
  std::error_code ignored;
  fs::create_directories(directory, ignored);
  return directory;
}

std::error_code OvelPaths::ensureRoot() {
  std::error_code error;
  fs::path directory = root();
  fs::create_directories(directory, error);
  if (!error && !fs::is_directory(directory, error) && !error) error = std::make_error_code(std::errc::not_a_directory);
  return error;
}

}  // namespace ovel
