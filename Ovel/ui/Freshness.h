// How old the believed readings are, as the popover and the dashboard say it.
#pragma once

#include <optional>
#include <string>

#include "core/support/Time.h"

namespace ovel {

// "just now" below 45 s, else "5m ago".
std::string ageText(double seconds);
// "Updated " and the age, or "Waiting for Claude Code" without a reading.
std::string updatedText(Date now, std::optional<Date> lastObserved);

}  // namespace ovel
