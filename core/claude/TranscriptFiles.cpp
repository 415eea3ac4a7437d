#include "core/claude/TranscriptFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <utility>

#include "core/claude/TranscriptLine.h"
#include "core/support/FileIO.h"

namespace ovel {
namespace {

constexpr std::string_view kTranscriptExtension = ".jsonl";

bool isTranscriptName(std::string_view name) {
  return name.size() > kTranscriptExtension.size() && name.ends_with(kTranscriptExtension);
}

Date dateOf(const struct timespec& time) {
  return dateFromSeconds1970(static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9);
}

// Closes a descriptor when it goes, unless it is -1.
class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() { close(); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

  void close() {
    if (fd_ >= 0) ::close(fd_);  // a close error loses nothing of a read-only file or folder
    fd_ = -1;
  }

 private:
  int fd_;
};

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

// The entries of a folder that a walk looks at: folders, transcripts and
// entries of unknown type, hidden ones left out. Read straight from the
// descriptor: a DIR stream would cost two more calls and an allocation.
class FolderListing {
 public:
  struct Entry {
    std::size_t offset = 0;  // of the name in names_, which a NUL ends
    std::size_t size = 0;
    unsigned char type = DT_UNKNOWN;
  };

  void read(int folderFd) {
    names_.clear();
    entries_.clear();
    alignas(struct dirent64) char buffer[16 << 10];
    for (;;) {
      ssize_t count = ::getdents64(folderFd, buffer, sizeof buffer);
      if (count <= 0) break;
      for (ssize_t offset = 0; offset < count;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
        offset += entry->d_reclen;
        std::string_view name(entry->d_name);
        unsigned char type = entry->d_type;
        if (name[0] == '.' || type == DT_LNK) continue;
        if (type != DT_DIR && type != DT_UNKNOWN && !isTranscriptName(name)) continue;
        entries_.push_back({names_.size(), name.size(), type});
        names_.append(name).push_back('\0');
      }
    }
  }
  const std::vector<Entry>& entries() const { return entries_; }
  std::string_view nameOf(const Entry& entry) const { return {names_.data() + entry.offset, entry.size}; }

 private:
  std::string names_;
  std::vector<Entry> entries_;
};

// What changes whenever a folder's entries do.
struct FolderStamp {
  std::uint64_t device = 0, inode = 0, size = 0, links = 0;
  std::int64_t modified = 0, modifiedNanoseconds = 0, changed = 0, changedNanoseconds = 0;

  static FolderStamp of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint64_t>(status.st_size),
            static_cast<std::uint64_t>(status.st_nlink),
            status.st_mtim.tv_sec,
            status.st_mtim.tv_nsec,
            status.st_ctim.tv_sec,
            status.st_ctim.tv_nsec};
  }
  bool operator==(const FolderStamp&) const = default;
};

// Filesystems that stamp a folder from this machine's clock whenever an
// entry comes or goes. Elsewhere (network, FUSE) every folder is read again.
bool stampsFoldersLocally(int folderFd) {
  constexpr unsigned long kLocal[] = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // XFS
      0x9123683E,  // Btrfs
      0x01021994,  // tmpfs
      0xF2F52010,  // F2FS
      0x794C7630,  // overlayfs
      0x2FC12FC1,  // ZFS
      0xCA451A4E,  // bcachefs
  };
  struct statfs filesystem {};
  if (::fstatfs(folderFd, &filesystem) != 0) return false;
  return std::find(std::begin(kLocal), std::end(kLocal), static_cast<unsigned long>(filesystem.f_type)) !=
         std::end(kLocal);
}

}  // namespace

struct TranscriptFolderCache::Folders {
  struct Remembered {
    FolderStamp stamp;
    bool settled = false;    // the stamp was old enough when the listing was read
    std::uint64_t walk = 0;  // the last that met the folder
    FolderListing listing;
  };
  struct ByIdentity {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& id) const {
      return std::hash<std::uint64_t>{}(id.first * 0x9E3779B97F4A7C15u ^ id.second);
    }
  };
  std::unordered_map<std::pair<std::uint64_t, std::uint64_t>, Remembered, ByIdentity> byIdentity;
  // A listing is trusted again only if the folder had not changed for this
  // long when it was read: a change within the same tick of the clock could
  // leave the stamp as it was.
  double settleSeconds = 0;
  std::uint64_t walks = 0;
  std::uint64_t reads = 0;
  std::optional<std::uint64_t> rootDevice;  // whose filesystem was looked at
  bool rootTrusted = false;
};

TranscriptFolderCache::TranscriptFolderCache(double settleSeconds) : folders_(std::make_unique<Folders>()) {
  folders_->settleSeconds = settleSeconds;
}
TranscriptFolderCache::~TranscriptFolderCache() = default;
std::uint64_t TranscriptFolderCache::foldersRead() const { return folders_->reads; }

namespace {

// Walks the tree a folder at a time, with only the folder being read open:
// a folder waiting its turn is held as its chain of names, so neither the
// stack nor the open descriptors grow with the depth.
class DirectoryWalk {
 public:
  DirectoryWalk(int rootFd, std::string rootPath, Date modifiedAfter, const TranscriptVisitor& visit)
      : rootFd_(rootFd), rootPath_(std::move(rootPath)), modifiedAfter_(modifiedAfter), visit_(visit) {}

