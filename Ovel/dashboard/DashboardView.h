// The dashboard: the steering hero; then, once there are readings, the
// limit panels with their rate tables, the session/week card, the planned
// and banked resets, the usage chart and the activity and insights; and
// last the state of the three sources.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>

#include "core/engine/OvelEngine.h"

class QScrollArea;

namespace ovel {

class DashboardHero;
class EmptyState;
class Integrations;
class LimitsSection;
class UsageChartSection;
class UsageModel;

class DashboardView final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinimumWidth = 720;
  static constexpr int kMinimumHeight = 520;

  // `scrolls`: the content sits in a vertical scroll area (the window);
  // otherwise it takes its natural height (snapshots).
  DashboardView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings, bool scrolls,
                QWidget* parent = nullptr);

  // Re-reads the model at once (the view also follows its signals).
  void rebuild();

  // The window the user picked for the chart, and the one promoted to full
  // size; nothing until the user does so.
  const std::optional<WindowKind>& chartKind() const;
  const std::optional<WindowKind>& promoted() const;

  DashboardHero* hero() const { return hero_; }
  EmptyState* emptyState() const { return empty_; }
  QWidget* cards() const { return cards_; }
  LimitsSection* limits() const { return limits_; }
  UsageChartSection* usageChart() const { return chart_; }
  // The activity and insights cards, side by side.
  QWidget* activityRow() const { return activityRow_; }

 protected:
  // Opened, no control has the focus until Tab picks the first.
  void showEvent(QShowEvent* event) override;
  // Tab follows the reading order, top to bottom, the sources row last.
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  UsageModel& model_;
  QScrollArea* scroll_ = nullptr;
  DashboardHero* hero_;
  EmptyState* empty_;
  QWidget* cards_;
  LimitsSection* limits_;
  UsageChartSection* chart_;
  QWidget* activityRow_;
};

}  // namespace ovel
