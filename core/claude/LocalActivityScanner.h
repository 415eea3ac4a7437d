// Reads Claude Code's transcripts incrementally (read-only) and keeps the
// assistant turns of a look-back period as activity events, one per turn.
//
// Thread safety: scan() may be called from any thread; scans of one scanner
// never overlap (one lock is held for the whole scan). A scan with much to
// read, such as the first, reads files side by side on a few threads of its
// own and takes what they read in the order the files were listed, so that
// it yields what one thread would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "core/claude/TranscriptFiles.h"
#include "core/engine/Activity.h"
#include "core/engine/ActivitySummary.h"
#include "core/engine/EngineConstants.h"
#include "core/support/Time.h"

namespace ovel {

class TranscriptTurnTable;

class LocalActivityScanner final {
 public:
  // $CLAUDE_CONFIG_DIR/projects (tilde-expanded; an empty value counts as
  // unset), else ~/.claude/projects. Worked out on every call.
  static std::filesystem::path defaultRoot();

  // `lookback` in seconds; the application keeps seven days. The limits are
  // for tests.
  explicit LocalActivityScanner(std::filesystem::path root, double lookback = kActivityLookBack,
                                TranscriptReadLimits limits = {});
  ~LocalActivityScanner();
  LocalActivityScanner(const LocalActivityScanner&) = delete;
  LocalActivityScanner& operator=(const LocalActivityScanner&) = delete;

  const std::filesystem::path& root() const { return root_; }
  double lookback() const { return lookback_; }

  // Reads what was appended since the last scan and returns (as a copy, for
  // tests) every turn known so far that is not older than now - lookback,
  // oldest first. Never throws:
  // whatever cannot be read is skipped. A file is read from where the last
  // scan stopped (from its start when it shrank or another file took its
  // name), complete lines only; a turn logged more than once (same message
  // and request id) keeps the copy with the largest token total, the first
  // one read on a tie (in the order the walk lists files). A file of the
  // size and date it had when last read is not opened, even with an
  // unfinished last line; a line longer than the limit is read once and
  // passed over, never held whole. Once `stopRequested` (asked on the
  // calling thread before each file that needs reading) says so, no further
  // file is started; what was not read waits for the next scan.
  std::vector<ActivityEvent> scan(Date now, const std::function<bool()>& stopRequested = {});

  // A scan as the application takes it: the turns as a summary, which is
  // the very one of the last scan when nothing changed (it shares its
  // events), and what the scan passed over: one text per failure it
  // swallowed (a file it could not read or finish, "path: reason", told
  // again only once it has read or failed otherwise; or the whole scan), for
  // the caller to log, and the folders passed over for lying too deep, each
  // told once while it stays, for the caller to log at debug level.
  struct Report {
    ActivitySummary summary;
    std::vector<std::string> failures;
    std::vector<std::string> foldersTooDeep;
  };
  Report scanReporting(Date now, const std::function<bool()>& stopRequested = {});

  // What the scans so far have read, for tests and benchmarks.
  struct ReadFigures {
    std::uint64_t bytesRead = 0;
    std::size_t largestBuffer = 0;  // the most memory one reader held
    // Folders whose entries were read on a local filesystem, not remembered.
    std::uint64_t foldersRead = 0;
  };
  ReadFigures readFigures();

 private:
  struct Cursor {
    TranscriptPosition position;
    Date modified = Date::min();
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::error_code lastError;  // of the last read, told when it came

    // Where to read the file from, or nothing while it is as it was when last read.
    std::optional<TranscriptPosition> positionToRead(const TranscriptStatus& status) const;
  };
  // Found by the names a walk hands on, without building a string.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  template <typename Value>
  using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;
  using FolderCursors = TextMap<Cursor>;  // by file name
  struct ScanPass;
  struct PendingRead;
  class ReadQueue;

  // The folders of `folders` that the last scan did not pass over.
  std::vector<std::string> newlyTooDeep(std::vector<std::string> folders);
  // The files to read: those that are new or changed since the last scan.
  std::vector<PendingRead> changedFiles(Date cutoff, std::vector<std::string>& foldersTooDeep);
  void readFiles(std::vector<PendingRead>& reads, Date cutoff, const std::function<bool()>& stopRequested,
                 std::vector<std::string>& failures);
  void takeRead(PendingRead& read, std::vector<std::string>& failures);

  const std::filesystem::path root_;
  const double lookback_;
  const TranscriptReadLimits limits_;

  std::mutex lock_;
  TextMap<FolderCursors> cursors_;  // by folder path
  TranscriptFolderCache folders_;
  std::unique_ptr<TranscriptTurnTable> turns_;
  std::vector<std::string> foldersTooDeep_;  // as of the last scan, sorted
  ReadFigures figures_;
};

}  // namespace ovel
