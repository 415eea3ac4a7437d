// Local times in zones read from zone files: the closing rule that "slim"
// files leave every later year to, the choices for skipped and repeated
// wall times, and which zone the machine's is.
#include "core/support/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/claude/UsageCommandParser.h"
#include "core/support/ZoneFile.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;
using Change = PosixZoneRule::Change;

Date at(const char* iso) { return *parseIsoDate(iso); }

// Two zones of our own, with rules only from the years they last changed.
constexpr const char* kZoneSource = R"(
Rule	EU	1981	max	-	Mar	lastSun	 1:00u	1:00	S
Rule	EU	1981	1995	-	Sep	lastSun	 1:00u	0	-
Rule	EU	1996	max	-	Oct	lastSun	 1:00u	0	-
Zone	Test/Berlin	1:00	EU	CE%sT
Rule	US	2007	max	-	Mar	Sun>=8	2:00	1:00	D
Rule	US	2007	max	-	Nov	Sun>=1	2:00	0	S
Zone	Test/New_York	-5:00	US	E%sT
# Last changed in November: a standard offset of its own for the weeks
# after the US rule's November change, then that rule again.
Zone	Test/Juarez	-7:00	US	M%sT	2022 Oct 30 2:00
			-6:00	-	CST	2022 Nov 30 0:00
			-7:00	US	M%sT
# Summer time began late in 2012, the year its closing rule took effect.
Rule	Cuba	2009	2010	-	Mar	Sun>=8	0:00s	1:00	D
Rule	Cuba	2009	2010	-	Oct	lastSun	0:00s	0	S
Rule	Cuba	2011	only	-	Mar	Sun>=15	0:00s	1:00	D
Rule	Cuba	2011	only	-	Nov	13	0:00s	0	S
Rule	Cuba	2012	only	-	Apr	1	0:00s	1:00	D
Rule	Cuba	2012	max	-	Nov	Sun>=1	0:00s	0	S
Rule	Cuba	2013	max	-	Mar	Sun>=8	0:00s	1:00	D
Zone	Test/Havana	-5:00	Cuba	C%sT
# Southern zones, whose summer time spans New Year. The rules last changed
# in 2008, the autumn change first: the file lists it last.
Rule	AU	1987	2007	-	Oct	lastSun	2:00s	1:00	D
Rule	AU	1990	2007	-	Mar	lastSun	2:00s	0	S
Rule	AU	2008	max	-	Apr	Sun>=1	2:00s	0	S
Rule	AU	2008	max	-	Oct	Sun>=1	2:00s	1:00	D
Zone	Test/Sydney	10:00	AU	AE%sT
# West of Greenwich, the offset last changed with a spring change: the file's
# last is a start of summer time, which its closing rule ends the next year.
Rule	CL	2000	max	-	Oct	Sun>=9	4:00u	1:00	-
Rule	CL	2000	max	-	Mar	Sun>=9	3:00u	0	-
Zone	Test/Santiago	-5:00	CL	-05/-04	2005 Oct  9 4:00u
			-4:00	CL	-04/-03
)";

// The zones compiled as slim files into a folder that TZDIR names.
class SlimZonesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::writeText(folder / "zones.txt", kZoneSource);
    std::string command = "zic -b slim -d '" + (folder / "zoneinfo").string() + "' '" +
                          (folder / "zones.txt").string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  TempDir folder;
  ScopedEnv zoneFolder{"TZDIR", (folder / "zoneinfo").string()};
};

TEST_F(SlimZonesTest, FilesListNoChangeOfRecentYears) {
  for (const char* name : {"Test/Berlin", "Test/New_York"}) {
    auto file = ZoneFile::parse(test::readText(folder / "zoneinfo" / name));
    ASSERT_TRUE(file) << name;
    ASSERT_TRUE(file->closing && file->closing->daylight) << name;
    if (!file->transitions.empty()) {
      EXPECT_LT(file->transitions.back().at, secondsSince1970(at("2010-01-01T00:00:00Z")));
    }
  }
}

