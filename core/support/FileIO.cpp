#include "core/support/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>
#include <utility>

namespace ovel {
namespace fs = std::filesystem;
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  std::error_code close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? std::error_code() : lastError();
  }

 private:
  int fd_;
};

constexpr std::string_view kTemporaryMark = ".tmp-";
// A writer may take this long before its temporary counts as abandoned.
constexpr auto kTemporaryLifetime = std::chrono::minutes(1);

// Digits only, as our suffix writes them.
std::optional<unsigned long long> wholeNumber(std::string_view text) {
  unsigned long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The process that wrote a temporary named ".<target>.tmp-<pid>-<n>-<r>";
// nothing when the name is not one of ours (or `target` is given and differs).
std::optional<pid_t> temporaryWriter(std::string_view name, std::string_view target = {}) {
  if (!name.starts_with('.')) return std::nullopt;
  std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos || mark < 2) return std::nullopt;
  if (!target.empty() && name.substr(1, mark - 1) != target) return std::nullopt;
  std::string_view suffix = name.substr(mark + kTemporaryMark.size());
  std::size_t first = suffix.find('-'), second = suffix.find('-', first == suffix.npos ? first : first + 1);
  if (first == suffix.npos || second == suffix.npos) return std::nullopt;
  auto pid = wholeNumber(suffix.substr(0, first));
  if (!pid || *pid == 0 || *pid > static_cast<unsigned long long>(std::numeric_limits<pid_t>::max()) ||
      !wholeNumber(suffix.substr(first + 1, second - first - 1)) || !wholeNumber(suffix.substr(second + 1)))
    return std::nullopt;
  return static_cast<pid_t>(*pid);
}

bool isAbandoned(const fs::directory_entry& entry, pid_t writer) {
  // Ours may belong to a slow write under way on another thread; one that a
  // killed process of the same id left goes at a later start.
  if (writer == ::getpid()) return false;
  if (::kill(writer, 0) != 0 && errno == ESRCH) return true;
  std::error_code error;
  auto modified = entry.last_write_time(error);
  return !error && fs::file_time_type::clock::now() - modified > kTemporaryLifetime;
}

// Removes our abandoned temporaries in `folder`: of `target` alone, or of any file.
void removeAbandonedTemporaries(const fs::path& folder, std::string_view target) {
  std::error_code error;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end; !error && it != end;
       it.increment(error)) {
    auto writer = temporaryWriter(it->path().filename().native(), target);
    std::error_code ignored;
    if (writer && it->is_regular_file(ignored) && isAbandoned(*it, *writer)) ::unlink(it->path().c_str());
  }
}

// The process id and a counter tell live writers apart; the clock keeps a
// name off one that an earlier process of the same id left (O_EXCL catches
// the rest). No random device: the relay names one file per run, and
// seeding a generator cost more than all the rest of the name.
std::string uniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  auto ticks = static_cast<unsigned long long>(std::chrono::system_clock::now().time_since_epoch().count());
  return std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(ticks % 1000000007);
}

fs::path resolveTarget(const fs::path& path, bool followSymlink) {
  if (!followSymlink) return path;
  return followSymlinks(path);
}

FileVersion versionOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size,
          static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec, info.st_mode};
}

std::optional<FileVersion> versionAt(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return versionOf(info);
}

int renameWith(const fs::path& from, const fs::path& to, unsigned flags) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
}

// What a file system says when it cannot exchange or refuse to replace.
// EPERM too: older container filters refuse renameat2 outright. A real lack
// of permission shows again in the plain rename that follows.
bool flagUnsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

