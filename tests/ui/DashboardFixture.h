// What the dashboard's tests share: assessments built by hand, and a usage
// model with fake seams (virtual time) that a demo scenario or readings fill.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "Demo.h"
#include "Format.h"
#include "Integrations.h"
#include "app/UsageModelHarness.h"

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

// Clock texts read in UTC, so that kStart is 12:00 PM.
class DashboardTest : public UsageModelTest {
 protected:
  DashboardTest() { Format::setTimeZone("UTC"); }
  ~DashboardTest() override { Format::setTimeZone({}); }

  void startDemo(Demo::Scenario scenario) { model->startDemo(Demo::make(scenario, kStart, "UTC")); }
  // Readings taken in as a probe would, then a recompute at the clock's time.
  void feed(const std::vector<UsageWindow>& windows) {
    UsageModelInternals::ingest(*model, windows);
    model->recompute();
  }

  ScopedEnv claudeDir{"CLAUDE_CONFIG_DIR", (dir / "claude").string()};
  Integrations integrations{AppBundle{QStringLiteral("ovel"), dir / "app/bin/Ovel"}, nullptr};
};

}  // namespace ovel::test
