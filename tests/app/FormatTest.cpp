#include "model/Format.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QTime>

#include <locale.h>

#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <map>

#include "core/support/ChildProcess.h"

namespace ovel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Wednesday 2026-06-17 13:00 in Berlin (11:00 UTC).
const Date kNow = dateFromSeconds1970(1781694000);

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Format::setTimeZone("Europe/Berlin");
    Format::setLocale("C");
  }
  void TearDown() override {
    Format::setTimeZone({});
    Format::setLocale({});
  }
};

OvelSteer steerOf(double factor, WindowKind kind = WindowKind::session()) {
  OvelSteer steer;
  steer.kind = std::move(kind);
  steer.factor = factor;
  return steer;
}

TEST_F(FormatTest, NumbersAndDurations) {
  struct Case {
    std::string actual, expected;
  } cases[] = {
      {Format::percent(62.5), "63%"},
      {Format::percent(-0.4), "0%"},
      {Format::percent(99.5), "100%"},
      {Format::percent(-2.5), "-3%"},
      {Format::duration(29), "<1m"},
      {Format::duration(30), "1m"},
      {Format::duration(-500), "<1m"},
      {Format::duration(45 * 60), "45m"},
      {Format::duration(59 * 60 + 40), "1h"},
      {Format::duration(3660), "1h 1m"},
      {Format::duration(2 * 3600 + 300), "2h 5m"},
      {Format::duration(86400), "1d"},
      {Format::duration(1499 * 60), "1d"},
      {Format::duration(90000), "1d 1h"},
      {Format::duration(3 * 86400 + 4 * 3600 + 59 * 60), "3d 4h"},
      // Whole minutes past 2^58 still divide exactly: no hour appears from rounding.
      {Format::duration(1.7300000000000307e19), "200231481481485d"},
      {Format::multiplier(2.44), "2.4\u00D7"},
      {Format::multiplier(9.96), "10.0\u00D7"},
      {Format::multiplier(12.4), "12\u00D7"},
      {Format::sessionsLeft(kInf), "\u221E\u00D75h"},
      {Format::sessionsLeft(std::nan("")), "\u221E\u00D75h"},
      {Format::sessionsLeft(2.34), "2.3\u00D75h"},
      {Format::sessionsLeft(13.4), "13\u00D75h"},
      {Format::rate(0), "0%/h"},
      {Format::rate(0.04), "0.0%/h"},
      {Format::rate(9.99), "10.0%/h"},
      {Format::rate(12.5), "13%/h"},
      {Format::rate(3.44), "3.4%/h"},
      {Format::rate(0.5, WindowKind::week()), "12%/day"},
      {Format::rate(0.3, WindowKind::weekModel("Opus")), "7.2%/day"},
      {Format::rate(0, WindowKind::week()), "0%/day"},
      {Format::rate(3.44, WindowKind::session()), "3.4%/h"},
      {Format::times(kInf), "idle"},
      {Format::times(4), "\u00D74+"},
      {Format::times(1), "\u00D71.0"},
      {Format::times(0.999), "\u00D71.00"},
      {Format::times(0.62), "\u00D70.62"},
      {Format::times(1.84), "\u00D71.8"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST_F(FormatTest, SteeringTexts) {
  struct Case {
    double factor;
    const char* arrow;
    const char* headline;
  } cases[] = {
      {0, "\u25A0", "Limit reached \u2014 pause until it resets"},
      {-1, "\u25A0", "Limit reached \u2014 pause until it resets"},
      {0.62, "\u21930.6\u00D7", "Ease off to 62% of your current ovel"},
      {1, "\u2192", "Right on ovel \u2014 keep going"},
      {1.2, "\u2192", "Right on ovel \u2014 keep going"},
      {1.25, "\u21911.2\u00D7", "Room to speed up 1.2\u00D7"},
      {2.04, "\u21912.0\u00D7", "Room to speed up 2.0\u00D7"},
      {4, "\u2191", "Plenty of room to speed up"},
      {kInf, "\u2191", "Idle \u2014 plenty of room"},
      {std::nan(""), "\u2192", "Right on ovel \u2014 keep going"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Format::factor(steerOf(c.factor)), c.arrow) << c.factor;
    EXPECT_EQ(Format::steerHeadline(steerOf(c.factor)), c.headline) << c.factor;
  }
  EXPECT_EQ(Format::steerReason(steerOf(1)), "Session (5h) is the tight one");
  EXPECT_EQ(Format::steerReason(steerOf(1, WindowKind::week())), "Week (7d) is the tight one");
  EXPECT_EQ(Format::steerReason(steerOf(1, WindowKind::weekModel("Opus"))), "Week \u00B7 Opus is the tight one");
}

TEST_F(FormatTest, ClockIsEnglishInTheChosenZone) {
  EXPECT_EQ(Format::clock(addSeconds(kNow, 2 * 3600 + 45 * 60), kNow), "3:45 PM");
  EXPECT_EQ(Format::clock(addSeconds(kNow, -13 * 3600), kNow), "12:00 AM");
  EXPECT_EQ(Format::clock(addSeconds(kNow, -1 * 3600 - 5 * 60), kNow), "11:55 AM");
  EXPECT_EQ(Format::clock(addSeconds(kNow, 24 * 3600), kNow), "Thu 1:00 PM");
  EXPECT_EQ(Format::clock(addSeconds(kNow, 11 * 3600), kNow), "Thu 12:00 AM");
  Format::setTimeZone("America/New_York");
  EXPECT_EQ(Format::clock(kNow, kNow), "7:00 AM");
}

TEST_F(FormatTest, ClockLocaleWritesTheTimeAsClockDoes) {
  const Date sameDay = addSeconds(kNow, 2 * 3600 + 45 * 60);  // 15:45
  struct Case {
    const char* locale;
    const char* time;
  } cases[] = {{"C", "3:45 PM"}, {"POSIX", "3:45 PM"}, {"en_US", "3:45 PM"}, {"de_DE", "15:45"}};
  for (const Case& c : cases) {
    Format::setLocale(c.locale);
    ASSERT_EQ(Format::clock(sameDay, kNow), c.time) << c.locale;
    QString time = Format::clockLocale().toString(QTime(15, 45), QLocale::ShortFormat);
    // Newer locale data puts a no-break space before AM and PM.
    time.replace(QChar(0x202F), QLatin1Char(' ')).replace(QChar(0x00A0), QLatin1Char(' '));
    EXPECT_EQ(time.toStdString(), c.time) << c.locale;
  }
}

// Whether this machine has the C library's data for the locale.
bool canLoad(const std::string& name) {
  locale_t locale = ::newlocale(LC_ALL_MASK, name.c_str(), nullptr);
  if (locale) ::freelocale(locale);
  return locale != nullptr;
}

// Format::clock of `date` against kNow, in a run of this test program whose
// environment holds only PATH and `locale`.
std::string clockUnder(const std::map<std::string, std::string>& locale, Date date) {
  ChildProcess::Options options;
  options.program = "/proc/self/exe";
  options.arguments = {"--write-clock", "Europe/Berlin", Format::fixed(secondsSince1970(date), 0),
                       Format::fixed(secondsSince1970(kNow), 0)};
  options.environment = locale;
  options.environment->emplace("PATH", "/usr/bin:/bin");
  options.timeLimit = 30;
  ChildProcess::Result result = ChildProcess::run(options);
  EXPECT_TRUE(result.succeeded()) << result.error;
  std::string text = result.output.substr(0, result.output.find('\n'));
  // Newer locale data puts a no-break space before AM and PM.
  for (const char* space : {"\u202F", "\u00A0"})
    for (std::size_t at; (at = text.find(space)) != std::string::npos;) text.replace(at, std::strlen(space), " ");
  return text;
}

TEST(FormatClockLocaleTest, FollowsTheUsersLocale) {
  const Date sameDay = addSeconds(kNow, 2 * 3600 + 45 * 60);  // Wednesday 15:45
  const Date nextDay = addSeconds(kNow, 20 * 3600 + 5 * 60);  // Thursday 09:05
  struct Case {
    std::map<std::string, std::string> environment;
    const char* time;
    const char* withWeekday;
  } cases[] = {
      {{{"LC_TIME", "en_US.UTF-8"}}, "3:45 PM", "Thu 9:05 AM"},
      {{{"LC_TIME", "en_GB.UTF-8"}}, "15:45", "Thu 09:05"},
      {{{"LC_TIME", "de_DE.UTF-8"}}, "15:45", "Do. 09:05"},
      {{{"LC_TIME", "fr_FR.UTF-8"}}, "15:45", "jeu. 09:05"},
      {{{"LC_TIME", "ja_JP.UTF-8"}}, "15:45", "\u6728 9:05"},
      {{{"LANG", "de_DE.UTF-8"}}, "15:45", "Do. 09:05"},
      {{{"LANG", "en_US.UTF-8"}, {"LC_TIME", "en_GB.UTF-8"}}, "15:45", "Thu 09:05"},
      {{{"LC_ALL", "fr_FR.UTF-8"}, {"LC_TIME", "de_DE.UTF-8"}}, "15:45", "jeu. 09:05"},
      // No locale of the user's: the English form.
      {{}, "3:45 PM", "Thu 9:05 AM"},
      {{{"LANG", "C"}}, "3:45 PM", "Thu 9:05 AM"},
      {{{"LANG", "C.UTF-8"}}, "3:45 PM", "Thu 9:05 AM"},
      {{{"LC_ALL", "POSIX"}, {"LANG", "de_DE.UTF-8"}}, "3:45 PM", "Thu 9:05 AM"},
  };
  for (const auto& c : cases) {
    std::string label;
    bool loadable = true;
    for (const auto& [name, value] : c.environment) {
      label += name + "=" + value + " ";
      loadable = loadable && canLoad(value);
    }
    if (!loadable) {
      std::cout << "[  SKIPPED ] " << label << ": this machine cannot load the locale (scripts/deps generates it)\n";
      continue;
    }
    EXPECT_EQ(clockUnder(c.environment, sameDay), c.time) << label;
    EXPECT_EQ(clockUnder(c.environment, nextDay), c.withWeekday) << label;
  }
}

TEST_F(FormatTest, AxisMarksAreShortTimesOrWeekdaysWithTheDay) {
  EXPECT_EQ(Format::axisMark(kNow, false), "1:00 PM");
  EXPECT_EQ(Format::axisMark(addSeconds(kNow, 1800), false), "1:30 PM");
  EXPECT_EQ(Format::axisMark(addSeconds(kNow, -13 * 3600), true), "Wed 17");
  EXPECT_EQ(Format::axisMark(addSeconds(kNow, 11 * 3600), true), "Thu 18");
  Format::setLocale("de_DE");
  EXPECT_EQ(Format::axisMark(kNow, false), "13:00");
  EXPECT_EQ(Format::axisMark(kNow, true), "Mi. 17");
}

struct VerdictCase {
  const char* name;
  OvelStatus status;
  std::optional<double> projected, rate, timeToLimit;
  double used;
  std::optional<double> resetIn, plannedIn;
  const char* expected;
};

TEST_F(FormatTest, Verdicts) {
  using enum OvelStatus;
  constexpr std::nullopt_t none = std::nullopt;
  VerdictCase cases[] = {
      {"limited, no times", limited, none, none, none, 100, none, none, "Limit reached"},
      {"limited", limited, none, 0.0, none, 100, 2 * 3600.0 + 45 * 60, none, "Limit reached \u00B7 back at 3:45 PM"},
      {"limited, planned first", limited, none, 0.0, none, 100, 10 * 3600.0, 3600.0,
       "Limit reached \u00B7 back at 2:00 PM"},
      {"at risk", atRisk, 130.0, 20.0, 5400.0, 70, 3 * 3600.0, none, "Limit in ~1h 30m at this ovel"},
      {"at risk, planned ignored", atRisk, 130.0, 20.0, 5400.0, 70, 3 * 3600.0, 3600.0,
       "Limit in ~1h 30m at this ovel"},
      {"at risk, no time", atRisk, none, 20.0, none, 70, 3 * 3600.0, none, "On track to hit the limit"},
      {"watch", watch, 140.0, 20.0, none, 70, 3 * 3600.0, none, "Lands near 99% at reset"},
      {"watch 87", watch, 87.2, 5.0, none, 70, 3 * 3600.0, none, "Lands near 87% at reset"},
      {"watch, no projection", watch, none, none, none, 70, 3 * 3600.0, none, "Running warm"},
      {"comfortable 140", comfortable, 140.0, 5.0, none, 10, 3 * 3600.0, none, "Lands around 140% at reset"},
      {"not started", comfortable, none, none, none, 0, none, none, "Not started"},
      {"idle", comfortable, 40.0, 0.0, none, 40, 3 * 3600.0, none, "Idle \u00B7 nothing burning"},
      {"plenty", comfortable, none, none, none, 40, 3 * 3600.0, none, "Plenty of room"},
      {"planned idle beats uses-up", comfortable, 96.0, 0.0, none, 30, 10 * 3600.0, 3600.0,
       "Idle \u00B7 70% unused at the planned reset 2:00 PM"},
      {"planned uses up", watch, 95.0, 5.0, none, 30, 10 * 3600.0, 3600.0, "Uses it up by the planned reset 2:00 PM"},
      {"planned unused", comfortable, 60.0, 5.0, none, 30, 10 * 3600.0, 24 * 3600.0,
       "40% unused at the planned reset Thu 1:00 PM"},
  };
  for (const auto& c : cases) {
    WindowAssessment a;
    a.status = c.status;
    a.projectedAtReset = c.projected;
    a.ratePerHour = c.rate;
    a.timeToLimit = c.timeToLimit;
    a.window.usedPercent = c.used;
    if (c.resetIn) a.window.resetsAt = addSeconds(kNow, *c.resetIn);
    if (c.plannedIn) a.plannedResetAt = addSeconds(kNow, *c.plannedIn);
    EXPECT_EQ(Format::verdict(a, kNow), c.expected) << c.name;
  }
}

TEST(FormatMessageTest, DropsOnlyTheWhiteSpaceAMessageEndsIn) {
  const std::pair<const char*, const char*> cases[] = {
      {"claude: command not found\n", "claude: command not found"},
      {"Error: 401\r\n\n  \t", "Error: 401"},
      {"  two lines\nkept as they came", "  two lines\nkept as they came"},
      {"no ending", "no ending"},
      {" \n", ""},
      {"", ""},
  };
  for (const auto& [given, shown] : cases) EXPECT_EQ(Format::message(given), shown) << given;
}

}  // namespace
}  // namespace ovel
