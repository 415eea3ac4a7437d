// Claude Code's status-line input to a snapshot, and the snapshot through
// statusline.json back to the same snapshot.
#include "FuzzTarget.h"
#include "core/claude/StatusLineSnapshot.h"

namespace ovel {

OVEL_FUZZ_TARGET(StatusLineInput) {
  auto snapshot = StatusLineSnapshot::fromStatusLineInput(input, dateFromSeconds1970(1767225600.25));
  if (!snapshot) return;
  fuzz::check(!snapshot->windows().empty(), "a snapshot without a reading");
  for (const auto& limit : {snapshot->rateLimits.fiveHour, snapshot->rateLimits.sevenDay})
    fuzz::check(!limit || !limit->resetsAt || isCalendarSeconds(*limit->resetsAt), "a reset no calendar can show");
  fuzz::check(StatusLineSnapshot::decoded(snapshot->encoded()) == snapshot, "statusline.json does not read back");
}

}  // namespace ovel
