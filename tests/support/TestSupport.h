// Helpers shared by the test programs: a private temporary folder and
// environment changes that undo themselves.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/support/FileIO.h"

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

// Test files stay far below this.
constexpr std::uint64_t kTestFileLimit = std::uint64_t{1} << 30;

inline std::string readText(const std::filesystem::path& path) {
  return readWholeFile(path, kTestFileLimit).value_or("");
}

// Atomic like the stores' writes, without their fsync: a test's files need
// not outlive a power cut, and thousands of them would cost seconds.
inline void writeText(const std::filesystem::path& path, const std::string& text) {
  if (auto error = writeFileAtomically(path, text, {.sync = false})) throw std::system_error(error, path.string());
}

// Sets or clears the immutable flag of a file or folder, which binds root too.
inline void setImmutable(const std::filesystem::path& path, bool on) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  ::close(fd);
}

// A folder in which no entry can be made, renamed or removed while the
// object lives, though its files can still be written: immutable for root
// (who passes every permission), read-only for anyone else. `held()` is
// false where neither works (a file system without the flag).
class LockedFolder {
 public:
  explicit LockedFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
    if (::geteuid() == 0) setImmutable(folder_, true);
    else std::filesystem::permissions(folder_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    held_ = ::mkdir((folder_ / "probe").c_str(), 0700) != 0;
    if (!held_) ::rmdir((folder_ / "probe").c_str());
  }
  ~LockedFolder() {
    if (::geteuid() == 0) setImmutable(folder_, false);
    else std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
  }
  LockedFolder(const LockedFolder&) = delete;
  LockedFolder& operator=(const LockedFolder&) = delete;

  bool held() const { return held_; }

 private:
  std::filesystem::path folder_;
  bool held_ = false;
};

// A file that cannot be opened for writing while the object lives, in the
// same ways. `held()` is false where neither works.
class LockedFile {
 public:
  explicit LockedFile(std::filesystem::path file) : file_(std::move(file)) {
    if (::geteuid() == 0) setImmutable(file_, true);
    else std::filesystem::permissions(file_, std::filesystem::perms::owner_read);
    int fd = ::open(file_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    held_ = fd < 0;
    if (fd >= 0) ::close(fd);
  }
  ~LockedFile() {
    if (::geteuid() == 0) setImmutable(file_, false);
    else std::filesystem::permissions(file_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  bool held() const { return held_; }

 private:
  std::filesystem::path file_;
  bool held_ = false;
};

}  // namespace ovel::test
