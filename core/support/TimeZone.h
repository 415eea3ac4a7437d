// Calendar questions in a time zone, for texts and generated data that
// speak of local days and hours. Zones are read from the system's zone
// files ($TZDIR, else /usr/share/zoneinfo), which the system keeps up to
// date, and worked out by ICU, which honours the rule that closes each file
// (so years past the last listed change, and every year of a "slim" file,
// keep their summer time). A zone is named by its IANA id; an empty or
// unknown name means the machine's zone ($TZ when it names a zone file or
// holds a POSIX rule, else /etc/localtime, else UTC).
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "core/support/Time.h"

namespace ovel {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 4;  // 0 = Sunday

  bool sameDay(const LocalTime& other) const { return year == other.year && month == other.month && day == other.day; }
};

// One zone's rules. Only knownZone and zoneOrMachine make them.
class TimeZone {
 public:
  struct Rules;  // ICU's, private to TimeZone.cpp
  explicit TimeZone(std::unique_ptr<Rules> rules);
  ~TimeZone();
  TimeZone(const TimeZone&) = delete;
  TimeZone& operator=(const TimeZone&) = delete;

  const Rules& rules() const { return *rules_; }

 private:
  std::unique_ptr<Rules> rules_;
};

// The zone of that IANA name; null when no zone file of that name can be
// read. Zones are loaded once and live as long as the program.
const TimeZone* knownZone(std::string_view name);
// The named zone when known, else the machine's.
const TimeZone& zoneOrMachine(std::string_view name);
bool isKnownZone(std::string_view name);

LocalTime localTime(Date date, const TimeZone& zone);
LocalTime localTime(Date date, std::string_view zone = {});

// The instant a wall clock in the zone shows these parts. Parts out of range
// roll over arithmetically (February 31 is March 3, 25:00 is 01:00 the next
// day). A time the zone skips takes the instant of the change; one it
// repeats takes the earlier instant. Nothing outside the calendar's range
// (see calendarDate).
std::optional<Date> wallClockDate(const TimeZone& zone, int year, int month, int day, int hour, int minute);

}  // namespace ovel