// Opens a new temporary file beside `target`; fills `tempPath`.
int openTemporary(const fs::path& target, fs::path& tempPath, mode_t mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Built by appending: "." + string + ... trips a false -Wrestrict in GCC 12 at -O3.
    std::string name = ".";
    name += target.filename().string();
    name += ".tmp-";
    name += uniqueSuffix();
    tempPath = target.parent_path() / name;
    int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Root editing a user's file leaves it the user's, and anyone keeps a group
// of their own; past that the new file is ours, as a new file would be.
void keepOwner(int fd, const struct stat& existing) {
  struct stat ours {};
  if (::fstat(fd, &ours) != 0 || (ours.st_uid == existing.st_uid && ours.st_gid == existing.st_gid)) return;
  if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
}

// Never waits for the other end of a FIFO, and never takes a terminal.
int openWithoutWaiting(const fs::path& path, int flags) {
  return ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// A socket cannot be opened at all (ENXIO); it is no regular file either.
std::error_code openError() { return errno == ENXIO ? make_error_code(FileError::notRegularFile) : lastError(); }

// Why `info` is not a file we read or append to, if it is not.
std::error_code refusalOf(const struct stat& info) {
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return FileError::notRegularFile;
  return {};
}

// Looked at before it is opened: opening a device can act on it, and some
// drivers wait in open() whatever the flags. The caller looks again at what
// it opened, which may have been swapped in between.
std::error_code refusalBeforeOpening(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return lastError();
  return refusalOf(info);
}

}  // namespace

std::error_code lastError() { return std::error_code(errno, std::generic_category()); }

std::error_code make_error_code(FileError error) {
  class Category final : public std::error_category {
   public:
    const char* name() const noexcept override { return "ovel.file"; }
    std::string message(int value) const override {
      switch (static_cast<FileError>(value)) {
        case FileError::notRegularFile: return "Not a regular file";
        case FileError::malformed: return "Malformed contents";
        case FileError::changed: return "Changed by another program meanwhile";
      }
      return "Unknown error";
    }
  };
  static const Category category;
  return {static_cast<int>(error), category};
}

namespace {

std::error_code readRegularFile(const fs::path& path, std::string& bytes, std::uint64_t limit, FileVersion* version) {
  bytes.clear();
  if (std::error_code refusal = refusalBeforeOpening(path)) return refusal;
  FileDescriptor file(openWithoutWaiting(path, O_RDONLY));
  if (!file.valid()) return openError();
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return lastError();
  if (std::error_code refusal = refusalOf(info)) return refusal;
  if (static_cast<std::uint64_t>(info.st_size) > limit) return std::make_error_code(std::errc::file_too_large);
  if (version) *version = versionOf(info);
  std::string result;
  result.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return lastError();
    if (count == 0) break;
    // The file may grow while it is read (or claim a size of 0, as /proc does).
    if (result.size() + static_cast<std::size_t>(count) > limit) return std::make_error_code(std::errc::file_too_large);
    result.append(buffer, static_cast<std::size_t>(count));
  }
  bytes = std::move(result);
  return {};
}

// Whether the file still holds what `found` read, and when `sameVersion` is
// asked, is still that very file, untouched since.
bool holds(const fs::path& path, const FileContents& found, bool sameVersion = false) {
  FileContents now;
  if (readRegularFile(path, now.bytes, found.bytes.size(), &now.version) || now.bytes != found.bytes) return false;
  return !sameVersion || now.version == found.version;
}

}  // namespace

std::error_code readWholeFile(const fs::path& path, std::string& bytes, std::uint64_t limit) {
  return readRegularFile(path, bytes, limit, nullptr);
}

std::error_code readWholeFile(const fs::path& path, FileContents& contents, std::uint64_t limit) {
  return readRegularFile(path, contents.bytes, limit, &contents.version);
}

std::optional<std::string> readWholeFile(const fs::path& path, std::uint64_t limit) {
  std::string bytes;
  if (readWholeFile(path, bytes, limit)) return std::nullopt;
  return bytes;
}

fs::path followSymlinks(const fs::path& path) {
  std::error_code error;
  fs::path target = path;
  // Follow a chain of links, bounded so that a loop cannot hang us.
  for (int hops = 0; hops < 40 && fs::is_symlink(target, error); ++hops) {
    fs::path next = fs::read_symlink(target, error);
    if (error) return path;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

std::error_code writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return lastError();
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return {};
}

std::error_code writeFileAtomically(const fs::path& path, std::string_view bytes, const AtomicWriteOptions& options) {
  FileReplacement replacement(path, options);
  replacement.write(bytes);
  if (options.sync) replacement.sync();
  return replacement.commit();
}

FileReplacement::FileReplacement(const fs::path& path, const AtomicWriteOptions& options)
    : target_(resolveTarget(path, options.followSymlink)), onlyOverRegularFile_(options.onlyOverRegularFile) {
  if (target_.has_parent_path()) fs::create_directories(target_.parent_path(), error_);
  if (error_) return;

  mode_t mode = 0666;
  struct stat existing {};
  bool exactMode = options.mode || (options.keepExistingMode && ::stat(target_.c_str(), &existing) == 0);
  if (options.mode) mode = *options.mode & 07777;
  else if (exactMode) mode = existing.st_mode & 07777;

  removeAbandonedTemporaries(target_.parent_path(), target_.filename().native());
  fd_ = openTemporary(target_, temporary_, mode);
  if (fd_ < 0) {
    error_ = lastError();
    temporary_.clear();  // a name tried, not a file of ours
    return;
  }
  if (exactMode && !options.mode) keepOwner(fd_, existing);
  // open() applies the umask; the replaced file's bits must survive whole
  // (and a change of owner clears the set-id ones).
  if (exactMode && ::fchmod(fd_, mode) != 0) error_ = lastError();
}

FileReplacement::~FileReplacement() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

std::error_code FileReplacement::write(std::string_view bytes) {
  if (!error_) error_ = writeAll(fd_, bytes);
  return error_;
}

std::error_code FileReplacement::sync() {
  if (!error_ && ::fsync(fd_) != 0) error_ = lastError();
  synced_ = !error_;
  return error_;
}

void FileReplacement::syncFolderOnceReplaced() const {
  // A synced file whose new name is lost to a power cut is no better than an
  // unsynced one. Best effort: the rename has happened either way.
  if (error_ || !synced_) return;
  fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.valid()) ::fsync(directory.get());
}

