// The short English texts that the menu bar, tooltip, cards, banner and
// notifications share. Pure; numbers do not follow the process locale (the
// decimal separator is always a point), clock times follow the user's.
#pragma once

#include <string>
#include <string_view>

#include "core/engine/OvelEngine.h"
#include "core/engine/WindowModel.h"
#include "core/support/Time.h"

class QLocale;

namespace ovel {

struct Format {
  Format() = delete;

  // The zone in which clock() reads days and times; empty is the machine's.
  static void setTimeZone(std::string zone);
  // The zone set; empty for the machine's.
  static std::string timeZone();
  // The locale whose short time and abbreviated weekday clock() writes;
  // empty is the user's (LC_ALL, LC_TIME, LANG). The C and POSIX locales
  // write the English form, "3:45 PM".
  static void setLocale(std::string name);
  // The locale clock() writes in, for other views of clock times to agree:
  // the one set or the user's, English (United States) for C and POSIX.
  static QLocale clockLocale();

  static std::string percent(double percent);
  static std::string duration(double seconds);
  static std::string multiplier(double value);
  static std::string factor(const OvelSteer& steer);
  static std::string sessionsLeft(double sessions);
  // "3:45 PM" on the reference's day, else "Tue 3:45 PM" (in English).
  static std::string clock(Date date, Date reference);
  // A mark of a time axis: the short time as clock() writes it, or for marks
  // whole days apart the abbreviated weekday and the day of the month,
  // "Tue 14".
  static std::string axisMark(Date mark, bool wholeDays);
  static std::string verdict(const WindowAssessment& assessment, Date now);
  static std::string rate(double ratePerHour);
  static std::string rate(double ratePerHour, const WindowKind& kind);
  static std::string steerHeadline(const OvelSteer& steer);
  static std::string steerReason(const OvelSteer& steer);
  static std::string times(double value);
  // A message from data (a probe's error) as a view shows it: without the
  // white space it ends in, which would stand as a blank line; otherwise
  // as it came.
  static std::string message(std::string_view text);

  // Rounded half away from zero, as a plain integer; "—" when not finite.
  static std::string rounded(double value);
  // Fixed notation with the given decimals, as printf's "%.Nf" in the C locale.
  static std::string fixed(double value, int decimals);
};

}  // namespace ovel
