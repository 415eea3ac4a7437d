// The /usage text grammar: window lines, reset times in time zones, period
// headers, share lists, findings, and whole texts.
#include "core/claude/UsageCommandParser.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace ovel {
namespace {

using Parser = UsageCommandParser;
using Finding = UsageInsights::Finding;
using Share = UsageInsights::Share;

Date at(const char* iso) { return *parseIsoDate(iso); }

std::optional<std::string> isoOf(const std::optional<Date>& date) {
  return date ? std::optional(isoString(*date)) : std::nullopt;
}

// 10:00 PST on Tuesday 3 March 2026, before the switch to PDT on 8 March.
const Date kNow = at("2026-03-03T18:00:00Z");
constexpr const char* kZone = "America/Los_Angeles";

TEST(UsageCommandParserTest, ReadsWindowLines) {
  struct Case {
    const char* line;
    std::optional<WindowKind> kind;
    double used = 0;
    std::optional<std::string> resetsAt = {};
  } cases[] = {
      {"Current session: 42% used · resets 3pm (America/Los_Angeles)", WindowKind::session(), 42,
       "2026-03-03T23:00:00Z"},
      {"Current week (all models): 13% used · resets Mar 6 at 9:30am (America/Los_Angeles)", WindowKind::week(), 13,
       "2026-03-06T17:30:00Z"},
      {"Current week (Opus): 5% used", WindowKind::weekModel("Opus"), 5, std::nullopt},
      {"Current week (Sonnet 4): 20% used", WindowKind::weekModel("Sonnet 4"), 20, std::nullopt},
      {"CURRENT SESSION: 5%", WindowKind::session(), 5, std::nullopt},
      {"Current Week (): 1%", WindowKind::week(), 1, std::nullopt},
      {"current week (ALL MODELS): 1%", WindowKind::week(), 1, std::nullopt},
      {"Current weekly: 1%", WindowKind::week(), 1, std::nullopt},
      {"Current week )Opus(: 1%", WindowKind::week(), 1, std::nullopt},
      // The first colon ends the label.
      {"Current week (Opus: 1%", WindowKind::week(), 1, std::nullopt},
      {"Current session: 100 % used", WindowKind::session(), 100, std::nullopt},
      {"Current session: 12.5%", WindowKind::session(), 12.5, std::nullopt},
      {"Current session: used 7%, was 9%", WindowKind::session(), 7, std::nullopt},
      // An unreadable reset time keeps the window.
      {"Current session: 42% used · resets soon", WindowKind::session(), 42, std::nullopt},
      {"Current session: 42% used · resets Foo 5 3pm", WindowKind::session(), 42, std::nullopt},
      {"Current session: 42% · RESETS 3PM", WindowKind::session(), 42, "2026-03-03T23:00:00Z"},
      // Current Claude Code dates every reset, with a comma after the day.
      {"Current week (all models): 12% used · resets Nov 24, 10am (UTC)", WindowKind::week(), 12,
       "2026-11-24T10:00:00Z"},
      {"Current session: 5% used · resets 1:30\u202Fpm (America/New_York)", WindowKind::session(), 5,
       "2026-03-03T18:30:00Z"},
      // Letter case in any script: a Kelvin sign folds to k, a long s to s.
      {"Current wee\u212A: 3%", WindowKind::week(), 3, std::nullopt},
      {"CURRENT \u017FESSION: 4% \u00B7 RE\u017FETS 3PM", WindowKind::session(), 4, "2026-03-03T23:00:00Z"},
      {"Current Week (ALL MODEL\u017F): 2%", WindowKind::week(), 2, std::nullopt},
      // Not window lines.
      {"Current session (beta): 5%", std::nullopt},
      {"Current session: n/a", std::nullopt},
      {"Current session 42%", std::nullopt},
      {"Current month: 5%", std::nullopt},
      {"Currently: 5%", std::nullopt},
      {"Current session: ٤٢% used", std::nullopt},  // digits \d accepts but a number cannot be read from
  };
  for (const auto& c : cases) {
    auto window = Parser::parseWindowLine(c.line, kNow, kZone);
    ASSERT_EQ(window.has_value(), c.kind.has_value()) << c.line;
    if (!window) continue;
    EXPECT_EQ(window->kind, *c.kind) << c.line;
    EXPECT_DOUBLE_EQ(window->usedPercent, c.used) << c.line;
    EXPECT_EQ(isoOf(window->resetsAt), c.resetsAt) << c.line;
    EXPECT_EQ(window->observedAt, kNow) << c.line;
    EXPECT_EQ(window->source, DataSource::usageCommand) << c.line;
  }
}

TEST(UsageCommandParserTest, ResolvesResetTimesAgainstNowInTheirZone) {
  struct Case {
    const char* text;
    std::optional<std::string> expected;
    Date now = kNow;
  } cases[] = {
      {"3pm", "2026-03-03T23:00:00Z"},
      {"3 PM", "2026-03-03T23:00:00Z"},
      {"  3pm (America/Los_Angeles) ", "2026-03-03T23:00:00Z"},
      {"3\u00A0pm", "2026-03-03T23:00:00Z"},
      // An unknown zone leaves the system zone; the parentheses still go.
      {"3pm (Not/AZone)", "2026-03-03T23:00:00Z"},
      // 15:00 CET is already past, so it is tomorrow's.
      {"3pm (Europe/Berlin)", "2026-03-04T14:00:00Z"},
      {"3pm (UTC) extra", "2026-03-04T15:00:00Z"},
      // A time of day up to 300 s past is today's; later, tomorrow's.
      {"9:57am", "2026-03-03T17:57:00Z"},
      {"9:55am", "2026-03-03T17:55:00Z"},
      {"9:54am", "2026-03-04T17:54:00Z"},
      {"12am (UTC)", "2026-03-03T00:00:00Z", at("2026-03-03T00:04:00Z")},
      {"12am (UTC)", "2026-03-04T00:00:00Z", at("2026-03-03T00:06:00Z")},
      // Without am or pm the hour counts on a 24-hour clock.
      {"15", "2026-03-03T23:00:00Z"},
      {"9:15", "2026-03-04T17:15:00Z"},
      {"12pm", "2026-03-03T20:00:00Z"},
      {"12am", "2026-03-04T08:00:00Z"},
      {"13pm", "2026-03-03T21:00:00Z"},
      // Dates: this year's unless more than two days past.
      {"Mar 6 at 9:30am", "2026-03-06T17:30:00Z"},
      {"Sept. 6 9am", "2026-09-06T16:00:00Z"},
      {"mar 1 at 11am", "2026-03-01T19:00:00Z"},
      {"Mar 1 at 10am", "2026-03-01T18:00:00Z"},  // exactly 172800 s past
      {"Mar 1 at 9:59am", "2027-03-01T17:59:00Z"},
      {"Jan 2 at 9am (UTC)", "2026-01-02T09:00:00Z", at("2026-01-03T10:00:00Z")},
      {"Jan 2 at 9am (UTC)", "2027-01-02T09:00:00Z", at("2026-01-05T10:00:00Z")},
      // A given year is taken as it is, past or not.
      {"March 6, 2027 at 9:30am", "2027-03-06T17:30:00Z"},
      {"Mar 6 2020 3pm", "2020-03-06T23:00:00Z"},
      // The forms current Claude Code prints: commas after the day and year,
      // minutes left out when zero.
      {"Mar 6, 9am", "2026-03-06T17:00:00Z"},
      {"Nov 20, 1:30pm (America/New_York)", "2026-11-20T18:30:00Z"},
      {"Jan 2, 2027, 9am (Europe/Berlin)", "2027-01-02T08:00:00Z"},
      {"Jul 18 at 4am (Europe/Vienna)", "2026-07-18T02:00:00Z"},
      {"Apr 24, 4am (Asia/Calcutta)", "2026-04-23T22:30:00Z"},
      // Not reset times.
      {"Foo 5 3pm", std::nullopt},
      {"in 2h 30m", std::nullopt},
      {"Mon 12:00am", std::nullopt},
      {"", std::nullopt},
      // Times no calendar can show count as absent.
      {"Dec 99, 9999 at 9am (UTC)", std::nullopt},
      {"Dec 31, 1969 at 11pm (UTC)", std::nullopt},
      {"Dec 31, 9999 at 11pm (UTC)", "9999-12-31T23:00:00Z"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(isoOf(Parser::parseResetTime(c.text, c.now, kZone)), c.expected) << c.text << " at " << isoString(c.now);
}

TEST(UsageCommandParserTest, MovesAPastTimeByACalendarDayAcrossDaylightSaving) {
  // 22:30 PST on 7 March; the next evening is PDT, so the day has 23 hours.
  EXPECT_EQ(isoOf(Parser::parseResetTime("10pm", at("2026-03-08T06:30:00Z"), kZone)), "2026-03-09T05:00:00Z");
  // 02:30 does not exist on 8 March: the instant of the change stands for it.
  EXPECT_EQ(isoOf(Parser::parseResetTime("2:30am", at("2026-03-08T09:00:00Z"), kZone)), "2026-03-08T10:00:00Z");
  // 01:30 happens twice on 1 November: the earlier one, in PDT.
  EXPECT_EQ(isoOf(Parser::parseResetTime("1:30am", at("2026-11-01T07:00:00Z"), kZone)), "2026-11-01T08:30:00Z");
}

TEST(UsageCommandParserTest, SystemZoneIsInjectableAndOtherwiseFollowsTz) {
  EXPECT_EQ(isoOf(Parser::parseResetTime("3pm", kNow, "Europe/Berlin")), "2026-03-04T14:00:00Z");
  test::ScopedEnv tz("TZ", "Asia/Tokyo");
  // 03:00 on 4 March in Tokyo: 15:00 is later that day.
  EXPECT_EQ(isoOf(Parser::parseResetTime("3pm", kNow)), "2026-03-04T06:00:00Z");
  EXPECT_EQ(isoOf(Parser::parseResetTime("3pm", kNow, "No/Such_Zone")), "2026-03-04T06:00:00Z");
}

TEST(UsageCommandParserTest, WindowKindsFromLabels) {
  EXPECT_EQ(Parser::windowKind("Session"), WindowKind::session());
  EXPECT_EQ(Parser::windowKind("session (beta)"), std::nullopt);
  EXPECT_EQ(Parser::windowKind("week ( All Models )"), WindowKind::week());
  EXPECT_EQ(Parser::windowKind("Week (Opus 4.1) (fast)"), WindowKind::weekModel("Opus 4.1) (fast"));
  EXPECT_EQ(Parser::windowKind("month"), std::nullopt);
}

TEST(UsageCommandParserTest, MonthNamesByTheirFirstThreeLetters) {
  EXPECT_EQ(Parser::monthNumber("January"), 1);
  EXPECT_EQ(Parser::monthNumber("SEPT"), 9);
  EXPECT_EQ(Parser::monthNumber("dec"), 12);
  EXPECT_EQ(Parser::monthNumber("Ja"), std::nullopt);
  EXPECT_EQ(Parser::monthNumber("Foo"), std::nullopt);
}

TEST(UsageCommandParserTest, ReadsPeriodHeaders) {
  struct Case {
    const char* line;
    std::optional<std::string> label;
    std::optional<long long> requests = {}, sessions = {};
  } cases[] = {
      {"Last 7d · 1,234 requests · 56 sessions", "Last 7d", 1234, 56},
      {"Last 30d · 1 session · 1 request", "Last 30d", 1, 1},
      {"Last 24h", "Last 24h", std::nullopt, std::nullopt},
      {"Last 24h · these are independent characteristics of your usage, not a breakdown", "Last 24h", std::nullopt,
       std::nullopt},
      // The number must start the part, and nothing may follow the word.
      {"Last 24h · about 5 requests", "Last 24h", std::nullopt, std::nullopt},
      {"Last 7d · 12 requests today", "Last 7d", std::nullopt, std::nullopt},
      // Only the first part that ends in the word counts.
      {"Last 7d · many requests · 3 requests", "Last 7d", std::nullopt, std::nullopt},
      {"Last 7d · ٣ requests", "Last 7d", std::nullopt, std::nullopt},
      {"Last 7d · 99999999999999999999 requests", "Last 7d", std::nullopt, std::nullopt},
      {"last 7d · 5 requests", std::nullopt},
      {"Lastly · 5 requests", std::nullopt},
  };
  for (const auto& c : cases) {
    auto period = Parser::parsePeriodHeader(c.line);
    ASSERT_EQ(period.has_value(), c.label.has_value()) << c.line;
    if (!period) continue;
    EXPECT_EQ(period->label, *c.label) << c.line;
    EXPECT_EQ(period->requests, c.requests) << c.line;
    EXPECT_EQ(period->sessions, c.sessions) << c.line;
  }
}

TEST(UsageCommandParserTest, ReadsShareLists) {
  struct Case {
    const char* line;
    std::optional<std::vector<Share>> shares;
  } cases[] = {
      {"Top skills: code-review 12%, tests 8.5%", std::vector<Share>{{"code-review", 12}, {"tests", 8.5}}},
      {"Top skills: my skill v2 12%, broken, x 3%", std::vector<Share>{{"my skill v2", 12}, {"x", 3}}},
      {"Top skills:", std::vector<Share>{}},
      {"Top skills:lint 4%", std::vector<Share>{{"lint", 4}}},
      {"Top skills: a 1%, b 2% (of 7d)", std::vector<Share>{{"a", 1}, {"b", 2}}},
      {"top skills: a 1%", std::nullopt},
      {"Top subagents: general-purpose 40%", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(Parser::parseShares(c.line, "Top skills:"), c.shares) << c.line;
}

TEST(UsageCommandParserTest, ReadsFindingsInBothForms) {
  struct Case {
    const char* line;
    std::optional<Finding> finding;
  } cases[] = {
      {"30% of your usage came from subagents", Finding{30, "came from subagents"}},
      {"12.5% of your usage was on Opus", Finding{12.5, "was on Opus"}},
      {"100% of your usage was at >150k context", Finding{100, "was at >150k context"}},
      // Current Claude Code: the percentage, blanks, then the text.
      {"34%  Compact before you step away · run /compact", Finding{34, "Compact before you step away · run /compact"}},
      {"8%\tUse a smaller model for quick edits", Finding{8, "Use a smaller model for quick edits"}},
      {"30 % of your usage x", std::nullopt},
      {"About 30% of your usage x", std::nullopt},
      {"30% of your usage", std::nullopt},
      {"30%", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(Parser::parseFinding(c.line), c.finding) << c.line;
}

TEST(UsageCommandParserTest, WholeTextGivesWindowsAndInsights) {
  const std::string text =
      "Current session: 42% used · resets 3pm (America/Los_Angeles)\n"
      "Current week (all models): 13% used · resets Mar 6 at 9:30am (America/Los_Angeles)\n"
      "Current week (Opus): 5% used\n"
      "Last 7d · 1,234 requests · 56 sessions\n"
      "Top skills: code-review 12%, tests 8.5%\n"
      "30% of your usage came from subagents\n";
  auto result = Parser::parse(text, kNow, kZone);

  ASSERT_EQ(result.windows.size(), 3u);
  EXPECT_EQ(result.windows[0].kind, WindowKind::session());
  EXPECT_EQ(isoOf(result.windows[0].resetsAt), "2026-03-03T23:00:00Z");
  EXPECT_EQ(result.windows[1].kind, WindowKind::week());
  EXPECT_EQ(isoOf(result.windows[1].resetsAt), "2026-03-06T17:30:00Z");
  EXPECT_EQ(result.windows[2].kind, WindowKind::weekModel("Opus"));
  EXPECT_EQ(result.windows[2].resetsAt, std::nullopt);

  UsageInsights::Period period{
      "Last 7d", 1234, 56, {{30, "came from subagents"}}, {{"code-review", 12}, {"tests", 8.5}}, {}};
  EXPECT_EQ(result.insights, (UsageInsights{{period}, kNow}));
  EXPECT_TRUE(result.isSubscription);
}

TEST(UsageCommandParserTest, InsightLinesBelongToTheOpenPeriod) {
  const std::string text =
      "30% of your usage before any header\n"
      "Top skills: early 9%\n"
      "Last 24h\n"
      "Top skills: a 1%\n"
      "Top skills: b 2%\n"
      "Current session: 5%\n"  // a window line leaves the period open
      "40% of your usage y\n"
      "Last 7d · 3 requests\n"
      "Top subagents: explore 60%, plan 40%\n"
      "Top skills:\n"
      "20%  Try plan mode first\n";
  auto result = Parser::parse(text, kNow, kZone);
  ASSERT_EQ(result.windows.size(), 1u);
  ASSERT_TRUE(result.insights);
  std::vector<UsageInsights::Period> expected{
      {"Last 24h", std::nullopt, std::nullopt, {{40, "y"}}, {{"b", 2}}, {}},
      {"Last 7d", 3, std::nullopt, {{20, "Try plan mode first"}}, {}, {{"explore", 60}, {"plan", 40}}},
  };
  EXPECT_EQ(result.insights->periods, expected);
}

TEST(UsageCommandParserTest, LinesSplitAtEveryBreakAndTrimAllBlanks) {
  // CRLF, a lone CR, NEL, LINE SEPARATOR; a tab, NBSP and ideographic space.
  const std::string text =
      "Current session: 5%\r\nCurrent week: 7%\rCurrent week (Opus): 1%\u0085 \tCurrent week (Haiku): 2%\u00A0\u2028"
      "\u3000Current week (Fable): 3%";
  auto result = Parser::parse(text, kNow, kZone);
  ASSERT_EQ(result.windows.size(), 5u);
  EXPECT_EQ(result.windows[3].kind, WindowKind::weekModel("Haiku"));
  EXPECT_EQ(result.windows[4].kind, WindowKind::weekModel("Fable"));
}

TEST(UsageCommandParserTest, SubscriptionFlag) {
  EXPECT_TRUE(Parser::parse("Usage needs a SUBSCRIPTION", kNow, kZone).isSubscription);
  EXPECT_TRUE(Parser::parse("Current session: 1%", kNow, kZone).isSubscription);
  auto empty = Parser::parse("Hello\nLast 24h · 3 requests", kNow, kZone);
  EXPECT_FALSE(empty.isSubscription);
  EXPECT_TRUE(empty.windows.empty());
  EXPECT_TRUE(empty.insights.has_value());
}

TEST(UsageCommandParserTest, ReadsTheCurrentClientsTextSkippingItsPanelLines) {
  // Shaped like Claude Code 2.1.x: a cost block, windows with dated resets,
  // a notes line, a period whose findings use the short form.
  const std::string text = R"(Session
  Total cost:            $1.20
  Total duration (API):  4m 2s

Current session: 27% used · resets 11:40pm (Europe/Vienna)
Current week (all models): 61% used · resets Mar 9, 8am (Europe/Vienna)
Current week (Opus): 18% used · resets Jan 4, 2027, 8am (Europe/Vienna)

What's contributing to your limits usage?
Approximate, based on sessions on this machine
  41%  Sessions that ran past 150k context
Last 7d · 212 requests · 9 sessions
  41%  Sessions that ran past 150k context · run /compact sooner
  12%  Long subagent chains
)";
  auto result = Parser::parse(text, kNow, kZone);
  ASSERT_EQ(result.windows.size(), 3u);
  EXPECT_EQ(isoOf(result.windows[0].resetsAt), "2026-03-03T22:40:00Z");
  EXPECT_EQ(isoOf(result.windows[1].resetsAt), "2026-03-09T07:00:00Z");
  EXPECT_EQ(isoOf(result.windows[2].resetsAt), "2027-01-04T07:00:00Z");
  ASSERT_TRUE(result.insights);
  ASSERT_EQ(result.insights->periods.size(), 1u);
  EXPECT_EQ(result.insights->periods[0].findings,
            (std::vector<Finding>{{41, "Sessions that ran past 150k context · run /compact sooner"},
                                  {12, "Long subagent chains"}}));
}

TEST(UsageCommandParserTest, PanelLayoutWithoutColonsGivesNoWindows) {
  // The interactive panel puts the figures on lines of their own.
  const std::string text = "  Current session\n  █████      10% used\n  Resets 1am (Europe/Dublin)\n";
  EXPECT_TRUE(Parser::parse(text, kNow, kZone).windows.empty());
}

TEST(UsageCommandParserTest, IllFormedBytesDoNotHideTheRest) {
  auto result = Parser::parse("\xFF\xFE junk\nCurrent session: 9% \xC3", kNow, kZone);
  ASSERT_EQ(result.windows.size(), 1u);
  EXPECT_DOUBLE_EQ(result.windows[0].usedPercent, 9);
}

TEST(UsageCommandParserTest, RecognisesTheCostBlock) {
  EXPECT_TRUE(Parser::isCostBlock("\n  Total cost:            $0.55\nTotal duration (API):  6m 20s\n"));
  EXPECT_TRUE(Parser::isCostBlock("Estimated cost: $0.10"));
  EXPECT_FALSE(Parser::isCostBlock("Session\nTotal cost: $0.00"));
  EXPECT_FALSE(Parser::isCostBlock("total cost: $0.00"));
  EXPECT_FALSE(Parser::isCostBlock(""));
}

}  // namespace
}  // namespace ovel