TEST_F(SlimZonesTest, SummerTimeComesFromTheClosingRule) {
  const struct {
    const char* zone;
    const char* instant;
    int hour;
  } cases[] = {
      {"Test/Berlin", "1990-07-01T12:00:00Z", 14},  // a change the file lists
      {"Test/Berlin", "2026-01-15T12:00:00Z", 13},  {"Test/Berlin", "2026-07-01T12:00:00Z", 14},
      {"Test/Berlin", "2038-07-01T12:00:00Z", 14},  {"Test/Berlin", "2026-03-29T00:59:59Z", 1},
      {"Test/Berlin", "2026-03-29T01:00:00Z", 3},   {"Test/Berlin", "2026-10-25T00:59:59Z", 2},
      {"Test/Berlin", "2026-10-25T01:00:00Z", 2},   {"Test/New_York", "2026-01-15T12:00:00Z", 7},
      {"Test/New_York", "2026-07-01T12:00:00Z", 8}, {"Test/New_York", "2099-07-01T12:00:00Z", 8},
  };
  for (const auto& c : cases) {
    const TimeZone* zone = knownZone(c.zone);
    ASSERT_TRUE(zone) << c.zone;
    EXPECT_EQ(localTime(at(c.instant), *zone).hour, c.hour) << c.zone << " at " << c.instant;
  }
}

// In the year of its last listed change the closing rule holds only after
// that change: none of its earlier changes that year may undo a listed one.
TEST_F(SlimZonesTest, ClosingRuleStartsAtTheLastListedChange) {
  const struct {
    const char* zone;
    const char* instant;
    int day, hour;
  } cases[] = {
      {"Test/Juarez", "2022-10-30T07:59:59Z", 30, 1},  // MDT
      {"Test/Juarez", "2022-10-30T08:00:00Z", 30, 2},  // CST
      {"Test/Juarez", "2022-11-06T09:00:00Z", 6, 3},   // the US rule turns back, CST stays
      {"Test/Juarez", "2022-11-29T12:00:00Z", 29, 6},
      {"Test/Juarez", "2022-11-30T12:00:00Z", 30, 5},  // MST, the last listed change
      {"Test/Juarez", "2023-03-12T09:00:00Z", 12, 3},  // MDT by the closing rule
      {"Test/Juarez", "2023-11-05T09:00:00Z", 5, 2},
      {"Test/Havana", "2012-03-20T12:00:00Z", 20, 7},  // still CST: no Mar Sun>=8 in 2012
      {"Test/Havana", "2012-04-01T04:59:59Z", 31, 23},
      {"Test/Havana", "2012-04-01T05:00:00Z", 1, 1},
      {"Test/Havana", "2012-11-04T04:59:59Z", 4, 0},
      {"Test/Havana", "2012-11-04T05:00:00Z", 4, 0},  // the last listed change
      {"Test/Havana", "2013-03-10T04:59:59Z", 9, 23},
      {"Test/Havana", "2013-03-10T05:00:00Z", 10, 1},
      {"Test/Sydney", "2008-04-05T15:59:59Z", 6, 2},  // AEDT
      {"Test/Sydney", "2008-04-05T16:00:00Z", 6, 2},  // AEST, the last listed change
      {"Test/Sydney", "2008-10-04T16:00:00Z", 5, 3},  // AEDT by the closing rule
      {"Test/Sydney", "2009-01-15T12:00:00Z", 15, 23},
      {"Test/Santiago", "2005-10-09T03:59:59Z", 8, 22},  // -05
      {"Test/Santiago", "2005-10-09T04:00:00Z", 9, 1},   // -03, the last listed change
      {"Test/Santiago", "2006-01-15T12:00:00Z", 15, 9},
      {"Test/Santiago", "2006-03-12T04:00:00Z", 12, 0},  // -04 by the closing rule
  };
  for (const auto& c : cases) {
    LocalTime local = localTime(at(c.instant), *knownZone(c.zone));
    EXPECT_EQ(local.day, c.day) << c.zone << " at " << c.instant;
    EXPECT_EQ(local.hour, c.hour) << c.zone << " at " << c.instant;
  }
}

// The C library reads the same slim files: every hour of forty years agrees,
// the years of each zone's last listed change among them.
TEST_F(SlimZonesTest, LocalTimesAgreeWithTheCLibrary) {
  for (const char* name :
       {"Test/Berlin", "Test/New_York", "Test/Juarez", "Test/Havana", "Test/Sydney", "Test/Santiago"}) {
    const TimeZone* zone = knownZone(name);
    ASSERT_TRUE(zone) << name;
    ScopedEnv tz("TZ", ":" + (folder / "zoneinfo" / name).string());
    ::tzset();
    int differing = 0;
    for (std::time_t seconds = 631152000; seconds < 1893456000; seconds += 3600) {  // 1990 to 2030
      std::tm theirs{};
      ::localtime_r(&seconds, &theirs);
      LocalTime ours = localTime(dateFromSeconds1970(static_cast<double>(seconds)), *zone);
      if (ours.day != theirs.tm_mday || ours.hour != theirs.tm_hour) {
        if (++differing <= 3)
          ADD_FAILURE() << name << " at " << seconds << ": " << ours.hour << " against " << theirs.tm_hour;
      }
    }
    EXPECT_EQ(differing, 0) << name;
  }
  ::tzset();
}

