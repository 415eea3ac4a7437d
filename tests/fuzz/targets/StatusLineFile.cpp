// statusline.json as the application reads it; what it reads writes back
// the same.
#include "FuzzTarget.h"
#include "core/claude/StatusLineSnapshot.h"

namespace ovel {

OVEL_FUZZ_TARGET(StatusLineFile) {
  auto snapshot = StatusLineSnapshot::decoded(input);
  if (!snapshot) return;
  fuzz::check(isCalendarSeconds(snapshot->observedAt), "an observation no calendar can show");
  fuzz::check(StatusLineSnapshot::decoded(snapshot->encoded()) == snapshot, "statusline.json does not read back");
}

}  // namespace ovel
