#include "core/claude/LocalActivityScanner.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <iterator>
#include <system_error>
#include <thread>
#include <utility>

#include "core/claude/ClaudeCodePaths.h"
#include "core/claude/TranscriptLine.h"
#include "core/claude/TranscriptTurnTable.h"

namespace ovel {
namespace fs = std::filesystem;

// What one reading thread needs: a buffer and a JSON parser, both released
// when the scan ends.
struct LocalActivityScanner::ScanPass {
  explicit ScanPass(TranscriptReadLimits limits) : reader(limits) {}
  TranscriptReader reader;
  TranscriptLineParser parser;
};

// A file to read, and once read what it gave.
struct LocalActivityScanner::PendingRead {
  PendingRead(TranscriptFile file, Cursor& cursor, TranscriptPosition from)
      : file(std::move(file)), cursor(&cursor), from(from) {}

  TranscriptFile file;
  Cursor* cursor;  // stays put: the maps' nodes never move
  TranscriptPosition from;
  TranscriptReader::Outcome outcome;
  TranscriptTurnBatch turns;
  std::exception_ptr failure;  // out of memory on a damaged file
};

// Hands the files out in the order listed, to whichever thread asks next.
class LocalActivityScanner::ReadQueue {
 public:
  ReadQueue(std::vector<PendingRead>& reads, Date cutoff) : reads_(reads), done_(reads.size()), cutoff_(cutoff) {}

  // Reads the next file nobody took yet; false when none is left or the
  // queue was stopped.
  bool readNext(ScanPass& pass) {
    if (stopped_.load(std::memory_order_relaxed)) return false;
    std::size_t index = next_.fetch_add(1, std::memory_order_relaxed);
    if (index >= reads_.size()) return false;
    read(reads_[index], pass);
    done_[index].store(true, std::memory_order_release);
    done_[index].notify_all();
    return true;
  }
  // Until the file at `index` is read, reads the next ones itself. The
  // queue must not be stopped before that file was taken.
  void awaitRead(std::size_t index, ScanPass& pass) {
    while (!done_[index].load(std::memory_order_acquire))
      if (!readNext(pass)) done_[index].wait(false, std::memory_order_acquire);
  }
  void stop() { stopped_.store(true, std::memory_order_relaxed); }
  // How many files were taken: once every thread is done, all of them are read.
  std::size_t taken() const { return std::min(next_.load(std::memory_order_relaxed), reads_.size()); }

 private:
  void read(PendingRead& read, ScanPass& pass) const {
    try {
      read.outcome = pass.reader.readCompleteLines(read.file, read.from, [&](std::string_view lines) {
        forEachUsageLine(lines, [&](std::string_view line) {
          auto turn = pass.parser.parse(line);
          if (turn && turn->timestamp >= cutoff_) read.turns.add(*turn);
        });
      });
    } catch (...) { read.failure = std::current_exception(); }
  }

  std::vector<PendingRead>& reads_;
  std::vector<std::atomic<bool>> done_;  // beside reads_
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stopped_{false};
  const Date cutoff_;
};

namespace {

// Threads that read from a queue until it is empty or stopped; stops it and
// waits for them when it goes.
template <typename Queue, typename Pass>
class ReaderThreads {
 public:
  explicit ReaderThreads(Queue& queue) : queue_(queue) {}
  ~ReaderThreads() {
    queue_.stop();
    threads_.clear();  // joins
  }
  ReaderThreads(const ReaderThreads&) = delete;
  ReaderThreads& operator=(const ReaderThreads&) = delete;

  // False when no more threads can be started: the others read it all.
  bool start(Pass& pass) {
    try {
      threads_.emplace_back([this, &pass] {
        while (queue_.readNext(pass)) {}
      });
      return true;
    } catch (const std::system_error&) { return false; }
  }