TEST_F(SlimZonesTest, SkippedTimesTakeTheChangeAndRepeatedOnesTheEarlierInstant) {
  const struct {
    const char* zone;
    int year, month, day, hour, minute;
    const char* instant;
  } cases[] = {
      {"Test/Berlin", 2026, 7, 1, 12, 0, "2026-07-01T10:00:00Z"},
      {"Test/Berlin", 2026, 3, 29, 2, 30, "2026-03-29T01:00:00Z"},
      {"Test/Berlin", 2026, 10, 25, 2, 30, "2026-10-25T00:30:00Z"},
      {"Test/Berlin", 2026, 2, 31, 25, 0, "2026-03-04T00:00:00Z"},  // parts roll over
      {"Test/New_York", 2026, 3, 8, 2, 30, "2026-03-08T07:00:00Z"},
      {"Test/New_York", 2026, 11, 1, 1, 30, "2026-11-01T05:30:00Z"},
      {"Test/New_York", 2040, 7, 4, 9, 0, "2040-07-04T13:00:00Z"},
  };
  for (const auto& c : cases) {
    auto date = wallClockDate(*knownZone(c.zone), c.year, c.month, c.day, c.hour, c.minute);
    ASSERT_TRUE(date) << c.zone << " " << c.instant;
    EXPECT_EQ(isoString(*date), c.instant) << c.zone;
  }
}

TEST_F(SlimZonesTest, ResetTimesNamingTheZoneKeepSummerTime) {
  const Date now = at("2026-03-03T18:00:00Z");
  EXPECT_EQ(UsageCommandParser::parseResetTime("Jul 20, 1:30pm (Test/New_York)", now, "UTC"),
            at("2026-07-20T17:30:00Z"));
  EXPECT_EQ(UsageCommandParser::parseResetTime("Nov 20, 1:30pm (Test/New_York)", now, "UTC"),
            at("2026-11-20T18:30:00Z"));
  // The machine's zone set by $TZ, as a name or as a path.
  for (const std::string& tz : {std::string("Test/Berlin"), ":" + (folder / "zoneinfo/Test/Berlin").string()}) {
    ScopedEnv machine("TZ", tz);
    EXPECT_EQ(UsageCommandParser::parseResetTime("Aug 1 at 9am", now), at("2026-08-01T07:00:00Z")) << tz;
  }
}

TEST_F(SlimZonesTest, MachineZoneFollowsItsLinkWhenRetargeted) {
  const fs::path link = folder / "localtime";
  ScopedEnv machine("TZ", ":" + link.string());
  const struct {
    const char* target;
    int hour;
  } cases[] = {{"Test/Berlin", 14}, {"Test/New_York", 8}, {"Test/Berlin", 14}};
  for (const auto& c : cases) {
    fs::remove(link);
    fs::create_symlink(fs::path("zoneinfo") / c.target, link);
    EXPECT_EQ(localTime(at("2026-07-01T12:00:00Z")).hour, c.hour) << c.target;
  }
}

TEST(TimeZoneTest, SystemZoneFilesHonourTheirClosingRulePastTheirLastListedChange) {
  // Debian's files list changes up to 2037; July 2038 is summer time all the same.
  EXPECT_EQ(localTime(at("2038-07-01T12:00:00Z"), "Europe/Berlin").hour, 14);
  EXPECT_EQ(localTime(at("2038-01-01T12:00:00Z"), "Europe/Berlin").hour, 13);
  EXPECT_EQ(localTime(at("2050-07-01T12:00:00Z"), "America/New_York").hour, 8);
}

