#include "model/Format.h"

#include <QLocale>
#include <QTime>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>

#include "core/support/TimeZone.h"

namespace ovel {
namespace {

constexpr std::string_view kTimes = "\u00D7";
constexpr std::string_view kDot = " \u00B7 ";
constexpr std::string_view kDash = " \u2014 ";

std::mutex settingsMutex;
std::string timeZoneName;
std::string localeName;

std::string zoneName() {
  std::lock_guard lock(settingsMutex);
  return timeZoneName;
}

// The locale clock texts are written in; none where the English form stands.
// The C locale (also what an unknown name gives) would write 24-hour times
// with seconds.
std::optional<QLocale> writtenLocale() {
  std::unique_lock lock(settingsMutex);
  QLocale locale = localeName.empty() ? QLocale::system() : QLocale(QString::fromStdString(localeName));
  lock.unlock();
  if (locale.timeFormat(QLocale::ShortFormat) == QLocale::c().timeFormat(QLocale::ShortFormat)) return std::nullopt;
  return locale;
}

std::string timeOfDay(const LocalTime& local) {
  int hour12 = local.hour % 12 == 0 ? 12 : local.hour % 12;
  // Appended piece by piece here and below: GCC 12 warns falsely about a
  // literal + string temporary in Release builds.
  std::string text = std::to_string(hour12);
  text += local.minute < 10 ? ":0" : ":";
  text += std::to_string(local.minute);
  text += local.hour < 12 ? " AM" : " PM";
  return text;
}

// "3h" or "3h 20m": the second part only when it is not 0.
std::string twoUnits(double whole, const char* unit, double rest, const char* restUnit) {
  std::string text = Format::rounded(whole) + unit;
  if (rest == 0) return text;
  text += ' ';
  text += Format::rounded(rest);
  text += restUnit;
  return text;
}

std::string shortTime(const LocalTime& local, const std::optional<QLocale>& locale) {
  if (!locale) return timeOfDay(local);
  return locale->toString(QTime(local.hour, local.minute), QLocale::ShortFormat).toStdString();
}

std::string_view weekdayName(int weekday);

std::string shortWeekday(const LocalTime& local, const std::optional<QLocale>& locale) {
  if (!locale) return std::string(weekdayName(local.weekday));
  // Qt counts the days of the week from Monday = 1 to Sunday = 7.
  return locale->dayName(local.weekday == 0 ? 7 : local.weekday, QLocale::ShortFormat).toStdString();
}

std::string_view weekdayName(int weekday) {
  static constexpr std::array<std::string_view, 7> kNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return kNames[static_cast<std::size_t>(weekday % 7)];
}

std::string plannedResetVerdict(const WindowAssessment& a, Date plannedAt, double projected, Date now) {
  std::string at = Format::clock(plannedAt, now);
  if (a.ratePerHour && *a.ratePerHour == 0)
    return "Idle" + std::string(kDot) + Format::percent(100 - a.window.usedPercent) + " unused at the planned reset " +
           at;
  if (projected >= 95) return "Uses it up by the planned reset " + at;
  return Format::percent(100 - projected) + " unused at the planned reset " + at;
}

}  // namespace

void Format::setTimeZone(std::string zone) {
  std::lock_guard lock(settingsMutex);
  timeZoneName = std::move(zone);
}

std::string Format::timeZone() { return zoneName(); }

void Format::setLocale(std::string name) {
  std::lock_guard lock(settingsMutex);
  localeName = std::move(name);
}

QLocale Format::clockLocale() { return writtenLocale().value_or(QLocale(QLocale::English, QLocale::UnitedStates)); }

std::string Format::rounded(double value) {
  if (!std::isfinite(value)) return "\u2014";
  double whole = std::round(value);
  if (whole == 0) return "0";  // never "-0"
  if (std::fabs(whole) < 9.2e18) return std::to_string(static_cast<long long>(whole));
  return fixed(whole, 0);
}

std::string Format::fixed(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

std::string Format::percent(double percent) { return rounded(percent) + "%"; }

std::string Format::duration(double seconds) {
  double m = std::round(seconds / 60);
  if (!(m >= 1)) return "<1m";
  if (m < 60) return rounded(m) + "m";
  // Divided as whole numbers: in doubles the hours go wrong past 2^53 minutes.
  if (m < 0x1p63) {
    auto minutes = static_cast<std::int64_t>(m);
    if (minutes < 1440) return twoUnits(minutes / 60, "h", minutes % 60, "m");
    return twoUnits(minutes / 1440, "d", minutes % 1440 / 60, "h");
  }
  // Beyond 64 bits a double is a whole number whose remainder fmod gives exactly.
  return twoUnits(std::floor(m / 1440), "d", std::floor(std::fmod(m, 1440) / 60), "h");
}

std::string Format::multiplier(double value) {
  if (value >= 10) return rounded(value) + std::string(kTimes);
  return fixed(value, 1) + std::string(kTimes);
}

std::string Format::factor(const OvelSteer& steer) {
  double f = steer.factor;
  if (f <= 0) return "\u25A0";
  if (f < 1) return "\u2193" + multiplier(f);
  // A factor that is not a number reads as on track, like its arrow angle.
  if (f < 1.25 || std::isnan(f)) return "\u2192";
  if (f >= 4) return "\u2191";
  return "\u2191" + multiplier(f);
}

std::string Format::sessionsLeft(double sessions) {
  if (!std::isfinite(sessions)) return "\u221E\u00D75h";
  return fixed(sessions, sessions >= 10 ? 0 : 1) + "\u00D75h";
}

std::string Format::clock(Date date, Date reference) {
  std::string zone = zoneName();
  LocalTime local = localTime(date, zone);
  std::optional<QLocale> locale = writtenLocale();
  std::string time = shortTime(local, locale);
  if (local.sameDay(localTime(reference, zone))) return time;
  std::string text = shortWeekday(local, locale);
  text += ' ';
  text += time;
  return text;
}

std::string Format::axisMark(Date mark, bool wholeDays) {
  LocalTime local = localTime(mark, zoneName());
  std::optional<QLocale> locale = writtenLocale();
  if (!wholeDays) return shortTime(local, locale);
  std::string text = shortWeekday(local, locale);
  text += ' ';
  text += std::to_string(local.day);
  return text;
}

std::string Format::rate(double ratePerHour) {
  if (ratePerHour >= 10 || ratePerHour == 0) return rounded(ratePerHour) + "%/h";
  return fixed(ratePerHour, 1) + "%/h";
}

std::string Format::rate(double ratePerHour, const WindowKind& kind) {
  if (kind.isSession()) return rate(ratePerHour);
  double perDay = ratePerHour * 24;
  if (perDay >= 10 || perDay == 0) return rounded(perDay) + "%/day";
  return fixed(perDay, 1) + "%/day";
}

std::string Format::steerHeadline(const OvelSteer& steer) {
  double f = steer.factor;
  if (f <= 0) return "Limit reached" + std::string(kDash) + "pause until it resets";
  if (f < 1) return "Ease off to " + percent(f * 100) + " of your current ovel";
  if (f < 1.25 || std::isnan(f)) return "Right on ovel" + std::string(kDash) + "keep going";
  if (std::isinf(f)) return "Idle" + std::string(kDash) + "plenty of room";
  if (f >= 4) return "Plenty of room to speed up";
  return "Room to speed up " + multiplier(f);
}

std::string Format::steerReason(const OvelSteer& steer) {
  std::string window = steer.kind.isSession() ? "Session (5h)" : steer.kind.isWeek() ? "Week (7d)" : steer.kind.title();
  return window + " is the tight one";
}

std::string Format::message(std::string_view text) {
  std::size_t end = text.find_last_not_of(" \t\r\n\v\f");
  return std::string(end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1));
}

std::string Format::times(double value) {
  if (!std::isfinite(value)) return "idle";
  if (value >= 4) return std::string(kTimes) + "4+";
  return std::string(kTimes) + fixed(value, value < 1 ? 2 : 1);
}

std::string Format::verdict(const WindowAssessment& a, Date now) {
  const auto& projected = a.projectedAtReset;
  bool easy = a.status == OvelStatus::comfortable || a.status == OvelStatus::watch;
  if (a.plannedResetAt && easy && projected) return plannedResetVerdict(a, *a.plannedResetAt, *projected, now);

  switch (a.status) {
    case OvelStatus::limited: {
      auto back = a.plannedResetAt ? a.plannedResetAt : a.window.resetsAt;
      if (!back) return "Limit reached";
      return "Limit reached" + std::string(kDot) + "back at " + clock(*back, now);
    }
    case OvelStatus::atRisk:
      if (!a.timeToLimit) return "On track to hit the limit";
      return "Limit in ~" + duration(*a.timeToLimit) + " at this ovel";
    case OvelStatus::watch:
      if (!projected) return "Running warm";
      return "Lands near " + percent(std::min(*projected, 99.0)) + " at reset";
    case OvelStatus::comfortable: break;
  }
  if (!a.window.resetsAt) return "Not started";
  if (a.ratePerHour && *a.ratePerHour == 0) return "Idle" + std::string(kDot) + "nothing burning";
  if (!projected) return "Plenty of room";
  return "Lands around " + percent(*projected) + " at reset";
}

}  // namespace ovel
