// The reading history and its file of JSON lines.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "core/engine/EngineConstants.h"
#include "core/engine/History.h"
#include "support/OddFiles.h"
#include "support/TestSupport.h"

namespace ovel {

struct HistoryStoreInternals {
  // Runs `hook` on the writer thread between each rewrite's copy of memory and its rename.
  static void afterRewriteCopy(HistoryStore& store, std::function<void()> hook) {
    store.afterRewriteCopy_ = std::move(hook);
  }
};

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::TempDir;

// Holds the store's first rewrite after its copy of memory until released.
class HeldRewrite {
 public:
  explicit HeldRewrite(HistoryStore& store) {
    HistoryStoreInternals::afterRewriteCopy(store, [this, go = release_.get_future().share(), first = true]() mutable {
      if (!std::exchange(first, false)) return;
      copied_.set_value();
      go.wait();
    });
  }
  // Whether the rewrite took its copy before the watchdog.
  bool copied() {
    return copied_.get_future().wait_for(std::chrono::duration<double>(test::kWatchdogSeconds)) ==
           std::future_status::ready;
  }
  void release() { release_.set_value(); }

 private:
  std::promise<void> copied_, release_;
};

constexpr double kNow = 1'760'000'000;
constexpr double kReset = kNow + 3 * 3600;

UsageWindow window(WindowKind kind, double percent, double observedAt, std::optional<double> reset = kReset) {
  UsageWindow result;
  result.kind = std::move(kind);
  result.usedPercent = percent;
  if (reset) result.resetsAt = dateFromSeconds1970(*reset);
  result.observedAt = dateFromSeconds1970(observedAt);
  return result;
}

}  // namespace

void PrintTo(const HistorySample& sample, std::ostream* out) {
  *out << "{" << sample.kindKey << ", " << sample.usedPercent << " %, reset "
       << (sample.resetsAt ? std::to_string(secondsSince1970(*sample.resetsAt)) : "none") << ", observed "
       << std::to_string(secondsSince1970(sample.observedAt)) << "}";
}

