#include "ui/Freshness.h"

#include "Format.h"
#include "UsageModel.h"

namespace ovel {
namespace {

constexpr double kJustNowAge = 45;

}  // namespace

std::string agePhrase(Date now, Date then) {
  double age = secondsBetween(now, then);
  return age < kJustNowAge ? "just now" : Format::duration(age) + " ago";
}

std::string updatedText(const UsageModel& model) {
  auto observed = model.state().lastObservedAt();
  if (!observed) return "Waiting for Claude Code";
  return "Updated " + agePhrase(model.now(), *observed);
}

}  // namespace ovel
