// reset-plan.json: a plan that loads saves and loads again unchanged.
#include "FuzzTarget.h"
#include "core/engine/ResetPlan.h"

namespace ovel {

OVEL_FUZZ_TARGET(ResetPlanFile) {
  ResetPlan plan = ResetPlanStore(fuzz::scratchFile("reset-plan.json", input)).load();
  for (const auto& entry : plan.planned)
    fuzz::check(isCalendarSeconds(secondsSince1970(entry.date)), "a planned reset no calendar can show");
  // Saving keeps whole seconds, so the first save may round; after it nothing changes.
  ResetPlanStore first(fuzz::scratchFolder() / "first.json"), second(fuzz::scratchFolder() / "second.json");
  fuzz::check(!first.save(plan), "a loaded plan cannot be saved");
  ResetPlan saved = first.load();
  fuzz::check(saved.banked == plan.banked && saved.planned.size() == plan.planned.size(), "a saved plan lost entries");
  fuzz::check(!second.save(saved), "a saved plan cannot be saved again");
  fuzz::check(second.load() == saved, "reset-plan.json does not read back");
}

}  // namespace ovel
