// The reset block beside a window's figure, on the popover's card and the
// dashboard's panels alike: "resets 3:45 PM", "in 1h 20m" and "planned Tue
// 9:00 AM", each only where it applies.
#pragma once

#include <optional>
#include <string>

#include "core/engine/OvelEngine.h"
#include "core/support/Time.h"

namespace ovel {

struct ResetLines {
  std::optional<std::string> resets;
  std::optional<std::string> in;
  std::optional<std::string> planned;

  // Nothing without a reset time, not even a planned reset.
  static ResetLines of(const WindowAssessment& assessment, Date now);

  // The planned line's tooltip.
  static constexpr const char* kPlannedHelp =
      "Ovel is planning this limit to a reset you added, ahead of the scheduled one.";
};

}  // namespace ovel
