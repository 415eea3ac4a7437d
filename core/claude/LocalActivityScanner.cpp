#include "core/claude/LocalActivityScanner.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <iterator>
#include <utility>

#include "core/claude/ClaudeCodePaths.h"
#include "core/claude/TranscriptLine.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

// Turns with neither a message id nor a request id get a key of their own
// under this prefix, so they are never merged with another turn.
constexpr std::string_view kKeylessPrefix{"\0keyless:", 9};

void appendNumber(std::string& text, std::uint64_t number) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  text.append(digits, end);
}

}  // namespace

// The turns of the look-back period under their dedupe keys, with an index
// by time. The index is brought up to date at the end of a scan rather than
// rebuilt: a rescan usually adds a few turns, newer than those held.
class LocalActivityScanner::TurnTable {
 public:
  // Stores the turn, unless its key already holds a copy with at least as
  // large a token total.
  void ingest(const TranscriptTurn& turn);
  // Forgets the turns before `cutoff` and returns the others, oldest first.
  std::vector<ActivityEvent> keptSince(Date cutoff);

 private:
  struct Stored {
    ActivityEvent event;
    bool indexed = false;
  };
  // Heterogeneous lookup: a key built in the reused buffer finds its entry
  // without a copy.
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };
  using Table = std::unordered_map<std::string, Stored, KeyHash, std::equal_to<>>;
  struct Timed {
    Date timestamp;
    Table::value_type* entry;  // nodes of an unordered_map never move
  };

  void buildKey(const TranscriptTurn& turn);
  void updateIndex();

  Table table_;
  std::vector<Timed> byTime_;                  // the indexed entries, oldest first
  std::vector<Table::value_type*> unindexed_;  // stored since the last update
  bool indexIsStale_ = false;                  // an indexed entry changed its timestamp
  std::string key_;
  std::uint64_t keylessTurns_ = 0;
};

void LocalActivityScanner::TurnTable::buildKey(const TranscriptTurn& turn) {
  key_.clear();
  if (!turn.messageId && !turn.requestId) {
    key_ = kKeylessPrefix;
    appendNumber(key_, ++keylessTurns_);
    return;
  }
  if (turn.messageId) key_ += *turn.messageId;
  if (turn.messageId && turn.requestId) key_ += ':';
  if (turn.requestId) key_ += *turn.requestId;
}

void LocalActivityScanner::TurnTable::ingest(const TranscriptTurn& turn) {
  buildKey(turn);
  auto event = [&turn] {
    return ActivityEvent{turn.timestamp, std::string(turn.model), std::string(turn.cwd), turn.tokens};
  };
  auto found = table_.find(std::string_view(key_));
  if (found == table_.end()) {
    auto inserted = table_.emplace(key_, Stored{event()}).first;
    unindexed_.push_back(&*inserted);
    return;
  }
  Stored& stored = found->second;
  if (stored.event.tokens.total() >= turn.tokens.total()) return;
  if (stored.indexed && stored.event.timestamp != turn.timestamp) indexIsStale_ = true;
  stored.event = event();
}

void LocalActivityScanner::TurnTable::updateIndex() {
  if (indexIsStale_) {
    byTime_.clear();
    unindexed_.clear();
    for (auto& entry : table_) unindexed_.push_back(&entry);
    indexIsStale_ = false;
  }
  auto earlier = [](const Timed& a, const Timed& b) { return a.timestamp < b.timestamp; };
  auto indexedCount = static_cast<std::ptrdiff_t>(byTime_.size());
  for (auto* entry : unindexed_) {
    entry->second.indexed = true;
    byTime_.push_back({entry->second.event.timestamp, entry});
  }
  unindexed_.clear();
  std::sort(byTime_.begin() + indexedCount, byTime_.end(), earlier);
  std::inplace_merge(byTime_.begin(), byTime_.begin() + indexedCount, byTime_.end(), earlier);
}

std::vector<ActivityEvent> LocalActivityScanner::TurnTable::keptSince(Date cutoff) {
  updateIndex();
  auto firstKept = std::partition_point(byTime_.begin(), byTime_.end(),
                                        [cutoff](const Timed& timed) { return timed.timestamp < cutoff; });
  for (auto old = byTime_.begin(); old != firstKept; ++old) table_.erase(table_.find(old->entry->first));
  byTime_.erase(byTime_.begin(), firstKept);
  std::vector<ActivityEvent> events;
  events.reserve(byTime_.size());
  for (const Timed& timed : byTime_) events.push_back(timed.entry->second.event);
  return events;
}

