// The dashboard: the steering hero, a panel per limit window with its rate
// table, the session/week card, the planned and banked resets, and the
// state of the three sources.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>

#include "core/OvelEngine.h"

class QVBoxLayout;

namespace ovel {

class Integrations;
class UsageModel;

class DashboardView final : public QWidget {
  Q_OBJECT

 public:
  DashboardView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings, bool scrolls,
                QWidget* parent = nullptr);

  void rebuild();

  // The windows the user picked for the chart and promoted to full size.
  const std::optional<WindowKind>& chartKind() const { return chartKind_; }
  const std::optional<WindowKind>& promoted() const { return promoted_; }

 private:
  QWidget* hero();
  QWidget* limitPanel(const WindowAssessment& assessment);

  UsageModel& model_;
  Integrations& integrations_;
  std::function<void()> openSettings_;
  std::optional<WindowKind> chartKind_;
  std::optional<WindowKind> promoted_;
  QVBoxLayout* cards_;  // rebuilt from the model
  // Built once: they follow the model themselves (the sources too), and the
  // resets card holds what the user is typing.
  QWidget* sessionWeek_;
  QWidget* resets_;
  QWidget* whereItGoes_;  // the activity and insights cards
};

}  // namespace ovel
