// Finding Claude Code's transcript files and reading what was appended to
// them, line-complete. Private to the transcript scanner; plain POSIX calls,
// so nothing here throws but allocation failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/support/Time.h"

namespace ovel {

// What one look at a transcript tells of it.
struct TranscriptStatus {
  Date modified;
  std::uint64_t size = 0;
  // Which file it is: one renamed over the path is another.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  // False for a FIFO, a socket or a device of a transcript's name, which is
  // listed only so that the scanner can say it passed over it.
  bool regular = true;

  bool isSameFile(std::uint64_t otherDevice, std::uint64_t otherInode) const {
    return device == otherDevice && inode == otherInode;
  }
};

struct TranscriptFile : TranscriptStatus {
  std::string path;
};

// A transcript as the walk meets it, valid only while the visitor runs: the
// views point into the walk's own buffers.
struct TranscriptEntry {
  std::string_view folderPath;  // the root's path and the folders below it, joined by '/'
  std::string_view name;
  TranscriptStatus status;

  std::string path() const;
};

// Folders deeper than this below the root are not walked: real layouts are a
// few levels deep, and a deeper chain is a mistake or a trap.
inline constexpr std::size_t kMaxTranscriptFolderDepth = 32;

struct TranscriptListing {
  std::vector<TranscriptFile> files;
  // The folders passed over for their depth (their contents unlooked at).
  std::vector<std::string> foldersTooDeep;
};

// Every file named *.jsonl under root that is not a folder, at most
// kMaxTranscriptFolderDepth folders down, modified at or after
// `modifiedAfter`, in the walk's order. Names starting with a dot are
// skipped (folders with everything in them), symbolic links are neither
// listed nor followed, and whatever cannot be opened or examined is passed
// over. A missing root gives an empty list. The walk holds a few
// descriptors at a time, whatever the depth.
TranscriptListing listTranscriptFiles(const std::filesystem::path& root, Date modifiedAfter);

// What walks remember of the folders they read, so that a folder can be
// listed again without reading it: on a local filesystem, a folder whose
// identity, size, link count and times are as they were, and that had been
// still for a moment when it was read, holds the same entries. For one walk
// at a time.
class TranscriptFolderCache {
 public:
  // `settleSeconds`: how long a folder must have been still when it was read
  // for its listing to be trusted, longer than the clock's tick.
  explicit TranscriptFolderCache(double settleSeconds);
  ~TranscriptFolderCache();
  TranscriptFolderCache(const TranscriptFolderCache&) = delete;
  TranscriptFolderCache& operator=(const TranscriptFolderCache&) = delete;

  struct Folders;  // private to the walk
  Folders& folders() { return *folders_; }
  // How many times a folder's entries were read rather than remembered.
  std::uint64_t foldersRead() const;

 private:
  std::unique_ptr<Folders> folders_;
};

// The same walk handing each transcript to `visit` as it is met, at the cost
// of one stat and no allocation per file; gives the folders passed over for
// their depth. With a cache, an unchanged folder costs a stat instead of
// being read.
using TranscriptVisitor = std::function<void(const TranscriptEntry&)>;
std::vector<std::string> walkTranscriptFiles(const std::filesystem::path& root, Date modifiedAfter,
                                             const TranscriptVisitor& visit, TranscriptFolderCache* cache = nullptr);

struct TranscriptReadLimits {
  // Bytes asked for by each read: small enough that what the kernel copies
  // in is still in the processor's cache when the search goes over it.
  std::size_t chunkBytes = 256 << 10;
  // A longer line is passed over unread once its line feed arrives, so that
  // a damaged file cannot make a scan hold it all in memory.
  std::size_t maxLineBytes = 64 << 20;
  // A scan with at least this much to read shares its files among up to
  // `readers` threads, each holding a buffer and a parser of its own.
  std::uint64_t parallelBytes = 32 << 20;
  std::size_t readers = 4;
  // How long a folder must have been still when it was read for its listing
  // to be trusted at the next walk (see TranscriptFolderCache).
  double folderSettleSeconds = 2;
};

// How far a file has been read. Between the two offsets lies an unfinished
// last line, waiting for its line feed.
struct TranscriptPosition {
  std::uint64_t lineStart = 0;  // just after the last line feed handled, or 0
  std::uint64_t readEnd = 0;    // the end of what was read
  // The unfinished line is longer than the limit: the next read starts at
  // readEnd and only looks for its end, so it is never read twice.
  bool inLongLine = false;

  bool operator==(const TranscriptPosition&) const = default;
};

// Reads files from a position to their end, handing on only complete lines.
// One reader serves every file of a scan and keeps its buffer between them;
// the buffer never grows past the line limit and one chunk.
class TranscriptReader {
 public:
  // Receives a run of complete lines, each ended by a line feed, followed in
  // memory by at least kTranscriptLinePadding readable bytes.
  using LinesHandler = std::function<void(std::string_view)>;

  explicit TranscriptReader(TranscriptReadLimits limits = {});

  struct Outcome {
    TranscriptPosition reached;
    // Why the file could not be read to its end: `reached` is as far as it got.
    std::error_code error;
  };

  // Reads the file on from `from` (the unfinished line again, unless it is a
  // long one) to its real end. A file that is not a regular one
  // (FileError::notRegularFile, never opened) or cannot be opened gives
  // `from` and the error; so does a file that is no longer the one listed,
  // without an error, since the next listing has the new one.
  Outcome readCompleteLines(const TranscriptFile& file, TranscriptPosition from, const LinesHandler& onLines);

  // Every byte read from files so far.
  std::uint64_t bytesRead() const { return bytesRead_; }
  // The largest buffer held so far, padding aside.
  std::size_t largestBuffer() const { return capacity_; }

 private:
  // Makes room for `pending` kept bytes plus at least half a chunk.
  void reserveAfter(std::size_t pending);

  TranscriptReadLimits limits_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;  // not counting the padding; it only grows
  std::uint64_t bytesRead_ = 0;
};

}  // namespace ovel
