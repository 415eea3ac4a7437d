// The merge of readings into the believed state.
#include "core/engine/UsageState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovel {
namespace {

constexpr double kT0 = 1'760'000'000;
constexpr double kReset = kT0 + 3 * 3600;
// The merges' `now`, when no believed reading is to be stamped ahead of it.
const Date kAfterEveryReading = dateFromSeconds1970(kT0 + kDay);

UsageWindow reading(WindowKind kind, double percent, double at, std::optional<double> reset = kReset,
                    DataSource source = DataSource::usageCommand) {
  UsageWindow window;
  window.kind = std::move(kind);
  window.usedPercent = percent;
  if (reset) window.resetsAt = dateFromSeconds1970(*reset);
  window.observedAt = dateFromSeconds1970(kT0 + at);
  window.source = source;
  return window;
}

UsageWindow session(double percent, double at, std::optional<double> reset = kReset) {
  return reading(WindowKind::session(), percent, at, reset);
}

// One step of a merge sequence: a session reading, or (without one) a call
// of expectReset for the session; then what the state must believe.
struct Step {
  std::optional<UsageWindow> read;
  double believed;
  std::optional<double> pendingPercent = std::nullopt;
  std::optional<double> pendingAt = std::nullopt;
  bool expecting = false;
};

struct Sequence {
  const char* name;
  std::vector<Step> steps;
};

Step expect(double believed, std::optional<double> pendingPercent = std::nullopt,
            std::optional<double> pendingAt = std::nullopt) {
  return {std::nullopt, believed, pendingPercent, pendingAt, true};
}

TEST(UsageStateTest, MergeSequences) {
  const double kNewReset = kReset + 300;
  const Sequence sequences[] = {
      {"a fall under ten points is held and leaves no pending drop", {{session(50, 0), 50}, {session(41, 10), 50}}},
      {"a low reading confirmed a minute after the previous one",
       {{session(50, 0), 50}, {session(30, 10), 50, 30, 10}, {session(30, 40), 50, 30, 40}, {session(28, 105), 28}}},
      {"a confirming reading more than three points under the pending one starts over",
       {{session(50, 0), 50},
        {session(30, 10), 50, 30, 10},
        {session(30, 40), 50, 30, 40},
        {session(26, 105), 50, 26, 105}}},
      {"exactly a minute and exactly three points below confirm",
       {{session(50, 0), 50}, {session(30, 10), 50, 30, 10}, {session(27, 70), 27}}},
      {"a fall of exactly ten points can be confirmed",
       {{session(50, 0), 50}, {session(40, 10), 50, 40, 10}, {session(40, 70), 40}}},
      {"a higher confirming reading is believed while it is still a large fall",
       {{session(50, 0), 50}, {session(30, 10), 50, 30, 10}, {session(38, 70), 38}}},
      {"a small fall after a pending one leaves the pending one alone",
       {{session(50, 0), 50}, {session(30, 10), 50, 30, 10}, {session(45, 70), 50, 30, 10}}},
      {"low readings less than a minute apart never confirm each other",
       {{session(50, 0), 50},
        {session(30, 10), 50, 30, 10},
        {session(30, 60), 50, 30, 60},
        {session(30, 110), 50, 30, 110},
        {session(30, 169), 50, 30, 169}}},
      {"an expected reset lets the first large fall through at once",
       {{session(50, 0), 50},
        expect(50),
        {session(45, 10), 50, std::nullopt, std::nullopt, true},
        {session(55, 20), 55, std::nullopt, std::nullopt, true},
        {session(43, 30), 43},
        {session(20, 40), 43, 20, 40}}},
      {"an expected reset clears a pending drop when it is used",
       {{session(50, 0), 50}, {session(30, 10), 50, 30, 10}, expect(50, 30, 10), {session(30, 20), 30}}},
      {"a rise clears the pending drop but keeps the expectation",
       {{session(50, 0), 50},
        {session(30, 10), 50, 30, 10},
        expect(50, 30, 10),
        {session(60, 20), 60, std::nullopt, std::nullopt, true}}},
      {"a new window instance is believed however low and clears everything",
       {{session(50, 0), 50}, {session(30, 10), 50, 30, 10}, expect(50, 30, 10), {session(5, 20, kNewReset), 5}}},
      {"a reset time where the believed one had none is a new instance",
       {{session(50, 0, std::nullopt), 50}, {session(5, 10), 5}}},
      {"reset times 299 s apart are one instance", {{session(50, 0), 50}, {session(5, 10, kReset + 299), 50, 5, 10}}},
      {"an earlier observation is ignored even from a new instance",
       {{session(50, 10), 50}, {session(5, 9, kNewReset), 50}, {session(30, 11), 50, 30, 11}}},
      {"an equal observation time is still merged", {{session(50, 0), 50}, {session(60, 0), 60}}},
  };
  for (const auto& sequence : sequences) {
    UsageState state;
    for (std::size_t i = 0; i < sequence.steps.size(); ++i) {
      const Step& step = sequence.steps[i];
      if (step.read) state.merge({*step.read}, step.read->observedAt);
      else state.expectReset({WindowKind::session()});
      std::string where = std::string(sequence.name) + ", step " + std::to_string(i);
      ASSERT_EQ(state.windows().size(), 1u) << where;
      EXPECT_EQ(state.windows().at(WindowKind::session()).usedPercent, step.believed) << where;
      auto pending = state.pendingDrops().find(WindowKind::session());
      ASSERT_EQ(pending != state.pendingDrops().end(), step.pendingPercent.has_value()) << where;
      if (step.pendingPercent) {
        EXPECT_EQ(pending->second.usedPercent, *step.pendingPercent) << where;
        EXPECT_EQ(pending->second.observedAt, dateFromSeconds1970(kT0 + *step.pendingAt)) << where;
      }
      EXPECT_EQ(state.expectingReset().contains(WindowKind::session()), step.expecting) << where;
    }
  }
}

// A believed reading stamped by a clock that has since come back keeps no
// reading out; the drop rules still judge the taken one's percentage.
TEST(UsageStateTest, AReadingIsTakenOverOneStampedByAClockThatCameBack) {
  struct Case {
    const char* name;
    double heldAt, readAt, readPercent, now;
    double believed, believedAt;
  } cases[] = {
      {"stamped ten days ahead", 10 * kDay, 60, 55, 60, 55, 60},
      {"a fall from it is still held back", 10 * kDay, 60, 30, 60, 50, 60},
      {"just over a few minutes ahead", 301, 0, 55, 0, 55, 0},
      {"a few minutes ahead is no news", 300, 0, 55, 0, 50, 300},
      {"ahead of the reading but not of now: a stale reading", 1000, 0, 55, 1000, 50, 1000},
  };
  for (const auto& c : cases) {
    UsageState state;
    state.merge({session(50, c.heldAt)}, dateFromSeconds1970(kT0 + c.heldAt));
    state.merge({session(c.readPercent, c.readAt)}, dateFromSeconds1970(kT0 + c.now));
    const UsageWindow& believed = state.windows().at(WindowKind::session());
    EXPECT_EQ(believed.usedPercent, c.believed) << c.name;
    EXPECT_EQ(believed.observedAt, dateFromSeconds1970(kT0 + c.believedAt)) << c.name;
  }
}

TEST(UsageStateTest, HeldFallStillTakesTheNewReadingsOtherFields) {
  UsageState state;
  state.merge({session(50, 0)}, kAfterEveryReading);
  UsageWindow lower = reading(WindowKind::session(), 41, 10, kReset + 120, DataSource::statusLine);
  state.merge({lower}, kAfterEveryReading);
  UsageWindow expected = lower;
  expected.usedPercent = 50;
  EXPECT_EQ(state.windows().at(WindowKind::session()), expected);
}

TEST(UsageStateTest, BatchesApplyInOrderAndKindsStayApart) {
  UsageState stepwise;
  stepwise.merge({session(50, 0)}, kAfterEveryReading);
  stepwise.merge({session(30, 10)}, kAfterEveryReading);
  UsageState batched;
  batched.merge({session(50, 0), session(30, 10)}, kAfterEveryReading);
  EXPECT_EQ(batched, stepwise);

  UsageState unchanged = batched;
  batched.merge({}, kAfterEveryReading);
  EXPECT_EQ(batched, unchanged);

  // A session drop pending says nothing about the week.
  batched.merge({reading(WindowKind::week(), 80, 0, kT0 + 86400), reading(WindowKind::week(), 60, 100, kT0 + 86400)},
                kAfterEveryReading);
  EXPECT_EQ(batched.windows().at(WindowKind::week()).usedPercent, 80);
  EXPECT_EQ(batched.pendingDrops().at(WindowKind::week()).usedPercent, 60);
  EXPECT_EQ(batched.pendingDrops().at(WindowKind::session()).usedPercent, 30);
}

TEST(UsageStateTest, CurrentZeroesPassedResetsAndSortsByKind) {
  UsageState state;
  state.merge({reading(WindowKind::weekModel("b"), 10, 0, kT0 + 500), reading(WindowKind::weekModel("a"), 20, 0),
               reading(WindowKind::week(), 30, 0, std::nullopt), session(40, 0, kT0 + 100)},
              kAfterEveryReading);

  auto before = state.current(dateFromSeconds1970(kT0 + 99));
  ASSERT_EQ(before.size(), 4u);
  EXPECT_EQ(before[0].kind, WindowKind::session());
  EXPECT_EQ(before[1].kind, WindowKind::week());
  EXPECT_EQ(before[2].kind, WindowKind::weekModel("a"));
  EXPECT_EQ(before[3].kind, WindowKind::weekModel("b"));
  EXPECT_EQ(before[0].usedPercent, 40);

  auto after = state.current(dateFromSeconds1970(kT0 + 100));
  EXPECT_EQ(after[0].usedPercent, 0);
  EXPECT_FALSE(after[0].resetsAt);
  EXPECT_EQ(after[0].observedAt, dateFromSeconds1970(kT0));
  EXPECT_EQ(after[1].usedPercent, 30);  // no reset time never resets
  EXPECT_EQ(after[3].usedPercent, 10);
  // The stored reading is untouched.
  EXPECT_EQ(state.windows().at(WindowKind::session()).usedPercent, 40);
}

TEST(UsageStateTest, LastObservedCountsBelievedReadingsOnly) {
  UsageState state;
  EXPECT_FALSE(state.lastObservedAt());
  state.merge({session(50, 10), reading(WindowKind::week(), 20, 30, std::nullopt, DataSource::statusLine)},
              kAfterEveryReading);
  EXPECT_EQ(state.lastObservedAt(), dateFromSeconds1970(kT0 + 30));
  EXPECT_EQ(state.lastObserved(DataSource::usageCommand), dateFromSeconds1970(kT0 + 10));
  EXPECT_EQ(state.lastObserved(DataSource::statusLine), dateFromSeconds1970(kT0 + 30));

  // A pending drop from the status line, then a small fall from the probe:
  // the believed reading now carries the probe as its source.
  UsageState held;
  held.merge({session(50, 0), reading(WindowKind::session(), 30, 10, kReset, DataSource::statusLine), session(45, 20)},
             kAfterEveryReading);
  ASSERT_EQ(held.pendingDrops().at(WindowKind::session()).source, DataSource::statusLine);
  EXPECT_FALSE(held.lastObserved(DataSource::statusLine));
  EXPECT_EQ(held.lastObservedAt(), dateFromSeconds1970(kT0 + 20));
}

TEST(UsageStateTest, ExpectationsAndInsights) {
  UsageState state;
  state.expectReset({WindowKind::session(), WindowKind::week()});
  state.expectReset({WindowKind::week()});
  EXPECT_EQ(state.expectingReset(), (std::set<WindowKind>{WindowKind::session(), WindowKind::week()}));

  EXPECT_FALSE(state.insights());
  UsageInsights insights{{{"Last 24h", 12, std::nullopt, {}, {}, {}}}, dateFromSeconds1970(kT0)};
  state.setInsights(insights);
  state.setInsights(std::nullopt);
  EXPECT_EQ(state.insights(), insights);

  UsageState same = state;
  EXPECT_EQ(same, state);
  same.setInsights(UsageInsights{{}, dateFromSeconds1970(kT0)});
  EXPECT_NE(same, state);
}

}  // namespace
}  // namespace ovel
