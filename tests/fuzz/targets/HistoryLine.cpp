// history.jsonl lines as the store loads them.
#include <cmath>

#include "FuzzTarget.h"
#include "core/engine/EngineConstants.h"
#include "core/engine/History.h"

namespace ovel {

OVEL_FUZZ_TARGET(HistoryLine) {
  HistoryStore store(fuzz::scratchFile("history.jsonl", input), kHistoryRetention, kHistoryHeartbeat);
  for (const auto& sample : store.all()) {
    fuzz::check(std::isfinite(sample.usedPercent), "a percentage that is not finite");
    fuzz::check(isCalendarSeconds(secondsSince1970(sample.observedAt)), "an observation no calendar can show");
    fuzz::check(!sample.resetsAt || isCalendarSeconds(secondsSince1970(*sample.resetsAt)),
                "a reset no calendar can show");
  }
}

}  // namespace ovel