namespace {

std::vector<std::string> lines(const fs::path& path) {
  std::vector<std::string> result;
  std::istringstream stream(test::readText(path));
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

std::vector<double> observationTimes(const std::vector<HistorySample>& samples) {
  std::vector<double> times;
  for (const auto& sample : samples) times.push_back(secondsSince1970(sample.observedAt));
  return times;
}

std::string lineAt(double observedAt) { return json{{"k", "week"}, {"u", 1}, {"t", observedAt}}.dump() + "\n"; }

// Readings that came back 30 hours ago after a long gap and went on (the
// last is 20 hours old): a prune due now has waited its day for the clock.
constexpr double kResumed = kNow - 30 * kHour;
constexpr double kLatest = kNow - 20 * kHour;
const std::string kReadingsSinceResumed = lineAt(kResumed) + lineAt(kLatest);
// A history whose prune falls due at kNow: its oldest line is a day past
// the retention.
constexpr double kTooOld = kNow - kHistoryRetention - kDay - 1;
const std::string kDueForAPrune = lineAt(kTooOld) + kReadingsSinceResumed;

class HistoryStoreTest : public ::testing::Test {
 protected:
  HistoryStore makeStore() const { return HistoryStore(url, kHistoryRetention, kHistoryHeartbeat); }

  TempDir dir;
  fs::path url = dir / "data/history.jsonl";
};

TEST_F(HistoryStoreTest, FirstRecordCreatesFolderAndWritesOneLinePerSample) {
  auto store = makeStore();
  store.record(
      {window(WindowKind::session(), 12.5, kNow), window(WindowKind::weekModel("Opus"), 3, kNow, std::nullopt)},
      dateFromSeconds1970(kNow));
  store.flush();
  std::string text = test::readText(url);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  auto written = lines(url);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(json::parse(written[0]), (json{{"k", "session"}, {"u", 12.5}, {"r", kReset}, {"t", kNow}}));
  EXPECT_EQ(json::parse(written[1]), (json{{"k", "week:Opus"}, {"u", 3}, {"t", kNow}}));
  EXPECT_EQ(written[1].find(' '), std::string::npos);
}

TEST_F(HistoryStoreTest, ValuesRoundTripExactly) {
  std::vector<UsageWindow> windows = {
      window(WindowKind::week(), 0.1 + 0.2, kNow + 1e-6, std::nullopt),
      window(WindowKind::session(), 42.123456789012345, kNow + 0.123456, kNow + 17999.987654321),
      window(WindowKind::weekModel("Sonnet \"4\"/x"), 99.99999999999999, kNow + 1),
  };
  makeStore().record(windows, dateFromSeconds1970(kNow));
  std::vector<HistorySample> expected;
  for (const auto& w : windows) expected.emplace_back(w);
  EXPECT_EQ(makeStore().all(), expected);
}

TEST_F(HistoryStoreTest, RecordsOnlyNewsAndHeartbeats) {
  struct Case {
    const char* name;
    UsageWindow next;
    bool recorded;
  } cases[] = {
      {"unchanged 599 s later", window(WindowKind::session(), 40, kNow + 599), false},
      {"unchanged a heartbeat later", window(WindowKind::session(), 40, kNow + 600), true},
      {"any change a second later", window(WindowKind::session(), 40.000001, kNow + 1), true},
      {"unchanged, resets 300 s apart", window(WindowKind::session(), 40, kNow + 1, kReset + 300), true},
      {"unchanged, resets 299 s apart", window(WindowKind::session(), 40, kNow + 1, kReset - 299), false},
      {"unchanged, reset gone", window(WindowKind::session(), 40, kNow + 1, std::nullopt), true},
      {"observed at the same instant", window(WindowKind::session(), 90, kNow), false},
      {"observed earlier", window(WindowKind::session(), 90, kNow - 1), false},
      {"another kind", window(WindowKind::week(), 40, kNow - 1000), true},
  };
  int index = 0;
  for (const auto& c : cases) {
    HistoryStore store(dir / ("case" + std::to_string(index++)), kHistoryRetention, kHistoryHeartbeat);
    store.record({window(WindowKind::session(), 40, kNow)}, dateFromSeconds1970(kNow));
    store.record({c.next}, dateFromSeconds1970(kNow));
    EXPECT_EQ(store.all().size(), c.recorded ? 2u : 1u) << c.name;
  }
}

TEST_F(HistoryStoreTest, LaterWindowOfOneKindIsJudgedAgainstTheEarlierOne) {
  auto store = makeStore();
  HistoryChange change = store.record(
      {window(WindowKind::session(), 40, kNow), window(WindowKind::session(), 40, kNow + 1),
       window(WindowKind::session(), 41, kNow + 2)},
      dateFromSeconds1970(kNow));
  EXPECT_EQ(observationTimes(store.all()), (std::vector<double>{kNow, kNow + 2}));
  EXPECT_EQ(change.added, store.all());
  EXPECT_FALSE(change.prunedBefore);
  store.flush();
  EXPECT_EQ(lines(url).size(), 2u);
}

TEST_F(HistoryStoreTest, NothingRecordedTouchesNothing) {
  auto store = makeStore();
  store.record({}, dateFromSeconds1970(kNow));
  EXPECT_FALSE(fs::exists(url.parent_path()));

  store.record({window(WindowKind::session(), 40, kNow)}, dateFromSeconds1970(kNow));
  store.flush();
  std::string before = test::readText(url);
  auto modified = fs::last_write_time(url);
  EXPECT_TRUE(
      store.record({window(WindowKind::session(), 40, kNow + 10)}, dateFromSeconds1970(kNow + 10)).added.empty());
  store.flush();
  EXPECT_EQ(test::readText(url), before);
  EXPECT_EQ(fs::last_write_time(url), modified);
}

TEST_F(HistoryStoreTest, PrunesOnlyOnceTheOldestIsADayPastRetention) {
  const double cutoff = kNow - kHistoryRetention;
  struct Case {
    const char* name;
    double oldest;
    bool rewritten;
  } cases[] = {
      {"9 days and a second old", cutoff - kDay - 1, true},
      {"exactly 9 days old", cutoff - kDay, false},
      {"8 days 23 hours old", cutoff - 23 * kHour, false},
  };
  for (const auto& c : cases) {
    std::string old = lineAt(c.oldest) + lineAt(cutoff) + kReadingsSinceResumed;
    test::writeText(url, old);
    auto store = makeStore();
    HistoryChange change = store.record({window(WindowKind::session(), 5, kNow)}, dateFromSeconds1970(kNow));
    store.flush();
    EXPECT_EQ(change.prunedBefore, c.rewritten ? std::optional(dateFromSeconds1970(cutoff)) : std::nullopt) << c.name;
    auto kept = observationTimes(store.all());
    auto written = lines(url);
    if (c.rewritten) {
      EXPECT_EQ(kept, (std::vector<double>{cutoff, kResumed, kLatest, kNow})) << c.name;
      EXPECT_EQ(written.size(), 4u) << c.name;
    } else {
      EXPECT_EQ(kept, (std::vector<double>{c.oldest, cutoff, kResumed, kLatest, kNow})) << c.name;
      EXPECT_EQ(test::readText(url).substr(0, old.size()), old) << c.name;
      EXPECT_EQ(written.size(), 5u) << c.name;
    }
  }
}

TEST_F(HistoryStoreTest, ARecordRightAfterAPruneIsWrittenOnce) {
  test::writeText(url, kDueForAPrune);
  auto store = makeStore();
  ASSERT_TRUE(store.record({window(WindowKind::session(), 5, kNow)}, dateFromSeconds1970(kNow)).prunedBefore);
  // Most likely before the writer has taken the rewrite, which covers this sample too.
  store.record({window(WindowKind::session(), 6, kNow + 1)}, dateFromSeconds1970(kNow + 1));
  store.flush();
  EXPECT_EQ(makeStore().all(), store.all());
  EXPECT_EQ(lines(url).size(), 4u);
}

TEST_F(HistoryStoreTest, LoadsEveryGoodLineOfADamagedFile) {
  const char kGarbage[] = "\x00\xff\xfe{\"k\":\x01\x02\n\x89PNG\r\n\x1a";
  const std::string garbage(kGarbage, sizeof kGarbage - 1);
  std::string text = std::string("{\"k\":\"week\",\"u\":42,\"t\":86400}\n") +      // the plainest form
                     "\n" +                                                        // blank line
                     "{\"t\":86300,\"u\":4.2e1,\"k\":\"session\",\"r\":null}\n" +  // any order, exponent, null
                     "{\"k\":\"week\",\"u\":43}\n" +                               // "t" missing
                     "{\"k\":\"week\",\"u\":\"43\",\"t\":86500}\n" +               // "u" a string
                     "{\"k\":7,\"u\":43,\"t\":86500}\n" +                          // "k" a number
                     "{\"k\":\"week\",\"u\":43,\"t\":86500,\"r\":\"soon\"}\n" +    // "r" a string
                     garbage + "\n" +                                              //
                     "{\"k\":\"week\",\"u\":44,\"t\":86400,\"x\":[1,{}]}\n" +      // unknown key, equal time
                     "{\"k\":\"" + std::string(10 << 20, 'w') + "\n" +             // a 10 MB torn line
                     "[1,2,3]\n" +                                                 //
                     "{\"k\":\"hourly\",\"u\":1,\"t\":90000,\"r\":90001}\n" +      // unknown kind keeps its key
                     "{\"k\":\"week\",\"u\":45,\"t\":86";                          // torn last line
  test::writeText(url, text);

  auto samples = makeStore().all();
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_EQ(samples[0], HistorySample(WindowKind::session(), 42, std::nullopt, dateFromSeconds1970(86300)));
  EXPECT_EQ(samples[1], HistorySample(WindowKind::week(), 42, std::nullopt, dateFromSeconds1970(86400)));
  EXPECT_EQ(samples[2].usedPercent, 44);  // equal times keep file order
  EXPECT_EQ(samples[3].kindKey, "hourly");
  EXPECT_FALSE(samples[3].kind());
  EXPECT_EQ(samples[3].resetsAt, dateFromSeconds1970(90001));
}

// A week of samples names a few kinds: loaded or recorded, the samples of
// one kind share one key, and samples() is the store's own list.
TEST_F(HistoryStoreTest, SamplesOfOneKindShareTheirKey) {
  test::writeText(
      url, lineAt(kNow - 30) + R"({"k":"session","u":1,"t":)" + std::to_string(kNow - 20) + "}\n" + lineAt(kNow - 10));
  auto store = makeStore();
  store.record({window(WindowKind::week(), 2, kNow), window(WindowKind::session(), 2, kNow)},
               dateFromSeconds1970(kNow));
  const std::vector<HistorySample>& samples = store.samples();
  ASSERT_EQ(samples.size(), 5u);
  EXPECT_EQ(samples, store.all());
  EXPECT_EQ(&samples, &store.samples());
  auto keyOf = [&samples](std::size_t i) { return static_cast<const void*>(samples[i].kindKey.view().data()); };
  EXPECT_EQ(samples[0].kindKey, "week");
  EXPECT_EQ(keyOf(0), keyOf(2));
  EXPECT_EQ(keyOf(0), keyOf(3)) << "a recorded sample takes the loaded key";
  EXPECT_EQ(samples[1].kindKey, "session");
  EXPECT_EQ(keyOf(1), keyOf(4));
}

TEST_F(HistoryStoreTest, AppendAfterATornTailStartsOnItsOwnLine) {
  const std::string earlier = json{{"k", "week"}, {"u", 1}, {"t", kNow - 100}}.dump();
  const std::string good = json{{"k", "week"}, {"u", 2}, {"t", kNow - 50}}.dump();
  for (const std::string& tail : {std::string("{\"k\":\"session\",\"u\":4"), good}) {
    test::writeText(url, earlier + "\n" + tail);
    makeStore().record({window(WindowKind::session(), 40, kNow)}, dateFromSeconds1970(kNow));
    auto loaded = makeStore().all();
    EXPECT_EQ(loaded.back(), HistorySample(window(WindowKind::session(), 40, kNow))) << tail;
    EXPECT_EQ(loaded.size(), tail == good ? 3u : 2u) << tail;
  }
}

TEST_F(HistoryStoreTest, NonFiniteNumbersStayInMemoryButGetNoLine) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  auto store = makeStore();
  store.record({window(WindowKind::session(), kNaN, kNow), window(WindowKind::week(), 10, kNow, kInf),
                window(WindowKind::weekModel("Opus"), 10, kNow)},
               dateFromSeconds1970(kNow));
  store.flush();
  EXPECT_EQ(store.all().size(), 3u);
  auto written = lines(url);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(json::parse(written[0])["k"], "week:Opus");
  EXPECT_EQ(written[0].find("null"), std::string::npos);
}

TEST_F(HistoryStoreTest, AFileThatCannotBeAppendedToIsNeverReplaced) {
  fs::create_directories(url);  // a folder where the file should be
  auto store = makeStore();
  store.record({window(WindowKind::session(), 40, kNow)}, dateFromSeconds1970(kNow));
  store.flush();
  EXPECT_TRUE(fs::is_directory(url));
  EXPECT_EQ(store.all().size(), 1u);
}

// Nor is a FIFO or a socket in its place, by the rewrite that would bring
// back what its appends lost.
TEST_F(HistoryStoreTest, WhatIsNotAFileIsNeverReplacedByARewrite) {
  for (test::SpecialFile kind : {test::SpecialFile::fifo, test::SpecialFile::socket, test::SpecialFile::folder}) {
    SCOPED_TRACE(test::nameOf(kind));
    fs::remove_all(url.parent_path());
    test::makeSpecialFile(url, kind, 0);
    const auto type = fs::symlink_status(url).type();
    auto store = makeStore();
    EXPECT_EQ(store.record({window(WindowKind::session(), 40, kNow)}, dateFromSeconds1970(kNow)).written,
              test::refusalOf(kind));
    EXPECT_EQ(store.flush(), test::refusalOf(kind));
    EXPECT_EQ(fs::symlink_status(url).type(), type);
    EXPECT_EQ(std::distance(fs::directory_iterator(url.parent_path()), fs::directory_iterator()), 1)
        << "no temporary left";
  }
}

TEST_F(HistoryStoreTest, TimesNoCalendarCanShowCountAsAbsent) {
  test::writeText(url,
                  "{\"k\":\"week\",\"u\":1,\"t\":86400,\"r\":1e300}\n"
                  "{\"k\":\"week\",\"u\":2,\"t\":86500,\"r\":-86400}\n"
                  "{\"k\":\"week\",\"u\":3,\"t\":1e300}\n"
                  "{\"k\":\"week\",\"u\":4,\"t\":-1}\n");
  auto samples = makeStore().all();
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0], HistorySample(WindowKind::week(), 1, std::nullopt, dateFromSeconds1970(86400)));
  EXPECT_EQ(samples[1], HistorySample(WindowKind::week(), 2, std::nullopt, dateFromSeconds1970(86500)));
}

