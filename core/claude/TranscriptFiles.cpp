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

// Opens the folder at `relative` below `rootFd` one name at a time, none of
// them followed if it is a link, holding at most two descriptors meanwhile.
// The root itself is `rootFd`, not a descriptor of its own.
int openFolderBelow(int rootFd, const std::vector<std::string>& relative) {
  int folder = rootFd;
  for (const std::string& name : relative) {
    int child = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder != rootFd) ::close(folder);
    if (child < 0) return -1;
    folder = child;
  }
  return folder;
}

// The names and types in a folder, hidden ones left out. Read straight from
// the descriptor: a rescan lists every folder, and a DIR stream would cost
// two more calls and an allocation each time.
std::vector<std::pair<std::string, unsigned char>> visibleEntries(int folderFd) {
  std::vector<std::pair<std::string, unsigned char>> entries;
  alignas(struct dirent64) char buffer[16 << 10];
  for (;;) {
    ssize_t count = ::getdents64(folderFd, buffer, sizeof buffer);
    if (count <= 0) break;
    for (ssize_t offset = 0; offset < count;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      if (entry->d_name[0] != '.') entries.emplace_back(entry->d_name, entry->d_type);
    }
  }
  return entries;
}

// Walks the tree a folder at a time, with only the folder being read open:
// a folder waiting its turn is held as its chain of names, so neither the
// stack nor the open descriptors grow with the depth.
class DirectoryWalk {
 public:
  DirectoryWalk(int rootFd, std::string rootPath, Date modifiedAfter, TranscriptListing& listing)
      : rootFd_(rootFd), rootPath_(std::move(rootPath)), modifiedAfter_(modifiedAfter), listing_(listing) {}

  void run() {
    pending_.push_back({});
    while (!pending_.empty()) {
      std::vector<std::string> relative = std::move(pending_.back());
      pending_.pop_back();
      visit(relative);
    }
  }

 private:
  void visit(const std::vector<std::string>& relative) {
    int folderFd = openFolderBelow(rootFd_, relative);
    if (folderFd < 0) return;
    std::string folderPath = rootPath_;
    for (const std::string& name : relative) folderPath.append("/").append(name);
    std::vector<std::string> subfolders;
    for (const auto& [name, type] : visibleEntries(folderFd))
      if (isFolder(folderFd, folderPath, name, type)) subfolders.push_back(name);
    if (folderFd != rootFd_) ::close(folderFd);

    // Pushed last first, so that folders are walked in the order listed.
    for (auto name = subfolders.rbegin(); name != subfolders.rend(); ++name) {
      if (relative.size() >= kMaxTranscriptFolderDepth) {
        listing_.foldersTooDeep.push_back(folderPath + '/' + *name);
        continue;
      }
      std::vector<std::string> child = relative;
      child.push_back(*name);
      pending_.push_back(std::move(child));
    }
  }

  // Lists the entry when it is a transcript; true when it is a folder.
  bool isFolder(int directoryFd, const std::string& directoryPath, const std::string& name, unsigned char type) {
    if (type == DT_DIR) return true;
    if (type == DT_LNK || (type != DT_UNKNOWN && !isTranscriptName(name))) return false;
    // Looked at again: the entry's type may be unknown or already out of date.
    struct stat status {};
    if (::fstatat(directoryFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISDIR(status.st_mode)) return true;
    if (S_ISLNK(status.st_mode) || !isTranscriptName(name)) return false;
    Date modified = modificationDate(status);
    if (modified < modifiedAfter_) return false;
    listing_.files.push_back({directoryPath + '/' + name, modified, static_cast<std::uint64_t>(status.st_size),
                              static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                              S_ISREG(status.st_mode)});
    return false;
  }

  const int rootFd_;
  const std::string rootPath_;
  const Date modifiedAfter_;
  TranscriptListing& listing_;
  std::vector<std::vector<std::string>> pending_;  // folders still to read, the next one last
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

TranscriptListing listTranscriptFiles(const std::filesystem::path& root, Date modifiedAfter) {
  TranscriptListing listing;
  int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) return listing;
  FileCloser closer(rootFd);
  std::string rootPath = root.string();
  while (!rootPath.empty() && rootPath.back() == '/') rootPath.pop_back();
  DirectoryWalk(rootFd, std::move(rootPath), modifiedAfter, listing).run();
  return listing;
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
