// What a compiled zone file (TZif, RFC 8536) says: the offsets a zone has
// had, the instants it changed between them, and the closing POSIX rule
// that says what happens after the last listed change. "Slim" files list
// no change past the year the rule last changed and leave every later year
// to that rule, so it must be honoured, not dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovel {

// The POSIX TZ form, "CET-1CEST,M3.5.0,M10.5.0/3": a standard offset and,
// optionally, a daylight offset with the days and times it starts and ends.
struct PosixZoneRule {
  // One end of daylight time: a day and the local time of day on it, in
  // the time in force before the change (which may be negative or past 24 h).
  struct Change {
    enum class Day { julianNoLeap, zeroBased, monthWeekDay };
    Day day = Day::monthWeekDay;
    int number = 0;   // "Jn" 1-365 (February 29 never counts), "n" 0-365
    int month = 1;    // "Mm.w.d": month 1-12,
    int week = 1;     //   week 1-5 (5 is the last),
    int weekday = 0;  //   day 0-6 (0 is Sunday)
    int secondsIntoDay = 7200;

    bool operator==(const Change&) const = default;
  };
  struct Daylight {
    std::int32_t offset = 0;  // seconds east of UTC
    Change start, end;

    bool operator==(const Daylight&) const = default;
  };

  std::int32_t standardOffset = 0;   // seconds east of UTC
  std::optional<Daylight> daylight;  // absent: standard time all year

  bool operator==(const PosixZoneRule&) const = default;

  // Nothing for text that is not in the form; a daylight part without its
  // dates is not accepted (what it would mean is not fixed).
  static std::optional<PosixZoneRule> parse(std::string_view text);
};

struct ZoneFile {
  // Zone files take a few kilobytes; a larger file is not read as one.
  static constexpr std::uint64_t kFileSizeLimit = std::uint64_t{1} << 20;

  struct Type {
    std::int32_t offset = 0;  // seconds east of UTC
    bool isDaylight = false;
  };
  struct Transition {
    std::int64_t at = 0;  // seconds since 1970, UTC
    std::size_t type = 0;
  };

  std::vector<Type> types;               // the first applies before the first transition
  std::vector<Transition> transitions;   // ascending
  std::optional<PosixZoneRule> closing;  // what follows the last transition

  // The 64-bit data of a version 2+ file, or the 32-bit data of a version 1
  // file. Nothing for anything malformed.
  static std::optional<ZoneFile> parse(std::string_view bytes);
};

}  // namespace ovel