TEST_F(HistoryStoreTest, CallersFromSeveralThreadsEachGetTheirLines) {
  auto store = makeStore();
  auto recordMany = [&store](WindowKind kind) {
    for (int i = 0; i < 200; ++i) store.record({window(kind, i, kNow + i)}, dateFromSeconds1970(kNow + i));
  };
  std::thread first(recordMany, WindowKind::session());
  std::thread second(recordMany, WindowKind::week());
  first.join();
  second.join();
  store.flush();
  auto written = lines(url);
  EXPECT_EQ(written.size(), 400u);
  EXPECT_EQ(makeStore().all().size(), 400u);
}

TEST_F(HistoryStoreTest, EveryRecordSaysHowTheFileTookIt) {
  struct Case {
    const char* name;
    std::function<void()> setUp;
    std::error_code written;
  } cases[] = {
      {"no file yet", [] {}, {}},
      {"a file", [this] { test::writeText(url, ""); }, {}},
      {"a folder in its place", [this] { fs::create_directories(url); },
       std::make_error_code(std::errc::is_a_directory)},
  };
  for (const auto& c : cases) {
    fs::remove_all(url.parent_path());
    c.setUp();
    auto store = makeStore();
    EXPECT_EQ(store.record({window(WindowKind::session(), 40, kNow)}, dateFromSeconds1970(kNow)).written, c.written)
        << c.name;
    EXPECT_EQ(store.record({window(WindowKind::session(), 40, kNow + 1)}, dateFromSeconds1970(kNow)).written,
              std::nullopt)
        << c.name << ": nothing recorded, nothing written";
    EXPECT_EQ(store.all().size(), 1u) << c.name;
  }
}

