// The reading history: one stored sample per recorded reading, and the
// store that keeps them in history.jsonl.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/engine/WindowModel.h"
#include "core/support/SharedText.h"
#include "core/support/TextInterner.h"
#include "core/support/Time.h"

namespace ovel {

struct HistorySample {
  // Shared: a store's samples of one kind hold their key once.
  SharedText kindKey;
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

// What one record() changed in memory, in this order: the instant after
// which it first dropped every sample (stamped by a clock that has since
// come back) and how many that were, the samples it added, in order, and
// the cutoff before which it dropped every sample when it pruned. With
// `pruneWaitsUntil`, a prune fell due but waits until then, as the readings
// jumped more than a day ahead (told once per jump). With `written`, how the file took it: the error of
// this record's append, else that of a rewrite that failed since the last
// record, else, while the file still lacks lines that an earlier append
// could not write, that failure; absent when nothing was written.
struct HistoryChange {
  std::optional<Date> droppedAfter;
  std::size_t droppedCount = 0;
  std::vector<HistorySample> added;
  std::optional<Date> prunedBefore;
  std::optional<Date> pruneWaitsUntil;
  std::optional<std::error_code> written;
};

// Keeps the samples in memory and in a file of JSON lines, one compact
// object per line with the keys "k" (kind key), "u" (used percentage),
// "r" (reset, seconds since 1970, left out when absent) and "t"
// (observation, seconds since 1970). New samples are appended; the whole
// file is rewritten only when the oldest sample is a day past the
// retention. A bad line is skipped; a failed write leaves the file as it
// was while memory keeps every sample, and is told in HistoryChange. After
// a failed append the file is rewritten from memory once an append works
// again (or at flush()), so that no sample is missing from it for longer.
//
// No clock is trusted to move only forward. When a reading comes from a
// clock that has come back (the newest sample lies more than a few minutes
// ahead of both the reading and `now`), every sample stamped after `now` is
// dropped, and the file rewritten, before the reading is judged. Readings
// that come more than a day after every earlier one may be from a clock set
// ahead as well as from a machine that was off: a prune that falls due
// waits until readings have followed the new time for a day.
//
// Thread-safe, but for the list samples() hands out. record() appends its
// lines itself, so they are with the kernel when it returns and survive the
// process being killed. Only rewrites (a prune's, or one that brings back
// what failed appends lost) run on a writer thread of the store's own: lines
// recorded while one runs go to the old file and, at the rename, to the new
// one too.
class HistoryStore final {
 public:
  // A larger file, like one that is not regular, is not read and the
  // history starts empty: eight days of it take a few megabytes.
  static constexpr std::uint64_t kFileSizeLimit = std::uint64_t{256} << 20;

  // Touches nothing; the file is read on the first call of all() or record().
  HistoryStore(std::filesystem::path url, double retention, double heartbeat);
  // Finishes a rewrite under way first.
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  const std::filesystem::path& url() const { return url_; }

  // A copy of every sample: the file's sorted by observation time, then the
  // recorded ones in the order recorded.
  std::vector<HistorySample> all();
  // The same samples without a copy, for the thread that records: they stay
  // as they are until its next record(), as the writer thread only reads
  // them. Reads the file when not yet read.
  const std::vector<HistorySample>& samples();
  // Why the file could not be read, if it could not (a missing one is no
  // failure): the history then started empty. Reads it when not yet read.
  std::error_code loadError();
  // Records each window that is newer than the last sample of its kind and
  // either changed (another percentage or another window instance) or at
  // least a heartbeat older than it. A later window of the same kind in the
  // list is judged against an earlier recorded one. The new lines are in the
  // file on return; the rewrite of a prune or a drop follows on the writer
  // thread.
  HistoryChange record(const std::vector<UsageWindow>& windows, Date now);
  // Rewrites the file from memory when an append failed since the last
  // rewrite, and waits until a rewrite under way or due has ended. Gives
  // what the next record would tell of it (without taking it): a rewrite's
  // failure, else that of an append whose lines the file still lacks.
  std::error_code flush();

 private:
  void loadIfNeeded();
  bool clockCameBack(const std::vector<UsageWindow>& windows, Date now) const;
  std::size_t dropSamplesAfter(Date now);
  bool isWorthRecording(const UsageWindow& window) const;
  void add(const UsageWindow& window, std::optional<Date> newestBefore);
  bool isPruneDue(Date now) const;
  bool pruneWaits(Date now) const;
  void prune(Date cutoff);
  void learnTimes();
  std::error_code append(const std::string& lines);
  bool mayRewriteFromMemory() const;
  void requestRewrite();
  void startWriterIfNeeded();
  void writeLoop();
  std::error_code rewrite(std::unique_lock<std::mutex>& lock);

  std::filesystem::path url_;
  double retention_;
  double heartbeat_;
  std::mutex mutex_;  // guards everything below, and orders appends against the rewrite's rename
  std::vector<HistorySample> samples_;
  TextInterner kindKeys_;  // the keys samples_ holds, one buffer each
  // The latest observation among samples_, and when the samples of the
  // last day began after more than a day without any.
  std::optional<Date> newest_;
  std::optional<Date> jumpedAt_;
  std::optional<Date> waitTold_;  // the jump whose waiting prune was told
  bool loaded_ = false;
  std::error_code loadError_;
  bool rewriteDue_ = false;
  // While a rewrite runs: the lines appended since it took its copy, which
  // it adds to the new file before the rename.
  std::optional<std::string> linesSinceCopy_;
  std::optional<std::error_code> rewriteFailure_;  // not yet told to a record
  // Why the file lacks lines that memory holds, until a rewrite lands.
  std::optional<std::error_code> linesMissing_;
  bool stopping_ = false;
  std::condition_variable workArrived_;
  std::condition_variable workDone_;
  std::thread writer_;

  friend struct HistoryStoreInternals;  // tests
  // Run by the writer between a rewrite's copy and its rename, without the lock.
  std::function<void()> afterRewriteCopy_;
};

}  // namespace ovel
