// The top row of the dashboard: the steering window's ring, what to do and
// why, how the other windows steer, a Refresh button and how fresh the
// readings are.
#pragma once

#include <QWidget>

#include <optional>
#include <span>
#include <string>

#include "core/engine/OvelEngine.h"

class QPushButton;

namespace ovel {

class DayRingView;
class TextView;
class UsageModel;

// What the dashboard says while no reading has come and no probe failed.
inline constexpr const char* kReadingYourUsage = "Ovel is reading your usage from Claude Code.";

struct HeroText {
  std::string title;
  std::string detail;
  std::optional<std::string> others;  // absent when there is nothing to say

  bool operator==(const HeroText&) const = default;
};

class DashboardHero final : public QWidget {
 public:
  static constexpr int kRingSide = 56;

  explicit DashboardHero(UsageModel& model, QWidget* parent = nullptr);

  // Re-reads the model.
  void refresh();

  // The three texts for the steer, its window's assessment, every
  // assessment and the last probe error.
  static HeroText heroText(const std::optional<OvelSteer>& steer,
                           const std::optional<WindowAssessment>& steerAssessment,
                           std::span<const WindowAssessment> assessments,
                           const std::optional<std::string>& lastProbeError, Date now);
  // How another window steers, in a few words: "ease off to 80%", "idle".
  static std::string steerPhrase(double factor);

  TextView* titleView() const { return title_; }
  TextView* detailView() const { return detail_; }
  TextView* othersView() const { return others_; }
  TextView* freshnessView() const { return freshness_; }
  QPushButton* refreshButton() const { return refresh_; }

 private:
  void refreshRing();

  UsageModel& model_;
  DayRingView* ring_;
  TextView* title_;
  TextView* detail_;
  TextView* others_;
  QPushButton* refresh_;
  TextView* freshness_;
  std::optional<double> shownAngle_;
};

}  // namespace ovel