TEST_F(HistoryStoreTest, AFailedRewriteLosesNothingAndIsToldAtTheNextRecord) {
  test::writeText(url, kDueForAPrune);
  auto store = makeStore();
  {
    test::LockedFolder folder(url.parent_path());  // no temporary can be made beside the file
    if (!folder.held()) GTEST_SKIP() << "this file system cannot lock a folder";
    HistoryChange pruned = store.record({window(WindowKind::session(), 5, kNow)}, dateFromSeconds1970(kNow));
    EXPECT_EQ(pruned.written, std::error_code()) << "the append went through";
    ASSERT_TRUE(pruned.prunedBefore);
    store.flush();
    HistoryChange next = store.record({window(WindowKind::session(), 6, kNow + 1)}, dateFromSeconds1970(kNow));
    ASSERT_TRUE(next.written);
    EXPECT_TRUE(*next.written) << "the rewrite's failure";
  }
  EXPECT_EQ(store.record({window(WindowKind::session(), 7, kNow + 2)}, dateFromSeconds1970(kNow)).written,
            std::error_code())
      << "told once";
  EXPECT_EQ(observationTimes(makeStore().all()),
            (std::vector<double>{kTooOld, kResumed, kLatest, kNow, kNow + 1, kNow + 2}))
      << "the old file kept every line";
}