  // Lists unchanged folders from `cache` instead of reading them again.
  void remember(TranscriptFolderCache::Folders& cache) {
    if (::fstat(rootFd_, &rootStatus_) != 0) return;
    auto device = static_cast<std::uint64_t>(rootStatus_.st_dev);
    if (cache.rootDevice != device) {
      cache.rootTrusted = stampsFoldersLocally(rootFd_);
      cache.rootDevice = device;
    }
    if (cache.rootTrusted) cache_ = &cache;
  }

  std::vector<std::string> run() {
    if (cache_) ++cache_->walks;
    pending_.push_back({});
    while (!pending_.empty()) {
      std::vector<std::string> relative = std::move(pending_.back());
      pending_.pop_back();
      visit(relative);
    }
    // Folders gone from the tree are forgotten.
    if (cache_)
      std::erase_if(cache_->byIdentity, [&](const auto& folder) { return folder.second.walk != cache_->walks; });
    return std::move(foldersTooDeep_);
  }

 private:
  void visit(const std::vector<std::string>& relative) {
    int folderFd = openFolderBelow(rootFd_, relative);
    if (folderFd < 0) return;
    FileCloser closer(folderFd == rootFd_ ? -1 : folderFd);
    folderPath_ = rootPath_;
    for (const std::string& name : relative) folderPath_.append("/").append(name);
    std::vector<std::string> subfolders;
    const FolderListing& listing = listingOf(folderFd);
    for (const FolderListing::Entry& entry : listing.entries()) {
      std::string_view name = listing.nameOf(entry);
      if (entry.type == DT_DIR || lookAt(folderFd, name)) subfolders.emplace_back(name);
    }
    closer.close();

    // Pushed last first, so that folders are walked in the order listed.
    for (auto name = subfolders.rbegin(); name != subfolders.rend(); ++name) {
      if (relative.size() >= kMaxTranscriptFolderDepth) {
        foldersTooDeep_.push_back(folderPath_ + '/' + *name);
        continue;
      }
      std::vector<std::string> child = relative;
      child.push_back(*name);
      pending_.push_back(std::move(child));
    }
  }

  // The folder's entries as remembered while it has not changed since, else
  // as read now.
  const FolderListing& listingOf(int folderFd) {
    struct stat status {};
    if (!cache_ || (folderFd != rootFd_ && ::fstat(folderFd, &status) != 0)) return readInto(scratch_, folderFd);
    if (folderFd == rootFd_) status = rootStatus_;
    // Another filesystem mounted below the root is not trusted unseen.
    if (status.st_dev != rootStatus_.st_dev) return readInto(scratch_, folderFd);
    FolderStamp stamp = FolderStamp::of(status);
    auto& remembered = cache_->byIdentity[{stamp.device, stamp.inode}];
    remembered.walk = cache_->walks;
    if (remembered.settled && remembered.stamp == stamp) return remembered.listing;
    remembered.stamp = stamp;
    remembered.settled = dateOf(status.st_ctim) < addSeconds(systemNow(), -cache_->settleSeconds);
    ++cache_->reads;
    return readInto(remembered.listing, folderFd);
  }

  static const FolderListing& readInto(FolderListing& listing, int folderFd) {
    listing.read(folderFd);
    return listing;
  }

  // Hands on the entry when it is a transcript; true when it is a folder.
  bool lookAt(int folderFd, std::string_view name) {
    // Looked at again: the entry's type may be unknown or already out of date.
    struct stat status {};
    if (::fstatat(folderFd, name.data(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISDIR(status.st_mode)) return true;
    if (S_ISLNK(status.st_mode) || !isTranscriptName(name)) return false;
    Date modified = dateOf(status.st_mtim);
    if (modified < modifiedAfter_) return false;
    visit_({folderPath_,
            name,
            {modified, static_cast<std::uint64_t>(status.st_size), static_cast<std::uint64_t>(status.st_dev),
             static_cast<std::uint64_t>(status.st_ino), S_ISREG(status.st_mode)}});
    return false;
  }

  const int rootFd_;
  const std::string rootPath_;
  const Date modifiedAfter_;
  const TranscriptVisitor& visit_;
  TranscriptFolderCache::Folders* cache_ = nullptr;
  struct stat rootStatus_ {};
  FolderListing scratch_;                          // for folders not remembered
  std::string folderPath_;                         // of the folder being read
  std::vector<std::vector<std::string>> pending_;  // folders still to read, the next one last
  std::vector<std::string> foldersTooDeep_;
};

ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
  ssize_t count = 0;
  do count = ::pread(fd, into, size, static_cast<off_t>(offset));
  while (count < 0 && errno == EINTR);
  return count;
}

}  // namespace

std::string TranscriptEntry::path() const {
  std::string path;
  path.reserve(folderPath.size() + 1 + name.size());
  return path.append(folderPath).append("/").append(name);
}

std::vector<std::string> walkTranscriptFiles(const std::filesystem::path& root, Date modifiedAfter,
                                             const TranscriptVisitor& visit, TranscriptFolderCache* cache) {
  int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) return {};
  FileCloser closer(rootFd);
  std::string rootPath = root.string();
  while (!rootPath.empty() && rootPath.back() == '/') rootPath.pop_back();
  DirectoryWalk walk(rootFd, std::move(rootPath), modifiedAfter, visit);
  if (cache) walk.remember(cache->folders());
  return walk.run();
}

TranscriptListing listTranscriptFiles(const std::filesystem::path& root, Date modifiedAfter) {
  TranscriptListing listing;
  listing.foldersTooDeep = walkTranscriptFiles(root, modifiedAfter, [&](const TranscriptEntry& entry) {
    listing.files.push_back({entry.status, entry.path()});
  });
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
