// What the dashboard's tests share: assessments built by hand, and the view
// harness's model with fake seams (virtual time), filled by a demo scenario
// or by readings.
#pragma once

#include <optional>

#include "ViewHarness.h"
#include "model/Demo.h"

namespace ovel::test {

// A window's verdict with the fields the views read. The steer follows from
// the rates: sustainable ÷ rate.
inline WindowAssessment assessed(WindowKind kind, double used, std::optional<double> rate = std::nullopt,
                                 std::optional<double> sustainable = std::nullopt,
                                 OvelStatus status = OvelStatus::comfortable,
                                 std::optional<Date> resetsAt = std::nullopt) {
  WindowAssessment a;
  a.window = UsageWindow{std::move(kind), used, resetsAt, kStart, DataSource::statusLine};
  a.ratePerHour = rate;
  a.rateBasis = rate ? RateBasis::recent : RateBasis::none;
  a.sustainableRatePerHour = sustainable;
  a.status = status;
  return a;
}

inline WindowKind opus() { return WindowKind::weekModel("Opus"); }

class DashboardTest : public ViewTest {
 protected:
  // Readings taken in as a probe would, then a recompute at the clock's time.
  void feed(const std::vector<UsageWindow>& windows) {
    UsageModelInternals::ingest(*model, windows);
    model->recompute();
  }
};

}  // namespace ovel::test