TEST(TimeZoneTest, MachineZoneFollowsTz) {
  {
    ScopedEnv tz("TZ", "EST5EDT,M3.2.0,M11.1.0");  // a rule with no file behind it
    EXPECT_EQ(localTime(at("2026-07-01T12:00:00Z")).hour, 8);
    EXPECT_EQ(localTime(at("2026-01-01T12:00:00Z")).hour, 7);
  }
  {
    ScopedEnv tz("TZ", "Asia/Tokyo");
    EXPECT_EQ(localTime(at("2026-07-01T12:00:00Z")).hour, 21);
    EXPECT_EQ(localTime(at("2026-07-01T12:00:00Z"), "No/Such_Zone").hour, 21);
    EXPECT_EQ(localTime(at("2026-07-01T12:00:00Z"), "Europe/Berlin").hour, 14);
  }
  ScopedEnv tz("TZ", "");
  EXPECT_EQ(localTime(at("2026-07-01T12:00:00Z")).hour, 12);
}

TEST(TimeZoneTest, OnlyZoneIdsNameFiles) {
  EXPECT_TRUE(isKnownZone("UTC"));
  EXPECT_TRUE(isKnownZone("America/Argentina/Buenos_Aires"));
  for (const char* name : {"", "PST", "/etc/localtime", "../zoneinfo/UTC", "Europe/../UTC", "Europe", "zone1970.tab",
                           "Europe/Berlin extra"})
    EXPECT_FALSE(isKnownZone(name)) << name;
}

TEST(TimeZoneTest, LocalTimesOutsideTheCalendarAreClampedNotUndefined) {
  EXPECT_EQ(localTime(dateFromSeconds1970(1e300), "UTC").year, 9999);
  EXPECT_EQ(localTime(dateFromSeconds1970(-1e300), "UTC").year, 0);
}

TEST(PosixZoneRuleTest, ReadsTheClosingRulesOfZoneFiles) {
  auto monthly = [](int month, int week, int weekday, int seconds) {
    return Change{Change::Day::monthWeekDay, 0, month, week, weekday, seconds};
  };
  auto yearly = [](Change::Day day, int number, int seconds) { return Change{day, number, 1, 1, 0, seconds}; };
  using Daylight = PosixZoneRule::Daylight;
  const struct {
    const char* text;
    std::optional<PosixZoneRule> rule;
  } cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3",
       PosixZoneRule{3600, Daylight{7200, monthly(3, 5, 0, 7200), monthly(10, 5, 0, 10800)}}},
      {"EST5EDT,M3.2.0,M11.1.0",
       PosixZoneRule{-18000, Daylight{-14400, monthly(3, 2, 0, 7200), monthly(11, 1, 0, 7200)}}},
      {"IST-2IDT,M3.4.4/26,M10.5.0",
       PosixZoneRule{7200, Daylight{10800, monthly(3, 4, 4, 93600), monthly(10, 5, 0, 7200)}}},
      {"<-03>3<-02>,M3.5.0/-2,M10.5.0/-1",
       PosixZoneRule{-10800, Daylight{-7200, monthly(3, 5, 0, -7200), monthly(10, 5, 0, -3600)}}},
      {"IST-1GMT0,M10.5.0,M3.5.0/1", PosixZoneRule{3600, Daylight{0, monthly(10, 5, 0, 7200), monthly(3, 5, 0, 3600)}}},
      {"XXX3YYY2:30,J60/1:30:15,300", PosixZoneRule{-10800, Daylight{-9000, yearly(Change::Day::julianNoLeap, 60, 5415),
                                                                     yearly(Change::Day::zeroBased, 300, 7200)}}},
      {"<+0330>-3:30", PosixZoneRule{12600, std::nullopt}},
      {"UTC0", PosixZoneRule{0, std::nullopt}},
      {"EST5EDT", std::nullopt},  // daylight time without its dates
      {"5", std::nullopt},
      {"ES5", std::nullopt},
      {"EST", std::nullopt},
      {"EST5EDT,M13.1.0,M11.1.0", std::nullopt},
      {"EST5EDT,M3.2.0,M11.1.0,", std::nullopt},
      {"EST5EDT,J0,J365", std::nullopt},
      {"<+03", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(PosixZoneRule::parse(c.text), c.rule) << c.text;
}

TEST(ZoneFileTest, MalformedFilesGiveNothing) {
  std::string bytes = test::readText("/usr/share/zoneinfo/Europe/Berlin");
  ASSERT_TRUE(ZoneFile::parse(bytes));
  for (std::size_t cut : {0ul, 4ul, 44ul, bytes.size() / 2}) EXPECT_FALSE(ZoneFile::parse(bytes.substr(0, cut))) << cut;
  std::string wrongMagic = bytes;
  wrongMagic[0] = 'X';
  EXPECT_FALSE(ZoneFile::parse(wrongMagic));
}

}  // namespace
}  // namespace ovel
