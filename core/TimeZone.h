// Calendar questions in a time zone, for texts and generated data that
// speak of local days and hours. A zone is named by its IANA id; an empty or
// unknown name means the machine's zone ($TZ when the database knows it,
// else /etc/localtime, else UTC).
#pragma once

#include <string>
#include <string_view>

#include "core/Time.h"

namespace date {
class time_zone;
}

namespace ovel {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 4;  // 0 = Sunday

  bool sameDay(const LocalTime& other) const {
    return year == other.year && month == other.month && day == other.day;
  }
};

LocalTime localTime(Date date, std::string_view zone = {});

// Whether the tz database knows the zone.
bool isKnownZone(std::string_view zone);

// The tz database's zone of that name; null when unknown or empty.
const date::time_zone* knownZone(std::string_view name);
// The named zone when known, else the machine's.
const date::time_zone* zoneOrMachine(std::string_view name);

}  // namespace ovel
