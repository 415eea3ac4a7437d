// How old the believed readings are, as the popover and the dashboard say it.
#pragma once

#include <string>

#include "core/Time.h"

namespace ovel {

class UsageModel;

// How long ago `then` was at `now`: "just now" under 45 s, else "5m ago".
std::string agePhrase(Date now, Date then);

// "Updated just now", "Updated 5m ago" or "Waiting for Claude Code", measured
// against the model's now.
std::string updatedText(const UsageModel& model);

}  // namespace ovel