// The rewrite is held after its copy of memory while more is recorded: the
// new file takes those lines too, and each only once.
TEST_F(HistoryStoreTest, LinesRecordedWhileARewriteRunsReachTheNewFileOnce) {
  test::writeText(url, kDueForAPrune);
  auto store = makeStore();
  HeldRewrite rewrite(store);
  ASSERT_TRUE(store.record({window(WindowKind::session(), 5, kNow)}, dateFromSeconds1970(kNow)).prunedBefore);
  ASSERT_TRUE(rewrite.copied());
  store.record({window(WindowKind::session(), 6, kNow + 1)}, dateFromSeconds1970(kNow + 1));
  store.record({window(WindowKind::week(), 7, kNow + 2)}, dateFromSeconds1970(kNow + 2));
  rewrite.release();
  EXPECT_EQ(store.flush(), std::error_code());
  EXPECT_EQ(observationTimes(makeStore().all()), (std::vector<double>{kResumed, kLatest, kNow, kNow + 1, kNow + 2}));
  EXPECT_EQ(lines(url).size(), 5u);
}

// Samples whose append failed are in memory only: once appends work again,
// or at the flush before quitting, the file is rewritten from memory and has
// them all; until that rewrite has landed each record still tells the failure.
TEST_F(HistoryStoreTest, LinesAFailedAppendLostComeBackFromMemory) {
  for (bool recordsAgain : {true, false}) {
    SCOPED_TRACE(recordsAgain ? "a record whose append works" : "a flush");
    fs::remove_all(url.parent_path());
    fs::create_directories(url);  // a folder where the file should be
    auto store = makeStore();
    const std::error_code failure = std::make_error_code(std::errc::is_a_directory);
    EXPECT_EQ(store.record({window(WindowKind::session(), 20, kNow)}, dateFromSeconds1970(kNow)).written, failure);
    EXPECT_EQ(store.record({window(WindowKind::week(), 21, kNow + 1)}, dateFromSeconds1970(kNow + 1)).written, failure);
    fs::remove(url);
    std::vector<double> expected = {kNow, kNow + 1};
    if (recordsAgain) {
      EXPECT_EQ(store.record({window(WindowKind::session(), 22, kNow + 2)}, dateFromSeconds1970(kNow + 2)).written,
                failure)
          << "the file lacks lines until the rewrite has landed";
      expected.push_back(kNow + 2);
    }
    EXPECT_EQ(store.flush(), std::error_code());
    EXPECT_EQ(observationTimes(makeStore().all()), expected);
    EXPECT_EQ(lines(url).size(), expected.size());
    EXPECT_EQ(store.record({window(WindowKind::session(), 23, kNow + 3)}, dateFromSeconds1970(kNow + 3)).written,
              std::error_code());
  }
}

