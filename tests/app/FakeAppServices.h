// Fakes of the usage model's seams: a settable clock, a scheduler that runs
// in virtual time, and a probe and a scan that answer at once, after a set
// time on the fake scheduler, or when the test says so.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/AppServices.h"

namespace ovel::test {

class FakeClock final : public Clock {
 public:
  explicit FakeClock(Date start) : seconds_(secondsSince1970(start)) {}
  Date now() const override { return dateFromSeconds1970(seconds_.load()); }
  void set(Date date) { seconds_ = secondsSince1970(date); }
  void advance(double seconds) { set(addSeconds(now(), seconds)); }

 private:
  std::atomic<double> seconds_;
};

// Tasks run only from runDue() and advance(), earliest first, posted ones
// and equal due times in the order they were given.
class FakeScheduler final : public Scheduler {
 public:
  explicit FakeScheduler(FakeClock& clock) : clock_(clock) {}

  void post(std::function<void()> work) override { add(clock_.now(), std::move(work), false); }
  TaskId after(double seconds, std::function<void()> work) override {
    return add(addSeconds(clock_.now(), seconds > 0 ? seconds : 0), std::move(work), true);
  }
  void cancel(TaskId task) override {
    std::erase_if(tasks_, [task](const Task& t) { return t.id == task; });
  }

  // Runs every task due by the clock, including those they add.
  void runDue() {
    while (runNext(clock_.now())) {}
  }
  // Moves the clock to each task due within `seconds` in turn and runs it,
  // then to the end of the span.
  void advance(double seconds) {
    Date end = addSeconds(clock_.now(), seconds);
    while (runNext(end)) {}
    clock_.set(end);
  }
  std::size_t timersPending() const {
    return static_cast<std::size_t>(
        std::count_if(tasks_.begin(), tasks_.end(), [](const Task& t) { return t.isTimer; }));
  }
  std::size_t tasksPending() const { return tasks_.size(); }
  FakeClock& clock() const { return clock_; }

 private:
  struct Task {
    TaskId id;
    Date due;
    std::function<void()> work;
    bool isTimer;
  };

  TaskId add(Date due, std::function<void()> work, bool isTimer) {
    tasks_.push_back({nextId_, due, std::move(work), isTimer});
    return nextId_++;
  }
  bool runNext(Date until) {
    auto next = std::min_element(tasks_.begin(), tasks_.end(), [](const Task& a, const Task& b) {
      return a.due != b.due ? a.due < b.due : a.id < b.id;
    });
    if (next == tasks_.end() || next->due > until) return false;
    if (next->due > clock_.now()) clock_.set(next->due);
    std::function<void()> work = std::move(next->work);
    tasks_.erase(next);
    work();
    return true;
  }

  FakeClock& clock_;
  std::vector<Task> tasks_;
  TaskId nextId_ = 1;
};

// How a fake answers: at once, after a time on the fake scheduler, or only
// when the test calls finish().
template <class Value>
class FakeWork {
 public:
  FakeWork(FakeScheduler& scheduler, Value answer) : answer(std::move(answer)), scheduler_(scheduler) {}

  void begin(std::function<void(Value)> done) {
    startedAt.push_back(scheduler_.clock().now());
    if (hold) {
      pending_ = std::move(done);
    } else if (duration > 0) {
      scheduler_.after(duration, [done = std::move(done), value = answer] { done(value); });
    } else {
      done(answer);
    }
  }
  bool isHeld() const { return static_cast<bool>(pending_); }
  void finish() { finish(answer); }
  void finish(Value value) {
    auto done = std::exchange(pending_, nullptr);
    done(std::move(value));
  }

  Value answer;
  bool hold = false;
  double duration = 0;
  std::vector<Date> startedAt;  // one entry per run

 private:
  FakeScheduler& scheduler_;
  std::function<void(Value)> pending_;
};

class FakeProbeRunner final : public ProbeRunner {
 public:
  FakeProbeRunner(FakeScheduler& scheduler, ProbeOutcome answer) : work(scheduler, std::move(answer)) {}

  std::optional<std::filesystem::path> locate(const std::optional<std::string>& override) override {
    overrides.push_back(override);
    return executable;
  }
  void run(const std::filesystem::path& path, double timeout, std::function<Date()> readingTime,
           Completion done) override {
    ranWith = path;
    lastTimeout = timeout;
    lastReadingTime = std::move(readingTime);
    work.begin(std::move(done));
  }
  std::size_t runs() const { return work.startedAt.size(); }

  FakeWork<ProbeOutcome> work;
  std::optional<std::filesystem::path> executable = std::filesystem::path("/opt/fake/claude");
  std::vector<std::optional<std::string>> overrides;
  std::filesystem::path ranWith;
  double lastTimeout = 0;
  std::function<Date()> lastReadingTime;
};

class FakeScanRunner final : public ScanRunner {
 public:
  explicit FakeScanRunner(FakeScheduler& scheduler) : work(scheduler, {}) {}

  void scan(Date now, Completion done) override {
    scannedAt.push_back(now);
    work.begin(
        [done = std::move(done)](std::vector<ActivityEvent> events) { done(ActivitySummary(std::move(events))); });
  }
  std::size_t scans() const { return scannedAt.size(); }

  FakeWork<std::vector<ActivityEvent>> work;
  std::vector<Date> scannedAt;
};

}  // namespace ovel::test