// What one scan needs while it reads: a buffer and a JSON parser, both
// released when the scan ends.
struct LocalActivityScanner::ScanPass {
  explicit ScanPass(TranscriptReadLimits limits) : reader(limits) {}
  TranscriptReader reader;
  TranscriptLineParser parser;
};

fs::path LocalActivityScanner::defaultRoot() { return claudeConfigDirectory() / "projects"; }

LocalActivityScanner::LocalActivityScanner(fs::path root, double lookback, TranscriptReadLimits limits)
    : root_(std::move(root)), lookback_(lookback), limits_(limits), turns_(std::make_unique<TurnTable>()) {}

LocalActivityScanner::~LocalActivityScanner() = default;

std::vector<ActivityEvent> LocalActivityScanner::scan(Date now, const std::function<bool()>& stopRequested) {
  return scanReporting(now, stopRequested).events;
}

LocalActivityScanner::Report LocalActivityScanner::scanReporting(Date now, const std::function<bool()>& stopRequested) {
  std::lock_guard guard(lock_);
  Report report;
  try {
    Date cutoff = addSeconds(now, -lookback_);
    ScanPass pass(limits_);
    TranscriptListing listing = listTranscriptFiles(root_, cutoff);
    report.foldersTooDeep = newlyTooDeep(std::move(listing.foldersTooDeep));
    for (const TranscriptFile& file : listing.files) {
      if (stopRequested && stopRequested()) break;
      try {
        readAppended(file, cutoff, pass, report.failures);
      } catch (const std::exception& error) {
        // Out of memory on a damaged file: it keeps its old cursor.
        report.failures.push_back(file.path + ": " + error.what());
      }
    }
    figures_.bytesRead += pass.reader.bytesRead();
    figures_.largestBuffer = std::max(figures_.largestBuffer, pass.reader.largestBuffer());
    report.events = turns_->keptSince(cutoff);
  } catch (const std::exception& error) {
    report.events.clear();
    try {
      report.failures.push_back(std::string("the scan stopped: ") + error.what());
    } catch (const std::exception&) {
      // Nothing left to say it with.
    }
  }
  return report;
}

std::vector<std::string> LocalActivityScanner::newlyTooDeep(std::vector<std::string> folders) {
  std::sort(folders.begin(), folders.end());
  std::vector<std::string> fresh;
  std::set_difference(folders.begin(), folders.end(), foldersTooDeep_.begin(), foldersTooDeep_.end(),
                      std::back_inserter(fresh));
  foldersTooDeep_ = std::move(folders);
  return fresh;
}

LocalActivityScanner::ReadFigures LocalActivityScanner::readFigures() {
  std::lock_guard guard(lock_);
  return figures_;
}

void LocalActivityScanner::readAppended(const TranscriptFile& file, Date cutoff, ScanPass& pass,
                                        std::vector<std::string>& failures) {
  Cursor& cursor = cursors_[file.path];
  // Another file under the name, however long, is read from its start.
  bool sameFile = file.isSameFile(cursor.device, cursor.inode);
  TranscriptPosition from = sameFile ? cursor.position : TranscriptPosition{};
  if (sameFile && file.size == from.readEnd && file.modified <= cursor.modified) return;  // unchanged
  if (file.size < from.lineStart) from = {};                                              // truncated: read it again
  else if (file.size < from.readEnd) from = {from.lineStart, from.lineStart, false};      // its last line was cut
  TranscriptReader::Outcome read = pass.reader.readCompleteLines(file, from, [&](std::string_view lines) {
    forEachUsageLine(lines, [&](std::string_view line) {
      auto turn = pass.parser.parse(line);
      if (turn && turn->timestamp >= cutoff) turns_->ingest(*turn);
    });
  });
  // Once per change: a file that stays unreadable is tried at every scan.
  if (read.error && read.error != cursor.lastError) failures.push_back(file.path + ": " + read.error.message());
  cursor = {read.reached, file.modified, file.device, file.inode, read.error};
}

}  // namespace ovel