// A file that could not be read is never rebuilt from memory, which lacks
// its lines: a failed append is then told, and nothing more.
TEST_F(HistoryStoreTest, AFileThatCouldNotBeReadIsNotRebuiltAfterAFailedAppend) {
  test::writeText(url, json{{"k", "week"}, {"u", 1}, {"t", kNow - 100}}.dump() + "\n");
  fs::resize_file(url, HistoryStore::kFileSizeLimit + 1);
  auto store = makeStore();
  EXPECT_EQ(store.loadError(), std::errc::file_too_large);
  {
    test::LockedFile file(url);
    if (!file.held()) GTEST_SKIP() << "this file system cannot lock a file";
    EXPECT_TRUE(*store.record({window(WindowKind::session(), 20, kNow)}, dateFromSeconds1970(kNow)).written);
  }
  store.record({window(WindowKind::session(), 21, kNow + 1)}, dateFromSeconds1970(kNow + 1));
  store.flush();
  EXPECT_GT(fs::file_size(url), HistoryStore::kFileSizeLimit) << "the file that could not be read is still there";
}

// Nor does a prune: the samples in memory are pruned, the file keeps
// what could not be read, and the new lines are appended to it.
TEST_F(HistoryStoreTest, AFileThatCouldNotBeReadIsNotRebuiltByAPrune) {
  test::writeText(url, json{{"k", "week"}, {"u", 1}, {"t", kNow - 100}}.dump() + "\n");
  fs::resize_file(url, HistoryStore::kFileSizeLimit + 1);
  auto store = makeStore();
  store.record({window(WindowKind::week(), 5, kTooOld)}, dateFromSeconds1970(kTooOld));
  store.record({window(WindowKind::week(), 6, kResumed)}, dateFromSeconds1970(kResumed));
  store.record({window(WindowKind::week(), 7, kLatest)}, dateFromSeconds1970(kLatest));
  auto change = store.record({window(WindowKind::session(), 20, kNow)}, dateFromSeconds1970(kNow));
  EXPECT_TRUE(change.prunedBefore) << "memory is pruned";
  store.flush();
  EXPECT_GT(fs::file_size(url), HistoryStore::kFileSizeLimit) << "the file that could not be read is still there";
  EXPECT_EQ(store.all().size(), 3u);
}

// Readings every ten minutes from `from` on: `count` of them, the
// percentage changing with each, all recorded at their own time.
std::vector<double> recordEveryTenMinutes(HistoryStore& store, double from, int count,
                                          std::vector<HistoryChange>* changes = nullptr) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    double at = from + i * 600;
    HistoryChange change = store.record({window(WindowKind::session(), i % 100, at)}, dateFromSeconds1970(at));
    if (change.added.size() == 1) times.push_back(at);
    if (changes) changes->push_back(std::move(change));
  }
  return times;
}

