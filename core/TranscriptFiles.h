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
#include <vector>

#include "core/Time.h"

namespace ovel {

struct TranscriptFile {
  std::string path;
  Date modified;
  std::uint64_t size = 0;
};

// Every regular file named *.jsonl under root, at any depth, modified at or
// after `modifiedAfter`, in the walk's order. Names starting with a dot are
// skipped (folders with everything in them), symbolic links are neither
// listed nor followed, and whatever cannot be opened or examined is passed
// over. A missing root gives an empty list.
std::vector<TranscriptFile> listTranscriptFiles(const std::filesystem::path& root, Date modifiedAfter);

struct TranscriptReadLimits {
  // Bytes asked for by each read.
  std::size_t chunkBytes = 4 << 20;
  // A longer line is passed over unread once its line feed arrives, so that
  // a damaged file cannot make a scan hold it all in memory.
  std::size_t maxLineBytes = 64 << 20;
};

// Reads files from an offset to their end, handing on only complete lines.
// One reader serves every file of a scan and keeps its buffer between them.
class TranscriptReader {
 public:
  // Receives a run of complete lines, each ended by a line feed, followed in
  // memory by at least kTranscriptLinePadding readable bytes.
  using LinesHandler = std::function<void(std::string_view)>;

  explicit TranscriptReader(TranscriptReadLimits limits = {});

  // Reads `path` from byte `from` to the real end of the file and returns the
  // offset just after the last line feed handled. Bytes of an unfinished last
  // line are left for a later read. A file that cannot be opened, or a read
  // that fails at once, gives `from`.
  std::uint64_t readCompleteLines(const std::string& path, std::uint64_t from, const LinesHandler& onLines);

 private:
  // Makes room for `pending` kept bytes plus at least half a chunk.
  void reserveAfter(std::size_t pending);

  TranscriptReadLimits limits_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;  // not counting the padding
};

}  // namespace ovel
