// The reading history: one stored sample per recorded reading, and the
// store that keeps them in history.jsonl.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/Time.h"
#include "core/WindowModel.h"

namespace ovel {

struct HistorySample {
  std::string kindKey;
  double usedPercent = 0;
  std::optional<Date> resetsAt;
  Date observedAt;

  HistorySample() = default;
  HistorySample(const WindowKind& kind, double usedPercent, std::optional<Date> resetsAt, Date observedAt)
      : kindKey(kind.key()), usedPercent(usedPercent), resetsAt(resetsAt), observedAt(observedAt) {}
  explicit HistorySample(const UsageWindow& window)
      : HistorySample(window.kind, window.usedPercent, window.resetsAt, window.observedAt) {}

  std::optional<WindowKind> kind() const { return WindowKind::fromKey(kindKey); }
  // The history counterpart of UsageWindow::isSameInstance.
  bool sameWindow(const UsageWindow& window) const {
    return kindKey == window.kind.key() && sameWindowInstance(resetsAt, window.resetsAt);
  }

  bool operator==(const HistorySample&) const = default;
};

// What one record() changed in memory: the samples it added, in order, and
// the cutoff before which it dropped every sample when it pruned.
struct HistoryChange {
  std::vector<HistorySample> added;
  std::optional<Date> prunedBefore;
};

// Keeps the samples in memory and in a file of JSON lines, one compact
// object per line with the keys "k" (kind key), "u" (used percentage),
// "r" (reset, seconds since 1970, left out when absent) and "t"
// (observation, seconds since 1970). New samples are appended; the whole
// file is rewritten only when the oldest sample is a day past the
// retention. Nothing is ever reported: a bad line is skipped, a failed
// write leaves the file as it was while memory keeps every sample.
//
// Thread-safe. The file is written by a writer thread of the store's own,
// in the order of the records, so a caller never waits for a sync; a call
// holds the lock only for its work in memory.
class HistoryStore final {
 public:
  // A larger file, like one that is not regular, is not read and the
  // history starts empty: eight days of it take a few megabytes.
  static constexpr std::uint64_t kFileSizeLimit = std::uint64_t{256} << 20;

  // Touches nothing; the file is read on the first call of all() or record().
  HistoryStore(std::filesystem::path url, double retention, double heartbeat);
  // Writes what is still pending first.
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  const std::filesystem::path& url() const { return url_; }

  // A copy of every sample: the file's sorted by observation time, then the
  // recorded ones in the order recorded.
  std::vector<HistorySample> all();
  // Records each window that is newer than the last sample of its kind and
  // either changed (another percentage or another window instance) or at
  // least a heartbeat older than it. A later window of the same kind in the
  // list is judged against an earlier recorded one. The file follows soon
  // after, on the writer thread.
  HistoryChange record(const std::vector<UsageWindow>& windows, Date now);
  // Waits until the file holds everything recorded so far.
  void flush();

 private:
  void loadIfNeeded();
  bool isWorthRecording(const UsageWindow& window) const;
  bool isPruneDue(Date now) const;
  void startWriterIfNeeded();
  void writeLoop();
  void rewrite(const std::vector<HistorySample>& samples);
  void append(const std::string& lines);

  std::filesystem::path url_;
  double retention_;
  double heartbeat_;
  std::mutex mutex_;  // guards everything below
  std::vector<HistorySample> samples_;
  bool loaded_ = false;
  // The writer's work: lines to append, or a whole rewrite, which takes in
  // every sample held at the moment it starts.
  std::string pendingLines_;
  bool rewriteDue_ = false;
  bool writing_ = false;
  bool stopping_ = false;
  std::condition_variable workArrived_;
  std::condition_variable workDone_;
  std::thread writer_;
};

}  // namespace ovel
