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

// The current time of the system clock; only the outermost layers call this.
Date systemNow();

// "YYYY-MM-DDTHH:MM:SSZ", truncated to whole seconds, UTC. Years outside
// 0000-9999 are clamped so that the text keeps its fixed layout.
std::string isoString(Date date);

// Lenient ISO 8601: "YYYY-MM-DDTHH:MM:SS", optional fraction, then "Z",
// "+hh:mm", "-hh:mm", "+hhmm" or "+hh". Anything else gives nothing.
std::optional<Date> parseIsoDate(std::string_view text);

}  // namespace ovel
