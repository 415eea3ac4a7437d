#include "ui/ResetLines.h"

#include "model/Format.h"

namespace ovel {

ResetLines ResetLines::of(const WindowAssessment& assessment, Date now) {
  ResetLines lines;
  const auto& reset = assessment.window.resetsAt;
  if (!reset) return lines;
  lines.resets = "resets " + Format::clock(*reset, now);
  lines.in = "in " + Format::duration(secondsBetween(*reset, now));
  if (assessment.plannedResetAt) lines.planned = "planned " + Format::clock(*assessment.plannedResetAt, now);
  return lines;
}

}  // namespace ovel