 private:
  Queue& queue_;
  std::vector<std::jthread> threads_;
};

}  // namespace

std::optional<TranscriptPosition> LocalActivityScanner::Cursor::positionToRead(const TranscriptStatus& status) const {
  // Another file under the name, however long, is read from its start.
  bool sameFile = status.isSameFile(device, inode);
  TranscriptPosition from = sameFile ? position : TranscriptPosition{};
  if (sameFile && status.size == from.readEnd && status.modified <= modified) return std::nullopt;  // unchanged
  if (status.size < from.lineStart) return TranscriptPosition{};  // truncated: read it again
  if (status.size < from.readEnd) return TranscriptPosition{from.lineStart, from.lineStart, false};  // last line cut
  return from;
}

fs::path LocalActivityScanner::defaultRoot() { return claudeConfigDirectory() / "projects"; }

LocalActivityScanner::LocalActivityScanner(fs::path root, double lookback, TranscriptReadLimits limits)
    : root_(std::move(root)),
      lookback_(lookback),
      limits_(limits),
      folders_(limits.folderSettleSeconds),
      turns_(std::make_unique<TranscriptTurnTable>()) {}

LocalActivityScanner::~LocalActivityScanner() = default;

std::vector<ActivityEvent> LocalActivityScanner::scan(Date now, const std::function<bool()>& stopRequested) {
  return scanReporting(now, stopRequested).summary.events();
}

LocalActivityScanner::Report LocalActivityScanner::scanReporting(Date now, const std::function<bool()>& stopRequested) {
  std::lock_guard guard(lock_);
  Report report;
  try {
    Date cutoff = addSeconds(now, -lookback_);
    std::vector<std::string> foldersTooDeep;
    std::vector<PendingRead> reads = changedFiles(cutoff, foldersTooDeep);
    report.foldersTooDeep = newlyTooDeep(std::move(foldersTooDeep));
    readFiles(reads, cutoff, stopRequested, report.failures);
    report.summary = turns_->keptSince(cutoff);
  } catch (const std::exception& error) {
    report.summary = {};
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
  ReadFigures figures = figures_;
  figures.foldersRead = folders_.foldersRead();
  return figures;
}

std::vector<LocalActivityScanner::PendingRead> LocalActivityScanner::changedFiles(
    Date cutoff, std::vector<std::string>& foldersTooDeep) {
  std::vector<PendingRead> reads;
  // A folder's files come one after another: its cursors are looked up once.
  FolderCursors* folder = nullptr;
  std::string_view folderPath;
  auto visit = [&](const TranscriptEntry& entry) {
    if (!folder || entry.folderPath != folderPath) {
      auto found = cursors_.find(entry.folderPath);
      if (found == cursors_.end()) found = cursors_.emplace(std::string(entry.folderPath), FolderCursors{}).first;
      folder = &found->second;
      folderPath = found->first;
    }
    auto found = folder->find(entry.name);
    if (found == folder->end()) found = folder->emplace(std::string(entry.name), Cursor{}).first;
    if (auto from = found->second.positionToRead(entry.status))
      reads.emplace_back(TranscriptFile{entry.status, entry.path()}, found->second, *from);
  };
  foldersTooDeep = walkTranscriptFiles(root_, cutoff, visit, &folders_);
  return reads;
}

void LocalActivityScanner::readFiles(std::vector<PendingRead>& reads, Date cutoff,
                                     const std::function<bool()>& stopRequested, std::vector<std::string>& failures) {
  if (reads.empty()) return;
  std::uint64_t bytes = 0;
  for (const PendingRead& read : reads) bytes += read.file.size - std::min(read.file.size, read.from.lineStart);
  std::size_t readers = 1;
  if (bytes >= limits_.parallelBytes)
    readers = std::min({limits_.readers, std::max<std::size_t>(std::thread::hardware_concurrency(), 1), reads.size()});

  // Asked before each file, the first before any is read.
  auto stopped = [&] { return stopRequested && stopRequested(); };
  if (stopped()) return;
  ReadQueue queue(reads, cutoff);
  std::deque<ScanPass> passes;  // the calling thread's first
  passes.emplace_back(limits_);
  std::size_t next = 0;
  {
    ReaderThreads<ReadQueue, ScanPass> helpers(queue);
    while (passes.size() < readers && helpers.start(passes.emplace_back(limits_))) {}
    // Taken in order as they are read, this thread reading too meanwhile.
    do {
      queue.awaitRead(next, passes.front());
      takeRead(reads[next], failures);
    } while (++next < reads.size() && !stopped());
  }
  // Read by the helpers before they stopped.
  for (std::size_t taken = queue.taken(); next < taken; ++next) takeRead(reads[next], failures);
  for (const ScanPass& pass : passes) {
    figures_.bytesRead += pass.reader.bytesRead();
    figures_.largestBuffer = std::max(figures_.largestBuffer, pass.reader.largestBuffer());
  }
}

void LocalActivityScanner::takeRead(PendingRead& read, std::vector<std::string>& failures) {
  try {
    if (read.failure) std::rethrow_exception(read.failure);
    turns_->ingest(read.turns);
    read.turns = {};
    // Once per change: a file that stays unreadable is tried at every scan.
    Cursor& cursor = *read.cursor;
    const TranscriptReader::Outcome& outcome = read.outcome;
    if (outcome.error && outcome.error != cursor.lastError)
      failures.push_back(read.file.path + ": " + outcome.error.message());
    cursor = {outcome.reached, read.file.modified, read.file.device, read.file.inode, outcome.error};
  } catch (const std::exception& error) {
    // Out of memory on a damaged file: it keeps its old cursor.
    failures.push_back(read.file.path + ": " + error.what());
  }
}

}  // namespace ovel
