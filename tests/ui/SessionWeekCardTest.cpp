// The dashboard's session/week card: its texts and figures, learned or not.
#include "dashboard/SessionWeekCard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/UsageModelHarness.h"

namespace ovel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

SessionWeekRatio ratio(double p, std::int64_t sessions = 3, double points = 47.5) { return {p, sessions, points}; }

TEST(SessionWeekCardTest, TextsAndFigures) {
  const std::string learning =
      "Ovel compares how your session and week climb together. It needs about 20 points of session use with week "
      "readings alongside; keep Ovel running.";
  const std::string threeSessions = "Learned from 3 sessions (48 session points) over the last 8 days.";
  struct Row {
    const char* name;
    std::optional<SessionWeekRatio> ratio;
    std::optional<double> weekUsed;
    SessionWeekCard::Texts expected;
  } rows[] = {
      {"learning, whatever the week", std::nullopt, 40, {"Still learning", learning, std::nullopt, std::nullopt}},
      {"learning without a week", std::nullopt, std::nullopt, {"Still learning", learning, std::nullopt, std::nullopt}},
      {"learned", ratio(0.25), 40, {"A full 5-hour session \u2248 25% of your week", threeSessions, "4.0", "2.4"}},
      {"one session, no week reading",
       ratio(0.25, 1, 20.4),
       std::nullopt,
       {"A full 5-hour session \u2248 25% of your week",
        "Learned from 1 session (20 session points) over the last 8 days.", "4.0", std::nullopt}},
      {"twenty a week has no decimal",
       ratio(0.05),
       40,
       {"A full 5-hour session \u2248 5% of your week", threeSessions, "20", "12"}},
      {"a week past its limit leaves none",
       ratio(0.25),
       130,
       {"A full 5-hour session \u2248 25% of your week", threeSessions, "4.0", "0.0"}},
      {"a free session: zero ratio",
       ratio(0),
       40,
       {"A full 5-hour session \u2248 0% of your week", threeSessions, "\u221E", "\u221E"}},
      {"a tiny ratio",
       ratio(1e-6),
       40,
       {"A full 5-hour session \u2248 0% of your week", threeSessions, "1000000", "600000"}},
      {"a ratio too small to divide by",
       ratio(1e-320),
       40,
       {"A full 5-hour session \u2248 0% of your week", threeSessions, "\u221E", "\u221E"}},
      {"a huge ratio", ratio(3), 40, {"A full 5-hour session \u2248 300% of your week", threeSessions, "0.3", "0.2"}},
      {"a ratio that is not a number",
       ratio(kNaN),
       40,
       {"A full 5-hour session \u2248 \u2014 of your week", threeSessions, "\u2014", "\u2014"}},
      {"a week reading that is not a number",
       ratio(0.25),
       kNaN,
       {"A full 5-hour session \u2248 25% of your week", threeSessions, "4.0", "\u2014"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SessionWeekCard::Texts texts = SessionWeekCard::texts(row.ratio, row.weekUsed);
    EXPECT_EQ(texts.headline, row.expected.headline);
    EXPECT_EQ(texts.caption, row.expected.caption);
    EXPECT_EQ(texts.perWeek, row.expected.perWeek);
    EXPECT_EQ(texts.left, row.expected.left);
  }
}

TEST(SessionWeekCardTest, SessionsFigure) {
  struct Row {
    double sessions;
    const char* expected;
  } rows[] = {{0, "0.0"},      {2.44, "2.4"}, {9.94, "9.9"},
              {10, "10"},      {12.4, "12"},  {std::numeric_limits<double>::infinity(), "\u221E"},
              {kNaN, "\u2014"}};
  for (const Row& row : rows) EXPECT_EQ(SessionWeekCard::sessionsFigure(row.sessions), row.expected) << row.sessions;
}

class SessionWeekCardModelTest : public test::UsageModelTest {};

TEST_F(SessionWeekCardModelTest, FollowsTheLearnedRatioAndTheWeek) {
  SessionWeekCard card(*model);
  EXPECT_EQ(card.shown().headline, "Still learning");
  using Figures = std::pair<std::string, std::string>;
  auto figures = [&card] { return Figures(card.shown().perWeek.value_or("none"), card.shown().left.value_or("none")); };
  EXPECT_EQ(figures(), Figures("none", "none"));

  // A session climbs 40 points while the week climbs 10: a session costs a
  // quarter of the week.
  for (int step = 0; step <= 8; ++step) {
    clock->set(test::at(600.0 * step));
    UsageModelInternals::ingest(
        *model, {test::sessionReading(5.0 * step, clock->now()), test::weekReading(10 + 1.25 * step, clock->now())});
  }
  model->recompute();
  ASSERT_TRUE(model->sessionWeekRatio());
  EXPECT_EQ(card.shown().headline, "A full 5-hour session \u2248 25% of your week");
  EXPECT_EQ(figures(), Figures("4.0", "3.2"));
}

}  // namespace
}  // namespace ovel
