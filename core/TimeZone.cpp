#include "core/TimeZone.h"

#include <cmath>
#include <cstdlib>
#include <exception>

#include <date/tz.h>

namespace ovel {

const date::time_zone* knownZone(std::string_view name) {
  if (name.empty()) return nullptr;
  try {
    return date::locate_zone(std::string(name));
  } catch (const std::exception&) {
    return nullptr;
  }
}

const date::time_zone* zoneOrMachine(std::string_view name) {
  if (auto* zone = knownZone(name)) return zone;
  if (const char* tz = std::getenv("TZ")) {
    std::string_view id = tz;
    if (id.starts_with(':')) id.remove_prefix(1);
    if (auto* zone = knownZone(id)) return zone;
  }
  try {
    return date::current_zone();
  } catch (const std::exception&) {
    return knownZone("UTC");
  }
}

bool isKnownZone(std::string_view zone) { return knownZone(zone) != nullptr; }

LocalTime localTime(Date date, std::string_view zoneName) {
  using namespace std::chrono;
  double seconds = secondsSince1970(date);
  auto instant = sys_seconds{std::chrono::seconds{static_cast<long long>(std::isfinite(seconds) ? std::floor(seconds) : 0)}};
  // The wall-clock reading, carried as if it were a UTC instant.
  sys_seconds local = instant;
  if (const auto* zone = zoneOrMachine(zoneName)) {
    try {
      local = sys_seconds{zone->to_local(instant).time_since_epoch()};
    } catch (const std::exception&) {
    }
  }
  auto day = floor<days>(local);
  year_month_day ymd{day};
  hh_mm_ss<std::chrono::seconds> time{local - day};
  LocalTime result;
  result.year = static_cast<int>(ymd.year());
  result.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  result.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  result.hour = static_cast<int>(time.hours().count());
  result.minute = static_cast<int>(time.minutes().count());
  result.second = static_cast<int>(time.seconds().count());
  result.weekday = static_cast<int>(weekday{day}.c_encoding());
  return result;
}

}  // namespace ovel
