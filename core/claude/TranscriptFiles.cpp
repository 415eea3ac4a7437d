#include "core/claude/TranscriptFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/claude/TranscriptLine.h"
#include "core/support/FileIO.h"

namespace ovel {
namespace {

constexpr std::string_view kTranscriptExtension = ".jsonl";

bool isTranscriptName(std::string_view name) {
  return name.size() > kTranscriptExtension.size() && name.ends_with(kTranscriptExtension);
}

Date modificationDate(const struct stat& status) {
  return dateFromSeconds1970(static_cast<double>(status.st_mtim.tv_sec) + status.st_mtim.tv_nsec * 1e-9);
}

class DirectoryWalk {
 public:
  DirectoryWalk(Date modifiedAfter, std::vector<TranscriptFile>& files)
      : modifiedAfter_(modifiedAfter), files_(files) {}

  // Takes ownership of `directoryFd`.
  void visit(int directoryFd, const std::string& directoryPath) {
    DIR* directory = ::fdopendir(directoryFd);
    if (!directory) {
      ::close(directoryFd);
      return;
    }
    for (const auto& [name, type] : visibleEntries(directory))
      visitEntry(::dirfd(directory), directoryPath, name, type);
    ::closedir(directory);
  }

 private:
  static std::vector<std::pair<std::string, unsigned char>> visibleEntries(DIR* directory) {
    std::vector<std::pair<std::string, unsigned char>> entries;
    while (const dirent* entry = ::readdir(directory))
      if (entry->d_name[0] != '.') entries.emplace_back(entry->d_name, entry->d_type);
    return entries;
  }

  void visitEntry(int directoryFd, const std::string& directoryPath, const std::string& name, unsigned char type) {
    if (type == DT_DIR) return visitFolder(directoryFd, directoryPath, name);
    if (type == DT_LNK || (type != DT_UNKNOWN && !isTranscriptName(name))) return;
    // Looked at again: the entry's type may be unknown or already out of date.
    struct stat status {};
    if (::fstatat(directoryFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (S_ISDIR(status.st_mode)) return visitFolder(directoryFd, directoryPath, name);
    if (S_ISLNK(status.st_mode) || !isTranscriptName(name)) return;
    Date modified = modificationDate(status);
    if (modified < modifiedAfter_) return;
    files_.push_back({directoryPath + '/' + name, modified, static_cast<std::uint64_t>(status.st_size),
                      static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                      S_ISREG(status.st_mode)});
  }

  void visitFolder(int directoryFd, const std::string& directoryPath, const std::string& name) {
    int child = ::openat(directoryFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child >= 0) visit(child, directoryPath + '/' + name);
  }

  Date modifiedAfter_;
  std::vector<TranscriptFile>& files_;
};

ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
  ssize_t count = 0;
  do count = ::pread(fd, into, size, static_cast<off_t>(offset));
  while (count < 0 && errno == EINTR);
  return count;
}

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() { ::close(fd_); }  // a close error loses nothing of a read-only file
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  int fd_;
};

}  // namespace

std::vector<TranscriptFile> listTranscriptFiles(const std::filesystem::path& root, Date modifiedAfter) {
  std::vector<TranscriptFile> files;
  int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) return files;
  std::string rootPath = root.string();
  while (!rootPath.empty() && rootPath.back() == '/') rootPath.pop_back();
  DirectoryWalk(modifiedAfter, files).visit(rootFd, rootPath);
  return files;
}

TranscriptReader::TranscriptReader(TranscriptReadLimits limits) : limits_(limits) {
  limits_.chunkBytes = std::max<std::size_t>(limits_.chunkBytes, 1);
}

void TranscriptReader::reserveAfter(std::size_t pending) {
  std::size_t minimumRoom = std::max<std::size_t>(limits_.chunkBytes / 2, 1);
  if (buffer_ && capacity_ - pending >= minimumRoom) return;
  // Doubling keeps a very long line from being copied over and over; the
  // kept bytes never exceed the line limit, so neither need the buffer.
  std::size_t capacity = std::max({limits_.chunkBytes, capacity_ * 2, pending + limits_.chunkBytes});
  capacity = std::min(capacity, std::max(limits_.maxLineBytes, pending) + limits_.chunkBytes);
  auto larger = std::make_unique_for_overwrite<char[]>(capacity + kTranscriptLinePadding);
  if (pending > 0) std::memcpy(larger.get(), buffer_.get(), pending);
  std::memset(larger.get() + capacity, 0, kTranscriptLinePadding);
  buffer_ = std::move(larger);
  capacity_ = capacity;
}

TranscriptReader::Outcome TranscriptReader::readCompleteLines(const TranscriptFile& file, TranscriptPosition from,
                                                              const LinesHandler& onLines) {
  // Opening a device can act on it.
  if (!file.regular) return {from, FileError::notRegularFile};
  // Listed as a regular file, it may since have been replaced by a FIFO.
  int fd = ::open(file.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {from, lastError()};
  FileCloser closer(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return {from, lastError()};
  if (!S_ISREG(status.st_mode)) return {from, FileError::notRegularFile};
  if (!file.isSameFile(status.st_dev, status.st_ino)) return {from, {}};

  TranscriptPosition position = from;
  std::error_code error;
  bool passingOverLongLine = from.inLongLine;
  std::uint64_t nextRead = passingOverLongLine ? from.readEnd : from.lineStart;
  position.readEnd = nextRead;
  ::posix_fadvise(fd, static_cast<off_t>(nextRead), 0, POSIX_FADV_SEQUENTIAL);
  std::size_t pending = 0;  // the unfinished line at the start of the buffer
  for (;;) {
    reserveAfter(pending);
    char* buffer = buffer_.get();
    ssize_t count = readAt(fd, buffer + pending, std::min(limits_.chunkBytes, capacity_ - pending), nextRead);
    if (count < 0) error = lastError();
    if (count <= 0) break;
    bytesRead_ += static_cast<std::uint64_t>(count);
    std::uint64_t bufferOffset = nextRead - pending;  // file offset of buffer[0]
    nextRead += static_cast<std::uint64_t>(count);
    position.readEnd = nextRead;
    const char* begin = buffer;
    const char* end = buffer + pending + count;
    if (passingOverLongLine) {
      auto* lineFeed = static_cast<const char*>(std::memchr(begin, '\n', end - begin));
      if (!lineFeed) continue;
      begin = lineFeed + 1;
      position.lineStart = bufferOffset + (begin - buffer);
      passingOverLongLine = false;
    }
    // The pending bytes hold no line feed: only what follows them is searched.
    const char* searchFrom = std::max<const char*>(begin, buffer + pending);
    if (auto* lastLineFeed = static_cast<const char*>(memrchr(searchFrom, '\n', end - searchFrom))) {
      const char* linesEnd = lastLineFeed + 1;
      onLines(std::string_view(begin, linesEnd - begin));
      position.lineStart = bufferOffset + (linesEnd - buffer);
      begin = linesEnd;
    }
    pending = end - begin;
    if (pending > limits_.maxLineBytes) {
      pending = 0;
      passingOverLongLine = true;
    } else if (begin != buffer) {
      std::memmove(buffer, begin, pending);
    }
  }
  position.inLongLine = passingOverLongLine;
  return {position, error};
}

}  // namespace ovel
