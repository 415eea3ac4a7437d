#include "core/support/FileTrust.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <utility>

#include "core/support/FileIO.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;
constexpr uid_t kRoot = 0;

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

Untrusted refusal(Untrusted::Reason reason, const fs::path& path, std::error_code error = {}) {
  return {reason, path, error};
}

// What a failed open or stat of `path` says, by errno.
Untrusted failureAt(const fs::path& path, bool folder) {
  int code = errno;
  if (code == ENOENT) return refusal(Untrusted::Reason::missing, path);
  // O_NOFOLLOW met a link, O_DIRECTORY a file.
  if (code == ELOOP || code == ENOTDIR)
    return refusal(folder ? Untrusted::Reason::notAFolder : Untrusted::Reason::notARegularFile, path);
  return refusal(Untrusted::Reason::unreadable, path, std::error_code(code, std::generic_category()));
}

std::optional<Untrusted> folderRefusal(const struct stat& info, const fs::path& path, uid_t user, bool ownFolder) {
  if (!S_ISDIR(info.st_mode)) return refusal(Untrusted::Reason::notAFolder, path);
  if (info.st_uid != user && info.st_uid != kRoot) return refusal(Untrusted::Reason::ownedByOtherUser, path);
  bool sticky = (info.st_mode & S_ISVTX) != 0;
  if ((info.st_mode & kOthersWrite) && (ownFolder || !sticky))
    return refusal(Untrusted::Reason::writableByOthers, path);
  return std::nullopt;
}

std::optional<Untrusted> fileRefusal(const struct stat& info, const fs::path& path, uid_t user) {
  if (!S_ISREG(info.st_mode)) return refusal(Untrusted::Reason::notARegularFile, path);
  if (info.st_uid != user) return refusal(Untrusted::Reason::ownedByOtherUser, path);
  if (info.st_mode & kOthersWrite) return refusal(Untrusted::Reason::writableByOthers, path);
  return std::nullopt;
}

// The folder as an O_PATH descriptor, opened from the root down one name
// at a time without following links, each step checked on what it opened.
Descriptor openTrustedFolder(const fs::path& folder, uid_t user, std::optional<Untrusted>& refused) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.empty() ? "." : folder.c_str(), nullptr),
                                                   &std::free);
  if (!real) {
    refused = failureAt(folder, true);
    return Descriptor();
  }
  const fs::path resolved = real.get();
  fs::path walked = resolved.root_path();
  Descriptor current(::open(walked.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  auto names = resolved.relative_path();
  auto name = names.begin();
  for (;;) {
    struct stat info {};
    if (!current.valid() || ::fstat(current.get(), &info) != 0) {
      refused = failureAt(walked, true);
      return Descriptor();
    }
    bool last = name == names.end() || name->empty();
    if ((refused = folderRefusal(info, walked, user, last))) return Descriptor();
    if (last) return current;
    walked /= *name;
    current = Descriptor(::openat(current.get(), name->c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    ++name;
  }
}

// A regular file in the opened folder, never a link, looked at before it is
// opened (opening a device can act on it) and opened without waiting.
Descriptor openRegularFileIn(const Descriptor& folder, const fs::path& path, struct stat& info,
                             std::optional<Untrusted>& refused) {
  const fs::path name = path.filename();
  if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    refused = failureAt(path, false);
    return Descriptor();
  }
  if (!S_ISREG(info.st_mode)) {
    refused = refusal(Untrusted::Reason::notARegularFile, path);
    return Descriptor();
  }
  Descriptor file(::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.valid() || ::fstat(file.get(), &info) != 0) {
    refused = failureAt(path, false);
    return Descriptor();
  }
  return file;
}

Descriptor openFileInTrustedFolder(const fs::path& path, uid_t user, struct stat& info,
                                   std::optional<Untrusted>& refused) {
  Descriptor folder = openTrustedFolder(path.parent_path(), user, refused);
  if (refused) return Descriptor();
  return openRegularFileIn(folder, path, info, refused);
}

std::optional<Untrusted> readBounded(const Descriptor& file, const fs::path& path, std::uint64_t size,
                                     std::uint64_t limit, std::string& bytes) {
  const auto tooLarge = [&] {
    return refusal(Untrusted::Reason::unreadable, path, std::make_error_code(std::errc::file_too_large));
  };
  if (size > limit) return tooLarge();
  std::string contents;
  contents.reserve(static_cast<std::size_t>(size));
  char buffer[16384];
  for (;;) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return refusal(Untrusted::Reason::unreadable, path, lastError());
    if (count == 0) break;
    if (contents.size() + static_cast<std::size_t>(count) > limit) return tooLarge();
    contents.append(buffer, static_cast<std::size_t>(count));
  }
  bytes = std::move(contents);
  return std::nullopt;
}

// Takes the group's and others' write permission from what the user owns.
std::optional<Untrusted> tighten(const Descriptor& fd, const struct stat& info, const fs::path& path, uid_t user,
                                 bool* tightened) {
  if (info.st_uid != user || !(info.st_mode & kOthersWrite)) return std::nullopt;
  if (::fchmod(fd.get(), info.st_mode & 07777 & ~kOthersWrite) != 0)
    return refusal(Untrusted::Reason::unreadable, path, lastError());
  if (tightened) *tightened = true;
  return std::nullopt;
}

}  // namespace

std::string Untrusted::description() const {
  const std::string name = path.string();
  switch (reason) {
    case Reason::missing: return name + " is missing";
    case Reason::unreadable: return "couldn't check " + name + ": " + error.message();
    case Reason::notARegularFile: return name + " isn't a regular file";
    case Reason::notAFolder: return name + " isn't a folder";
    case Reason::ownedByOtherUser: return name + " belongs to another user";
    case Reason::writableByOthers: return "other users can write to " + name;
  }
  return name;
}

std::optional<Untrusted> checkTrustedFolder(const fs::path& folder, uid_t user) {
  std::optional<Untrusted> refused;
  openTrustedFolder(folder, user, refused);
  return refused;
}

std::optional<Untrusted> readTrustedFile(const fs::path& path, std::string& bytes, std::uint64_t limit, uid_t user) {
  bytes.clear();
  std::optional<Untrusted> refused;
  struct stat info {};
  Descriptor file = openFileInTrustedFolder(path, user, info, refused);
  if (!refused) refused = fileRefusal(info, path, user);
  if (refused) return refused;
  return readBounded(file, path, static_cast<std::uint64_t>(info.st_size), limit, bytes);
}

std::optional<Untrusted> secureFolder(const fs::path& folder, uid_t user, bool* tightened) {
  if (tightened) *tightened = false;
  std::error_code ignored;  // a parent that could not be made shows as the folder missing
  if (folder.has_parent_path()) fs::create_directories(folder.parent_path(), ignored);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return failureAt(folder, true);
  Descriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  if (!opened.valid() || ::fstat(opened.get(), &info) != 0) return failureAt(folder, true);
  if (auto failed = tighten(opened, info, folder, user, tightened)) return failed;
  return checkTrustedFolder(folder, user);
}

std::optional<Untrusted> secureFile(const fs::path& path, uid_t user, bool* tightened) {
  if (tightened) *tightened = false;
  std::optional<Untrusted> refused;
  struct stat info {};
  Descriptor file = openFileInTrustedFolder(path, user, info, refused);
  if (refused) return refused;
  if (auto failed = tighten(file, info, path, user, tightened)) return failed;
  if (::fstat(file.get(), &info) != 0) return refusal(Untrusted::Reason::unreadable, path, lastError());
  return fileRefusal(info, path, user);
}

}  // namespace ovel
