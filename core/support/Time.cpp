#include "core/support/Time.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace ovel {
namespace {

using namespace std::chrono;

bool takeDigits(std::string_view& text, std::size_t count, int& value) {
  if (text.size() < count) return false;
  int result = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  value = result;
  text.remove_prefix(count);
  return true;
}

bool takeChar(std::string_view& text, char expected) {
  if (text.empty() || text.front() != expected) return false;
  text.remove_prefix(1);
  return true;
}

// Parses the zone designator; returns the offset east of UTC in seconds.
std::optional<int> parseZone(std::string_view text) {
  if (text == "Z" || text == "z") return 0;
  if (text.empty() || (text.front() != '+' && text.front() != '-')) return std::nullopt;
  int sign = text.front() == '-' ? -1 : 1;
  text.remove_prefix(1);
  int hours = 0, minutes = 0;
  if (!takeDigits(text, 2, hours)) return std::nullopt;
  if (!text.empty()) {
    takeChar(text, ':');
    if (!takeDigits(text, 2, minutes) || !text.empty()) return std::nullopt;
  }
  if (hours > 23 || minutes > 59) return std::nullopt;
  return sign * (hours * 3600 + minutes * 60);
}

}  // namespace

Date systemNow() { return time_point_cast<Seconds>(system_clock::now()); }

std::string isoString(Date date) {
  double whole = std::floor(secondsSince1970(date));
  // Keep the year within four digits: 0000-01-01 .. 9999-12-31.
  whole = std::clamp(whole, -62167219200.0, 253402300799.0);
  auto instant = sys_seconds{seconds{static_cast<long long>(whole)}};
  auto day = floor<days>(instant);
  year_month_day ymd{day};
  hh_mm_ss<seconds> time{instant - day};
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return buffer;
}

std::optional<Date> parseIsoDate(std::string_view text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!takeDigits(text, 4, y) || !takeChar(text, '-') || !takeDigits(text, 2, mo) || !takeChar(text, '-') ||
      !takeDigits(text, 2, d))
    return std::nullopt;
  if (!takeChar(text, 'T') && !takeChar(text, 't')) return std::nullopt;
  if (!takeDigits(text, 2, h) || !takeChar(text, ':') || !takeDigits(text, 2, mi) || !takeChar(text, ':') ||
      !takeDigits(text, 2, s))
    return std::nullopt;
  double fraction = 0;
  if (!text.empty() && (text.front() == '.' || text.front() == ',')) {
    std::size_t digits = 1;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 1) return std::nullopt;
    std::string decimal = "0." + std::string(text.substr(1, digits - 1));
    std::from_chars(decimal.data(), decimal.data() + decimal.size(), fraction);
    text.remove_prefix(digits);
  }
  auto offset = parseZone(text);
  if (!offset) return std::nullopt;
  year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
  if (!ymd.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;
  double seconds = static_cast<double>(sys_days{ymd}.time_since_epoch().count()) * 86400.0 + h * 3600 + mi * 60 + s;
  return dateFromSeconds1970(seconds + fraction - *offset);
}

}  // namespace ovel