// A clock that runs ahead for a while, then comes back: what it stamped
// ahead is dropped, from memory and file, at the first reading on the right
// clock, which is recorded at once, as is every one after it; nothing is
// pruned meanwhile.
TEST_F(HistoryStoreTest, AClockThatRanAheadAndCameBackCostsNoHistory) {
  struct Case {
    const char* name;
    int before;
    double ahead;
    int aheadCount;
    int after;
    std::size_t kept;
  } cases[] = {
      {"ten days ahead for one reading", 1008, 10 * kDay, 1, 50, 1058},
      {"three hours ahead for an hour", 144, 3 * kHour, 6, 10, 154},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(url.parent_path());
    auto store = makeStore();
    std::vector<double> expected = recordEveryTenMinutes(store, kNow, c.before);
    const double last = kNow + (c.before - 1) * 600;
    std::vector<HistoryChange> ahead;
    EXPECT_EQ(recordEveryTenMinutes(store, last + 600 + c.ahead, c.aheadCount, &ahead).size(),
              static_cast<std::size_t>(c.aheadCount));
    for (const auto& change : ahead) EXPECT_FALSE(change.prunedBefore);

    std::vector<HistoryChange> back;
    std::vector<double> afterwards = recordEveryTenMinutes(store, last + 600, c.after, &back);
    EXPECT_EQ(afterwards.size(), static_cast<std::size_t>(c.after)) << "every reading recorded at once";
    EXPECT_EQ(back.front().droppedAfter, dateFromSeconds1970(last + 600));
    EXPECT_FALSE(back.back().droppedAfter) << "dropped once";
    expected.insert(expected.end(), afterwards.begin(), afterwards.end());
    EXPECT_EQ(store.flush(), std::error_code());
    EXPECT_EQ(store.all().size(), c.kept);
    EXPECT_EQ(observationTimes(store.all()), expected);
    EXPECT_EQ(observationTimes(makeStore().all()), expected) << "the file holds the same";
    EXPECT_EQ(lines(url).size(), c.kept);
  }
}

// A machine that really was off for ten days: the prune that fell due on its
// return waits a day, told once, and then drops the old readings.
TEST_F(HistoryStoreTest, AfterARealAbsenceOldReadingsArePrunedWithinADay) {
  auto store = makeStore();
  recordEveryTenMinutes(store, kNow, 1008);
  const double resumed = kNow + 1007 * 600 + 10 * kDay;
  std::vector<HistoryChange> changes;
  recordEveryTenMinutes(store, resumed, 145, &changes);
  EXPECT_EQ(changes.front().pruneWaitsUntil, dateFromSeconds1970(resumed + kDay));
  for (std::size_t i = 1; i < changes.size(); ++i) EXPECT_FALSE(changes[i].pruneWaitsUntil) << i;
  for (std::size_t i = 0; i + 1 < changes.size(); ++i) EXPECT_FALSE(changes[i].prunedBefore) << i;
  EXPECT_EQ(changes.back().prunedBefore, dateFromSeconds1970(resumed + kDay - kHistoryRetention))
      << "a day after readings resumed";
  store.flush();
  std::vector<double> kept = observationTimes(makeStore().all());
  EXPECT_EQ(kept.size(), 145u);
  EXPECT_EQ(kept.front(), resumed);
}

// What the file says when the store starts: samples from a clock that came
// back while Ovel was not running go at the first reading; a jump that
// readings still follow keeps a prune waiting, as it did before the restart.
TEST_F(HistoryStoreTest, AFileFromAWrongClockIsJudgedAtTheFirstReading) {
  const double last = kNow + 1007 * 600;
  const double ahead = last + 10 * kDay;
  std::string text;
  for (int i = 0; i < 1008; ++i) text += json{{"k", "session"}, {"u", i % 100}, {"t", kNow + i * 600}}.dump() + "\n";
  for (int i = 0; i < 12; ++i) text += json{{"k", "week"}, {"u", i}, {"t", ahead + i * 600}}.dump() + "\n";

  test::writeText(url, text);
  auto cameBack = makeStore();
  HistoryChange first = cameBack.record({window(WindowKind::week(), 50, last + 600)}, dateFromSeconds1970(last + 600));
  EXPECT_EQ(first.droppedAfter, dateFromSeconds1970(last + 600));
  EXPECT_EQ(first.added.size(), 1u);
  cameBack.flush();
  EXPECT_EQ(makeStore().all().size(), 1009u);

  test::writeText(url, text);
  auto stillAhead = makeStore();
  HistoryChange next = stillAhead.record({window(WindowKind::week(), 50, ahead + 12 * 600)},
                                         dateFromSeconds1970(ahead + 12 * 600));
  EXPECT_FALSE(next.droppedAfter);
  EXPECT_FALSE(next.prunedBefore);
  EXPECT_EQ(next.pruneWaitsUntil, dateFromSeconds1970(ahead + kDay));
  EXPECT_EQ(stillAhead.all().size(), 1021u);
}

