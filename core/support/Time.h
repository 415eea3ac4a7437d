// Time as the whole system uses it: an absolute instant counted in seconds
// (a double) since 1970-01-01 00:00:00 UTC, and durations as double seconds.
// Nothing here reads the clock; callers always pass "now" in.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace ovel {

using Seconds = std::chrono::duration<double>;
using Date = std::chrono::time_point<std::chrono::system_clock, Seconds>;

constexpr Date dateFromSeconds1970(double seconds) { return Date{Seconds{seconds}}; }
constexpr double secondsSince1970(Date date) { return date.time_since_epoch().count(); }

// Signed difference a - b in seconds.
constexpr double secondsBetween(Date later, Date earlier) { return (later - earlier).count(); }
constexpr Date addSeconds(Date date, double seconds) { return date + Seconds{seconds}; }

// The instants a calendar can show: 1970-01-01T00:00:00Z up to
// 9999-12-31T23:59:59Z. A time read from a file or from another program
// outside that range (1e300, a negative year) counts as absent, so that no
// later calendar reckoning has to cope with it.
inline constexpr double kLatestCalendarSeconds = 253402300799;
constexpr bool isCalendarSeconds(double seconds) { return seconds >= 0 && seconds <= kLatestCalendarSeconds; }
constexpr std::optional<Date> calendarDate(double seconds) {
  if (!isCalendarSeconds(seconds)) return std::nullopt;
  return dateFromSeconds1970(seconds);
}

// The current time of the system clock; only the outermost layers call this.
Date systemNow();

// "YYYY-MM-DDTHH:MM:SSZ", truncated to whole seconds, UTC. Years outside
// 0000-9999 are clamped so that the text keeps its fixed layout.
std::string isoString(Date date);

// Lenient ISO 8601: "YYYY-MM-DDTHH:MM:SS", optional fraction, then "Z",
// "+hh:mm", "-hh:mm", "+hhmm" or "+hh". Anything else gives nothing.
std::optional<Date> parseIsoDate(std::string_view text);

}  // namespace ovel
