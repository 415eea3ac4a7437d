// Helpers shared by the test programs: a private temporary folder and
// environment changes that undo themselves.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/FileIO.h"

namespace ovel::test {

// How long a run may take before a test gives up on it: far beyond any
// healthy run on a loaded machine, so it only catches a hang.
constexpr double kWatchdogSeconds = 20;

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovel-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp failed");
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets (or with nullopt unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
    else ::unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// `text` `times` times over.
inline std::string repeated(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

inline std::string readText(const std::filesystem::path& path) { return readWholeFile(path).value_or(""); }

// Atomic like the stores' writes, without their fsync: a test's files need
// not outlive a power cut, and thousands of them would cost seconds.
inline void writeText(const std::filesystem::path& path, const std::string& text) {
  if (auto error = writeFileAtomically(path, text, {.sync = false})) throw std::system_error(error, path.string());
}

}  // namespace ovel::test
