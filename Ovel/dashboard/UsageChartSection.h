// The body of the dashboard's chart card: the heading "Usage over this
// window" with a segmented picker of the current windows, and the chart of
// the picked one. Until the user picks, the chart follows the steering
// window (the session without one); a pick holds for the life of the view.
#pragma once

#include <QWidget>

#include <optional>
#include <span>
#include <vector>

#include "core/engine/OvelEngine.h"

namespace ovel {

class SegmentedControl;
class TextView;
class UsageChart;
class UsageModel;

class UsageChartSection final : public QWidget {
 public:
  static constexpr double kCeiling = 110;
  static constexpr int kChartHeight = 230;

  explicit UsageChartSection(UsageModel& model, QWidget* parent = nullptr);

  // Re-reads the model.
  void refresh();

  // The window the user picked; nothing before the first pick.
  const std::optional<WindowKind>& chartKind() const { return chartKind_; }

  // The window shown: the pick, else the steering window, else the session.
  static WindowKind chartSelection(const std::optional<WindowKind>& chartKind,
                                   const std::optional<WindowAssessment>& steerAssessment);
  // The first assessment of that kind; null when there is none.
  static const WindowAssessment* selectedAssessment(const WindowKind& kind,
                                                    std::span<const WindowAssessment> assessments);

  TextView* heading() const { return heading_; }
  SegmentedControl* picker() const { return picker_; }
  UsageChart* chart() const { return chart_; }

 private:
  void pick(int index);

  UsageModel& model_;
  std::optional<WindowKind> chartKind_;
  std::vector<WindowKind> kinds_;  // the picker's entries
  TextView* heading_ = nullptr;
  SegmentedControl* picker_;
  UsageChart* chart_;
};

}  // namespace ovel