// Only a clock that came back by more than a few minutes drops anything: a
// stale reading (the relay's file read at start) or a clock set back by a
// few minutes drops nothing.
TEST_F(HistoryStoreTest, OnlyAClockThatCameBackDropsSamples) {
  struct Case {
    const char* name;
    UsageWindow reading;
    double now;
    std::size_t kept;
  } cases[] = {
      {"an hour old, now as before", window(WindowKind::week(), 7, kNow - kHour), kNow + 10, 3},
      {"five minutes back", window(WindowKind::week(), 7, kNow - 300), kNow - 300, 3},
      {"just over five minutes back", window(WindowKind::week(), 7, kNow - 301), kNow - 301, 2},
  };
  int index = 0;
  for (const auto& c : cases) {
    HistoryStore store(dir / ("case" + std::to_string(index++)), kHistoryRetention, kHistoryHeartbeat);
    store.record({window(WindowKind::week(), 5, kNow - 2 * kHour), window(WindowKind::session(), 6, kNow)},
                 dateFromSeconds1970(kNow));
    HistoryChange change = store.record({c.reading}, dateFromSeconds1970(c.now));
    EXPECT_EQ(change.droppedAfter.has_value(), c.kept == 2) << c.name;
    EXPECT_EQ(change.droppedCount, 3 - c.kept) << c.name;
    EXPECT_EQ(change.added.size(), 1u) << c.name;
    EXPECT_EQ(store.all().size(), c.kept) << c.name;
  }
}

// A rewrite that copied memory before a drop runs again after it: the file
// ends without what the clock stamped ahead.
TEST_F(HistoryStoreTest, ADropDuringARewriteReachesTheFile) {
  test::writeText(url, kDueForAPrune);
  auto store = makeStore();
  HeldRewrite rewrite(store);
  ASSERT_TRUE(store.record({window(WindowKind::session(), 5, kNow)}, dateFromSeconds1970(kNow)).prunedBefore);
  ASSERT_TRUE(rewrite.copied());
  store.record({window(WindowKind::session(), 6, kNow + 10 * kDay)}, dateFromSeconds1970(kNow + 10 * kDay));
  ASSERT_TRUE(store.record({window(WindowKind::session(), 7, kNow + 1)}, dateFromSeconds1970(kNow + 1)).droppedAfter);
  rewrite.release();
  EXPECT_EQ(store.flush(), std::error_code());
  EXPECT_EQ(observationTimes(makeStore().all()), (std::vector<double>{kResumed, kLatest, kNow, kNow + 1}));
  EXPECT_EQ(lines(url).size(), 4u);
}

// A child records and then dies at once, as under SIGKILL: every sample a
// record() returned for is in the file, exactly once, whatever the
// rewrite of a prune was doing at that moment.
TEST_F(HistoryStoreTest, WhatARecordReturnedForSurvivesAKill) {
  constexpr int kRecords = 30;
  struct Case {
    const char* name;
    std::string file;  // the first record's rewrite removes a line of it
  } cases[] = {
      {"without a rewrite", ""},
      {"with a prune", kDueForAPrune},
      {"with a drop of a line from a clock that came back", lineAt(kNow + 10 * kDay)},
  };
  for (const auto& c : cases) {
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(std::string(c.name) + ", round " + std::to_string(round));
      fs::remove_all(url.parent_path());
      if (!c.file.empty()) test::writeText(url, c.file);
      pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        // Never back into the test program: a throw ends the child, and so does a hang.
        ::alarm(static_cast<unsigned>(test::kWatchdogSeconds));
        try {
          HistoryStore store(url, kHistoryRetention, kHistoryHeartbeat);
          // The first record rewrites; the next ones come while its rewrite runs.
          for (int i = 0; i < kRecords; ++i)
            store.record({window(WindowKind::session(), i, kNow + i)}, dateFromSeconds1970(kNow + i));
        } catch (...) { ::_exit(2); }
        ::raise(SIGKILL);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      std::vector<double> times = observationTimes(makeStore().all());
      // The file's own lines: the rewrite may have finished or not.
      std::erase_if(times, [](double time) { return time < kNow || time >= kNow + kRecords; });
      std::vector<double> expected;
      for (int i = 0; i < kRecords; ++i) expected.push_back(kNow + i);
      EXPECT_EQ(times, expected);
      EXPECT_EQ(lines(url).size(), makeStore().all().size()) << "no torn or doubled line";
    }
  }
}

}  // namespace
}  // namespace ovel
