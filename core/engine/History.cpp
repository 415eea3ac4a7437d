#include "core/engine/History.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "core/engine/EngineConstants.h"
#include "core/support/FileIO.h"
#include "core/support/JsonWriter.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

bool hasOnlyFiniteNumbers(const HistorySample& sample) {
  return std::isfinite(sample.usedPercent) && std::isfinite(secondsSince1970(sample.observedAt)) &&
         (!sample.resetsAt || std::isfinite(secondsSince1970(*sample.resetsAt)));
}

// nlohmann writes a non-finite number as null, which would read
// back as another sample (a reset of NaN as "no reset"), so such a sample
// gets no line at all.
void appendLine(std::string& text, const HistorySample& sample) {
  if (!hasOnlyFiniteNumbers(sample)) return;
  nlohmann::json line{
      {"k", sample.kindKey.view()}, {"u", sample.usedPercent}, {"t", secondsSince1970(sample.observedAt)}};
  if (sample.resetsAt) line["r"] = secondsSince1970(*sample.resetsAt);
  text += writeJson(line, {.finalNewline = true});
}

std::string encodeLines(const std::vector<HistorySample>& samples) {
  std::string text;
  for (const auto& sample : samples) appendLine(text, sample);
  return text;
}

bool readNumber(simdjson::dom::element value, double& number) {
  return !value.get_double().get(number) && std::isfinite(number);
}

// Lines are read with simdjson rather than nlohmann: eight days of history
// parse about eight times faster, which is most of the start-up cost.
// Any key order; unknown keys are ignored; "r" missing or null is no reset.
std::optional<HistorySample> decodeLine(simdjson::dom::parser& parser, TextInterner& kindKeys, const char* line,
                                        std::size_t length) {
  simdjson::dom::object object;
  // The caller guarantees the padding simdjson reads past the end.
  if (parser.parse(line, length, false).get(object)) return std::nullopt;
  // NaN marks a missing number: readNumber accepts finite ones only.
  constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
  double usedPercent = kMissing, observedAt = kMissing, resetsAt = kMissing;
  bool hasKind = false;
  std::string_view kindKey;
  for (auto [key, value] : object) {
    if (key == "k") {
      if (value.get_string().get(kindKey)) return std::nullopt;
      hasKind = true;
    } else if (key == "u" || key == "t") {
      if (!readNumber(value, key == "u" ? usedPercent : observedAt)) return std::nullopt;
    } else if (key == "r") {
      if (value.is_null()) resetsAt = kMissing;
      else if (!readNumber(value, resetsAt)) return std::nullopt;
      // A reset no calendar can show is no reset; a sample with such a time is no sample.
      if (!isCalendarSeconds(resetsAt)) resetsAt = kMissing;
    }
  }
  if (!hasKind || std::isnan(usedPercent) || !isCalendarSeconds(observedAt)) return std::nullopt;
  HistorySample sample;
  sample.kindKey = kindKeys.intern(kindKey);
  sample.usedPercent = usedPercent;
  if (!std::isnan(resetsAt)) sample.resetsAt = dateFromSeconds1970(resetsAt);
  sample.observedAt = dateFromSeconds1970(observedAt);
  return sample;
}

// Every line that decodes, in file order; blank and bad lines are skipped.
// The samples are held for the life of the store: room is made for one per
// line up front, and only bad lines leave any to give back.
std::vector<HistorySample> decodeLines(std::string& bytes, TextInterner& kindKeys) {
  const std::size_t end = bytes.size();
  const auto feeds = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  bytes.append(simdjson::SIMDJSON_PADDING, ' ');
  simdjson::dom::parser parser;
  std::vector<HistorySample> samples;
  samples.reserve(feeds + (end > 0 && bytes[end - 1] != '\n' ? 1 : 0));
  for (std::size_t start = 0; start < end;) {
    std::size_t feed = bytes.find('\n', start);
    if (feed == std::string::npos) feed = end;  // the padding holds no line feed
    if (feed > start) {
      if (auto sample = decodeLine(parser, kindKeys, bytes.data() + start, feed - start))
        samples.push_back(std::move(*sample));
    }
    start = feed + 1;
  }
  samples.shrink_to_fit();
  return samples;
}

bool observedEarlier(const HistorySample& a, const HistorySample& b) { return a.observedAt < b.observedAt; }

}  // namespace

HistoryStore::HistoryStore(fs::path url, double retention, double heartbeat)
    : url_(std::move(url)), retention_(retention), heartbeat_(heartbeat) {}

HistoryStore::~HistoryStore() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workArrived_.notify_one();
  if (writer_.joinable()) writer_.join();
}

std::vector<HistorySample> HistoryStore::all() {
  std::lock_guard lock(mutex_);
  loadIfNeeded();
  return samples_;
}

const std::vector<HistorySample>& HistoryStore::samples() {
  std::lock_guard lock(mutex_);
  loadIfNeeded();
  return samples_;
}

