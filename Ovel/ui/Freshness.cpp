#include "ui/Freshness.h"

#include "model/Format.h"

namespace ovel {
namespace {

constexpr double kJustNowAge = 45;

}  // namespace

std::string ageText(double seconds) { return seconds < kJustNowAge ? "just now" : Format::duration(seconds) + " ago"; }

std::string updatedText(Date now, std::optional<Date> lastObserved) {
  if (!lastObserved) return "Waiting for Claude Code";
  return "Updated " + ageText(secondsBetween(now, *lastObserved));
}

}  // namespace ovel
