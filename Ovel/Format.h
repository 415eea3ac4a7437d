// The short English texts that the menu bar, tooltip, cards, banner and
// notifications share. Pure, and independent of the process locale: the
// decimal separator is always a point.
#pragma once

#include <string>
#include <string_view>

#include "core/OvelEngine.h"
#include "core/Time.h"
#include "core/WindowModel.h"

namespace ovel {

struct Format {
  Format() = delete;

  // The zone in which clock() reads days and times; empty is the machine's.
  static void setTimeZone(std::string zone);
  static std::string timeZone();

  static std::string percent(double percent);
  static std::string duration(double seconds);
  static std::string multiplier(double value);
  static std::string factor(const OvelSteer& steer);
  static std::string sessionsLeft(double sessions);
  // "3:45 PM" on the reference's day, else "Tue 3:45 PM".
  static std::string clock(Date date, Date reference);
  static std::string verdict(const WindowAssessment& assessment, Date now);
  static std::string rate(double ratePerHour);
  static std::string rate(double ratePerHour, const WindowKind& kind);
  static std::string steerHeadline(const OvelSteer& steer);
  static std::string steerReason(const OvelSteer& steer);
  static std::string times(double value);

  // Rounded half away from zero, as a plain integer; "—" when not finite.
  static std::string rounded(double value);
  // Fixed notation with the given decimals, as printf's "%.Nf" in the C locale.
  static std::string fixed(double value, int decimals);
};

}  // namespace ovel
