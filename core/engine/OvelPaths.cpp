#include "core/engine/OvelPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace ovel {
namespace fs = std::filesystem;
namespace {

std::mutex overrideMutex;
std::optional<fs::path> overrideRoot;

// $XDG_DATA_HOME when set and absolute, else ~/.local/share.
std::optional<fs::path> findApplicationSupportDirectory(const PasswdFile& accounts) {
  if (auto dataHome = nonEmptyEnvironment("XDG_DATA_HOME"); dataHome && fs::path(*dataHome).is_absolute())
    return *dataHome;
  auto home = findHomeDirectory(accounts);
  if (!home) return std::nullopt;
  return *home / ".local" / "share";
}

}  // namespace

std::optional<std::string> nonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

// A HOME that is no full path would put the data directory, and the record
// the relay runs, in whatever folder a program happens to start in.
std::optional<fs::path> findHomeDirectory(const PasswdFile& accounts) {
  if (auto home = nonEmptyEnvironment("HOME"); home && fs::path(*home).is_absolute()) return fs::path(*home);
  if (auto home = accounts.homeOf(::getuid())) return fs::path(*home);
  return std::nullopt;
}

fs::path homeDirectory() { return findHomeDirectory().value_or("/"); }

std::optional<std::string> findTildeExpansion(const std::string& path, const PasswdFile& accounts) {
  if (path.empty() || path.front() != '~') return path;
  auto slash = path.find('/');
  std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
  std::optional<std::string> home;
  if (user.empty()) {
    if (auto found = findHomeDirectory(accounts)) home = found->string();
  } else {
    home = accounts.homeOf(user);
  }
  if (!home) return std::nullopt;
  return *home + rest;
}

std::string expandTilde(const std::string& path) { return findTildeExpansion(path).value_or(path); }

void OvelPaths::setRootOverride(std::optional<fs::path> root) {
  std::lock_guard lock(overrideMutex);
  overrideRoot = std::move(root);
}

std::optional<fs::path> OvelPaths::rootOverride() {
  std::lock_guard lock(overrideMutex);
  return overrideRoot;
}

fs::path OvelPaths::applicationSupportDirectory() {
  return findApplicationSupportDirectory(PasswdFile()).value_or(homeDirectory() / ".local" / "share");
}

std::optional<fs::path> OvelPaths::findRoot(const PasswdFile& accounts) {
  if (auto root = rootOverride()) return *root;
  if (auto home = nonEmptyEnvironment("OVEL_HOME")) {
    if (auto expanded = findTildeExpansion(*home, accounts)) return fs::path(*expanded);
    return std::nullopt;
  }
  if (auto support = findApplicationSupportDirectory(accounts)) return *support / "Ovel";
  return std::nullopt;
}

fs::path OvelPaths::root() {
  if (auto root = findRoot()) return *root;
  // What the application makes of a home it cannot find: a "~user" that
  // stays as written, or a folder under "/" that it will fail to write.
  if (auto home = nonEmptyEnvironment("OVEL_HOME")) return fs::path(*home);
  return applicationSupportDirectory() / "Ovel";
}

fs::path OvelPaths::history() { return root() / "history.jsonl"; }
fs::path OvelPaths::resetPlan() { return root() / "reset-plan.json"; }
fs::path OvelPaths::statusLineSnapshot() { return statusLineSnapshot(root()); }
fs::path OvelPaths::statusLineSnapshot(const fs::path& root) { return root / "statusline.json"; }
fs::path OvelPaths::integrationRecord() { return integrationRecord(root()); }
fs::path OvelPaths::integrationRecord(const fs::path& root) { return root / "integration.json"; }
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