HistoryChange HistoryStore::record(const std::vector<UsageWindow>& windows, Date now) {
  std::unique_lock lock(mutex_);
  loadIfNeeded();
  HistoryChange change;
  // First, so that what a wrong clock stamped ahead keeps no reading out.
  if (clockCameBack(windows, now)) {
    change.droppedCount = dropSamplesAfter(now);
    change.droppedAfter = now;
  }
  const std::optional<Date> newestBefore = newest_;
  for (const auto& window : windows) {
    if (!isWorthRecording(window)) continue;
    add(window, newestBefore);
    change.added.push_back(samples_.back());
  }
  if (change.added.empty() && !change.droppedAfter) return change;
  // Appended even when a rewrite follows: until its rename, the old file is
  // the one a kill leaves.
  std::string lines = encodeLines(change.added);
  std::error_code error = append(lines);
  // A rewrite under way takes them even when the append failed.
  if (linesSinceCopy_) *linesSinceCopy_ += lines;
  if (error && mayRewriteFromMemory()) linesMissing_ = error;
  change.written = error ? error : rewriteFailure_.value_or(linesMissing_.value_or(std::error_code()));
  rewriteFailure_.reset();
  bool pruned = !change.added.empty() && isPruneDue(now);
  if (pruned && pruneWaits(now)) {
    pruned = false;
    if (waitTold_ != jumpedAt_) change.pruneWaitsUntil = addSeconds(*jumpedAt_, kHistoryJumpWait);
    waitTold_ = jumpedAt_;
  }
  if (pruned) {
    change.prunedBefore = addSeconds(now, -retention_);
    prune(*change.prunedBefore);
  }
  // Appends work again: the lines they lost come back from memory. A
  // rewrite under way takes them already; one that copied memory before a
  // prune or a drop must run again after it. A file that could not be read
  // is never rebuilt from memory, which lacks its lines: it is changed in
  // memory only.
  bool changedOld = pruned || change.droppedAfter;
  if ((changedOld && mayRewriteFromMemory()) || (!error && linesMissing_ && !linesSinceCopy_)) requestRewrite();
  return change;
}

std::error_code HistoryStore::flush() {
  std::unique_lock lock(mutex_);
  if (linesMissing_ && !linesSinceCopy_) requestRewrite();
  workDone_.wait(lock, [this] { return !rewriteDue_ && !linesSinceCopy_; });
  return rewriteFailure_.value_or(linesMissing_.value_or(std::error_code()));
}

std::error_code HistoryStore::loadError() {
  std::lock_guard lock(mutex_);
  loadIfNeeded();
  return loadError_;
}

void HistoryStore::loadIfNeeded() {
  if (loaded_) return;
  // Set first: a file that cannot be read is not tried again.
  loaded_ = true;
  std::string bytes;
  if (std::error_code error = readWholeFile(url_, bytes, kFileSizeLimit)) {
    if (error != std::errc::no_such_file_or_directory) loadError_ = error;
    return;
  }
  samples_ = decodeLines(bytes, kindKeys_);
  if (!std::is_sorted(samples_.begin(), samples_.end(), observedEarlier))
    std::stable_sort(samples_.begin(), samples_.end(), observedEarlier);
  // The file may come from a clock that was set ahead, or is ahead now.
  learnTimes();
}

// A sample more than a few minutes ahead of a reading that arrives now, and
// of now itself: the clock came back since it was stamped.
bool HistoryStore::clockCameBack(const std::vector<UsageWindow>& windows, Date now) const {
  return newest_ && std::any_of(windows.begin(), windows.end(), [this, now](const UsageWindow& window) {
           return stampedBeforeTheClockCameBack(*newest_, window.observedAt, now);
         });
}

// Everything stamped in what is now the future was taken on a wrong clock.
std::size_t HistoryStore::dropSamplesAfter(Date now) {
  std::size_t dropped = std::erase_if(samples_, [now](const HistorySample& sample) { return sample.observedAt > now; });
  kindKeys_.forgetUnused();
  learnTimes();
  return dropped;
}

bool HistoryStore::isWorthRecording(const UsageWindow& window) const {
  std::string kindKey = window.kind.key();
  auto last = std::find_if(samples_.rbegin(), samples_.rend(),
                           [&kindKey](const HistorySample& sample) { return sample.kindKey == kindKey; });
  if (last == samples_.rend()) return true;
  if (last->observedAt >= window.observedAt) return false;
  bool unchanged = last->sameWindow(window) && last->usedPercent == window.usedPercent;
  return !unchanged || secondsBetween(window.observedAt, last->observedAt) >= heartbeat_;
}

