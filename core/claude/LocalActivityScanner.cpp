#include "core/claude/LocalActivityScanner.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <utility>

#include "core/claude/ClaudeCodePaths.h"
#include "core/claude/TranscriptLine.h"
#include "core/claude/TranscriptTurnTable.h"

namespace ovel {
namespace fs = std::filesystem;

// What one scan needs while it reads: a buffer and a JSON parser, both
// released when the scan ends.
struct LocalActivityScanner::ScanPass {
  explicit ScanPass(TranscriptReadLimits limits) : reader(limits) {}
  TranscriptReader reader;
  TranscriptLineParser parser;
};

fs::path LocalActivityScanner::defaultRoot() { return claudeConfigDirectory() / "projects"; }

LocalActivityScanner::LocalActivityScanner(fs::path root, double lookback, TranscriptReadLimits limits)
    : root_(std::move(root)), lookback_(lookback), limits_(limits), turns_(std::make_unique<TranscriptTurnTable>()) {}

LocalActivityScanner::~LocalActivityScanner() = default;

std::vector<ActivityEvent> LocalActivityScanner::scan(Date now, const std::function<bool()>& stopRequested) {
  return scanReporting(now, stopRequested).summary.events();
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
