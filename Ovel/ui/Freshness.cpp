#include "ui/Freshness.h"

#include "Format.h"
#include "UsageModel.h"

namespace ovel {
namespace {

constexpr double kJustNowAge = 45;

}  // namespace

std::string updatedText(const UsageModel& model) {
  auto observed = model.state().lastObservedAt();
  if (!observed) return "Waiting for Claude Code";
  double age = secondsBetween(model.now(), *observed);
  return age < kJustNowAge ? "Updated just now" : "Updated " + Format::duration(age) + " ago";
}

}  // namespace ovel
