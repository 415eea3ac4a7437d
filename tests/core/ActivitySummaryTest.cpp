#include "core/engine/ActivitySummary.h"

#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestSupport.h"

namespace ovel {

void PrintTo(const ActivitySummary::Slice& slice, std::ostream* out) {
  *out << "(" << slice.name << ", " << slice.weight << ", " << slice.share << ")";
}

namespace {

using test::activityEvent;
using test::at;
using Slice = ActivitySummary::Slice;

constexpr double kMinute = 60;

TEST(ActivitySummaryTest, EmptySummaryAnswersWithZeros) {
  ActivitySummary empty;
  EXPECT_EQ(empty.lastEventAt(), std::nullopt);
  EXPECT_EQ(empty.weight(at(-3600), at(0)), 0);
  EXPECT_TRUE(empty.projects(at(-3600), 3).empty());
  EXPECT_TRUE(empty.models(at(-3600), 3).empty());
  auto buckets = empty.timeline(at(0), at(3600), 25 * kMinute);
  ASSERT_EQ(buckets.size(), 3u);
  for (const auto& bucket : buckets) EXPECT_EQ(bucket.weight, 0);
}

TEST(ActivitySummaryTest, SortsStablyByTimestamp) {
  ActivitySummary summary({activityEvent(600, 1, "/c"), activityEvent(0, 2, "/a"), activityEvent(600, 3, "/d"),
                           activityEvent(-600, 4, "/b")});
  std::vector<std::string> order;
  for (const auto& event : summary.events()) order.push_back(event.cwd);
  EXPECT_EQ(order, (std::vector<std::string>{"/b", "/a", "/c", "/d"}));
  EXPECT_EQ(summary.lastEventAt(), at(600));

  // Enough events that an unstable sort would reorder equal timestamps.
  std::vector<ActivityEvent> many;
  for (int i = 0; i < 200; ++i) many.push_back(activityEvent(60.0 * ((199 - i) % 4), 1, std::to_string(i)));
  ActivitySummary sorted(many);
  for (std::size_t i = 1; i < sorted.events().size(); ++i) {
    const auto& previous = sorted.events()[i - 1];
    const auto& event = sorted.events()[i];
    ASSERT_LE(previous.timestamp, event.timestamp);
    if (previous.timestamp == event.timestamp) { EXPECT_LT(std::stoi(previous.cwd), std::stoi(event.cwd)); }
  }
}

TEST(ActivitySummaryTest, RangesAreHalfOpen) {
  // Events at 10:00, 10:05 and 10:10 (offsets 0, 300, 600).
  ActivitySummary summary({activityEvent(0, 1), activityEvent(300, 2), activityEvent(600, 4)});
  auto run = summary.events(at(300), at(600));
  ASSERT_EQ(run.size(), 1u);
  EXPECT_EQ(run[0].timestamp, at(300));
  EXPECT_EQ(summary.weight(at(300), at(600)), 2);
  EXPECT_EQ(summary.weight(at(0), at(601)), 7);
  EXPECT_EQ(summary.weight(at(600), at(300)), 0);
  EXPECT_TRUE(summary.events(at(600), at(300)).empty());
  EXPECT_EQ(summary.weight(at(601), at(9000)), 0);
}

TEST(ActivitySummaryTest, SlicesByProjectWithOther) {
  // Group sums A 6, B 3, C 1; B appears first so that order is not by name.
  ActivitySummary summary({activityEvent(0, 2, "/w/B"), activityEvent(10, 6, "/w/A"), activityEvent(20, 1, "/w/C"),
                           activityEvent(30, 1, "/w/B")});
  struct Case {
    std::size_t limit;
    std::vector<Slice> expected;
  } cases[] = {
      {2, {{"A", 6, 0.6}, {"B", 3, 0.3}, {"Other", 1, 0.1}}},
      {3, {{"A", 6, 0.6}, {"B", 3, 0.3}, {"C", 1, 0.1}}},
      {9, {{"A", 6, 0.6}, {"B", 3, 0.3}, {"C", 1, 0.1}}},
      {0, {{"Other", 10, 1.0}}},
  };
  for (const auto& c : cases) EXPECT_EQ(summary.projects(at(0), c.limit), c.expected) << "limit " << c.limit;
  // Since is inclusive, and nothing bounds it above.
  EXPECT_EQ(summary.projects(at(20), 5), (std::vector<Slice>{{"C", 1, 0.5}, {"B", 1, 0.5}}));
}

TEST(ActivitySummaryTest, SlicesTiesKeepFirstAppearanceAndSameLastNamesMerge) {
  ActivitySummary summary({activityEvent(0, 1, "/x/zeta"), activityEvent(1, 1, "/home/app"),
                           activityEvent(2, 1, "/work/app/"), activityEvent(3, 2, "/x/alpha")});
  EXPECT_EQ(summary.projects(at(0), 5), (std::vector<Slice>{{"app", 2, 0.4}, {"alpha", 2, 0.4}, {"zeta", 1, 0.2}}));
}

TEST(ActivitySummaryTest, WeightlessEventsGiveNoSlices) {
  ActivitySummary summary({activityEvent(0, 0, "/a"), activityEvent(1, 0, "/b")});
  EXPECT_TRUE(summary.projects(at(0), 0).empty());
  EXPECT_TRUE(summary.models(at(0), 1).empty());
}

TEST(ActivitySummaryTest, SlicesByModelFamily) {
  ActivitySummary summary({activityEvent(0, 3, "/a", "claude-opus-4-1"),
                           activityEvent(1, 300, "/a", "claude-sonnet-4-5"),
                           activityEvent(2, 3, "/a", "claude-3-5-sonnet-20241022")});
  // Opus weighs 3 x 5/3 = 5; the two sonnet ids are one family.
  auto slices = summary.models(at(0), 5);
  ASSERT_EQ(slices.size(), 2u);
  EXPECT_EQ(slices[0].name, "Sonnet");
  EXPECT_EQ(slices[0].weight, 303);
  EXPECT_EQ(slices[1].name, "Opus");
  EXPECT_DOUBLE_EQ(slices[1].weight, 5);
  EXPECT_DOUBLE_EQ(slices[0].share + slices[1].share, 1);
}

TEST(ActivitySummaryTest, ModelFamilies) {
  struct Case {
    const char* model;
    const char* family;
  } cases[] = {
      {"claude-3-5-sonnet-20241022", "Sonnet"},
      {"claude-opus-4-1", "Opus"},
      {"claude-haiku-4-5", "Haiku"},
      {"us-claude-sonnet", "Sonnet"},
      {"anthropic--claude-OPUS", "Opus"},
      {"unknown", "Unknown"},
      {"claude-4o", "4o"},
      {"claude-3", "claude-3"},
      {"CLAUDE-3", "CLAUDE-3"},
      {"---", "---"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ActivitySummary::modelFamily(c.model), c.family) << c.model;
}

TEST(ActivitySummaryTest, TimelineBuckets) {
  // From 00:00 to 01:00 in 25-minute buckets; the last reaches past 01:00.
  ActivitySummary summary({activityEvent(-1, 100), activityEvent(0, 1), activityEvent(24 * kMinute + 59, 2),
                           activityEvent(25 * kMinute, 4), activityEvent(55 * kMinute, 8),
                           activityEvent(60 * kMinute, 16)});
  auto buckets = summary.timeline(at(0), at(3600), 25 * kMinute);
  EXPECT_EQ(buckets, (std::vector<ActivitySummary::Bucket>{{at(0), 3}, {at(25 * kMinute), 4}, {at(50 * kMinute), 8}}));
  EXPECT_EQ(buckets[1].id(), at(25 * kMinute));
}

TEST(ActivitySummaryTest, TimelineRefusesEmptyOrDegenerateRanges) {
  ActivitySummary summary({activityEvent(0, 1)});
  EXPECT_TRUE(summary.timeline(at(0), at(0), 60).empty());
  EXPECT_TRUE(summary.timeline(at(60), at(0), 60).empty());
  EXPECT_TRUE(summary.timeline(at(0), at(3600), 0).empty());
  EXPECT_TRUE(summary.timeline(at(0), at(3600), -1).empty());
  EXPECT_TRUE(summary.timeline(at(0), at(3600), std::nan("")).empty());
  // A width so small that the buckets would not fit in memory.
  EXPECT_TRUE(summary.timeline(at(0), at(3600), 1e-9).empty());
}

}  // namespace
}  // namespace ovel