void HistoryStore::add(const UsageWindow& window, std::optional<Date> newestBefore) {
  // A reading more than a day past every sample before its batch: a clock
  // set ahead, or a machine that was off. Only time tells them apart.
  if (newestBefore && secondsBetween(window.observedAt, *newestBefore) > kHistoryJumpWait)
    jumpedAt_ = window.observedAt;
  if (!newest_ || window.observedAt > *newest_) newest_ = window.observedAt;
  HistorySample sample(window);
  sample.kindKey = kindKeys_.intern(sample.kindKey);
  samples_.push_back(std::move(sample));
}

// Only the first sample is looked at; the day's margin keeps rewrites to
// about one a day.
bool HistoryStore::isPruneDue(Date now) const {
  Date cutoff = addSeconds(now, -retention_);
  return !samples_.empty() && samples_.front().observedAt < addSeconds(cutoff, -kHistoryPruneMargin);
}

// Until readings have followed a jump ahead for a day, the clock that
// made it may yet come back, and the samples before it are not old.
bool HistoryStore::pruneWaits(Date now) const { return jumpedAt_ && now < addSeconds(*jumpedAt_, kHistoryJumpWait); }

void HistoryStore::prune(Date cutoff) {
  std::erase_if(samples_, [cutoff](const HistorySample& sample) { return sample.observedAt < cutoff; });
  kindKeys_.forgetUnused();
  learnTimes();
}

// The newest sample, and whether those of the last day before it began
// after more than a day without any. In any order of the samples: a stale
// reading may have been recorded after newer ones of other kinds.
void HistoryStore::learnTimes() {
  newest_.reset();
  jumpedAt_.reset();
  for (const auto& sample : samples_)
    if (!newest_ || sample.observedAt > *newest_) newest_ = sample.observedAt;
  if (!newest_) return;
  const Date lastDay = addSeconds(*newest_, -kHistoryJumpWait);
  std::optional<Date> latestBefore, earliestWithin;
  for (const auto& sample : samples_) {
    if (sample.observedAt > lastDay) {
      if (!earliestWithin || sample.observedAt < *earliestWithin) earliestWithin = sample.observedAt;
    } else if (!latestBefore || sample.observedAt > *latestBefore) {
      latestBefore = sample.observedAt;
    }
  }
  if (latestBefore && secondsBetween(*earliestWithin, *latestBefore) > kHistoryJumpWait) jumpedAt_ = earliestWithin;
}

std::error_code HistoryStore::append(const std::string& lines) {
  // Appending never creates the file and writes only at its end; a missing
  // file is created holding the lines. Any other failure (no permission, a
  // full disk) keeps the samples in memory only, until the next rewrite.
  // No sync: a line with the kernel survives a kill, and a sync costs
  // milliseconds on every record.
  if (lines.empty()) return {};
  std::error_code error = appendOnNewLine(url_, lines);
  if (error == std::errc::no_such_file_or_directory) error = writeFileAtomically(url_, lines, {.sync = false});
  return error;
}

// A rewrite from memory would drop the lines of a file that could not be
// read: then a failed append is only told, as nothing can put its lines back.
// A folder or a FIFO in the file's place holds no lines of ours.
bool HistoryStore::mayRewriteFromMemory() const {
  return !loadError_ || loadError_ == std::errc::is_a_directory || loadError_ == FileError::notRegularFile;
}

void HistoryStore::requestRewrite() {
  rewriteDue_ = true;
  startWriterIfNeeded();
  workArrived_.notify_one();
}

void HistoryStore::startWriterIfNeeded() {
  if (!writer_.joinable()) writer_ = std::thread([this] { writeLoop(); });
}

void HistoryStore::writeLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workArrived_.wait(lock, [this] { return stopping_ || rewriteDue_; });
    if (!rewriteDue_) return;  // stopping, with nothing left to write
    rewriteDue_ = false;
    if (std::error_code error = rewrite(lock)) {
      rewriteFailure_ = error;
      if (linesMissing_) linesMissing_ = error;
    } else {
      // The new file holds every sample in memory, failed appends' too.
      linesMissing_.reset();
    }
    workDone_.notify_all();
  }
}

// Called and left with the lock held; the file work runs without it.
std::error_code HistoryStore::rewrite(std::unique_lock<std::mutex>& lock) {
  // The file is rebuilt from memory alone, so lines that another process
  // appended since our load are lost here. Two copies of the application on
  // one data directory would do that; the application holds a
  // single-instance lock so that one store at a time writes this file.
  std::vector<HistorySample> samples = samples_;
  linesSinceCopy_.emplace();
  lock.unlock();
  // A FIFO or a folder in the file's place is left there, as by appends.
  FileReplacement replacement(url_, {.onlyOverRegularFile = true});
  replacement.write(encodeLines(samples));
  replacement.sync();
  if (afterRewriteCopy_) afterRewriteCopy_();
  lock.lock();
  // Records wait from here to the rename, so none lands in the old file only.
  replacement.write(*linesSinceCopy_);
  linesSinceCopy_.reset();
  // A failed rewrite leaves the old file, which every record appended to
  // but those whose append failed (linesMissing_ says so).
  return replacement.commit();
}

}  // namespace ovel
