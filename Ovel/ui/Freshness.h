// How old the believed readings are, as the popover and the dashboard say it.
#pragma once

#include <string>

namespace ovel {

class UsageModel;

// "Updated just now", "Updated 5m ago" or "Waiting for Claude Code", measured
// against the model's now.
std::string updatedText(const UsageModel& model);

}  // namespace ovel