std::error_code FileReplacement::finishWriting(FileVersion* written) {
  if (fd_ >= 0) {
    FileDescriptor file(std::exchange(fd_, -1));
    struct stat info {};
    if (written && !error_ && ::fstat(file.get(), &info) != 0) error_ = lastError();
    if (written) *written = versionOf(info);
    if (std::error_code closeError = file.close(); !error_) error_ = closeError;
  }
  if (!error_ && onlyOverRegularFile_) {
    std::error_code refusal = refusalBeforeOpening(target_);
    if (refusal != std::errc::no_such_file_or_directory) error_ = refusal;
  }
  return error_;
}

std::error_code FileReplacement::renameOverTarget() {
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) return lastError();
  // Renamed, the temporary's name is the target's now.
  temporary_.clear();
  return {};
}

std::error_code FileReplacement::commit() {
  if (!finishWriting() && !temporary_.empty()) error_ = renameOverTarget();
  syncFolderOnceReplaced();
  return error_;
}

std::error_code FileReplacement::commitIfUnchanged(const std::optional<FileContents>& found, bool exchange) {
  FileVersion written;
  if (finishWriting(&written) || temporary_.empty()) return error_;
  if (!found) error_ = placeIfAbsent(exchange);
  else if (exchange) error_ = exchangeIfUnchanged(*found, written);
  else error_ = renameIfUnchanged(*found);
  syncFolderOnceReplaced();
  return error_;
}

std::error_code FileReplacement::placeIfAbsent(bool exchange) {
  if (exchange) {
    if (renameWith(temporary_, target_, RENAME_NOREPLACE) == 0) {
      temporary_.clear();
      return {};
    }
    if (errno == EEXIST) return FileError::changed;
    if (!flagUnsupported(errno)) return lastError();
  }
  if (versionAt(target_)) return FileError::changed;
  if (errno != ENOENT) return lastError();
  return renameOverTarget();
}

std::error_code FileReplacement::exchangeIfUnchanged(const FileContents& found, const FileVersion& written) {
  // A change made while the new file was written shows already: the other
  // writer's file need not go out of place for it.
  if (!holds(target_, found)) return FileError::changed;
  if (renameWith(temporary_, target_, RENAME_EXCHANGE) != 0) {
    if (errno == ENOENT) return FileError::changed;  // removed since it was read
    if (flagUnsupported(errno)) return renameIfUnchanged(found);
    return lastError();
  }
  // The temporary's name holds the replaced file now; gone with it unless it
  // is not what was read.
  if (holds(temporary_, found)) return {};
  // Put it back. What comes back should be our file as we wrote it: anything
  // else was written over ours meanwhile, after the file put back, and wins.
  if (renameWith(temporary_, target_, RENAME_EXCHANGE) != 0) {
    std::error_code error = lastError();
    renameOverTarget();
    return error;
  }
  if (versionAt(temporary_) != written) renameWith(temporary_, target_, RENAME_EXCHANGE);
  return FileError::changed;
}

std::error_code FileReplacement::renameIfUnchanged(const FileContents& found) {
  if (!holds(target_, found, true)) return FileError::changed;
  return renameOverTarget();
}

void removeStaleTemporaries(const fs::path& folder) { removeAbandonedTemporaries(folder, {}); }

std::error_code appendOnNewLine(const fs::path& path, std::string_view bytes) {
  if (std::error_code refusal = refusalBeforeOpening(path)) return refusal;
  // Read access is only needed to look at the last byte.
  bool readable = true;
  int fd = openWithoutWaiting(path, O_RDWR | O_APPEND);
  if (fd < 0 && errno == EACCES) {
    readable = false;
    fd = openWithoutWaiting(path, O_WRONLY | O_APPEND);
  }
  FileDescriptor file(fd);
  if (!file.valid()) return openError();
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return lastError();
  if (std::error_code refusal = refusalOf(info)) return refusal;
  std::string text;
  char last = '\n';
  if (readable && info.st_size > 0 && ::pread(file.get(), &last, 1, info.st_size - 1) == 1 && last != '\n')
    text += '\n';
  text.append(bytes);
  std::error_code error = writeAll(file.get(), text);
  if (std::error_code closeError = file.close(); !error) error = closeError;
  return error;
}

}  // namespace ovel
