// The content of the status item's popover: rings and headline, the
// steering banner, the headline window's card, a row per other window, and
// the footer's actions.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "core/OvelEngine.h"

class QVBoxLayout;

namespace ovel {

class Integrations;
class UsageModel;

class PopoverView final : public QWidget {
  Q_OBJECT

 public:
  PopoverView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
              std::function<void()> openDashboard = [] {}, QWidget* parent = nullptr);

  // Rebuilds from the model at once (the view also follows its signals).
  void rebuild();

  static std::string headlineText(const UsageModel& model);
  // updatedText, and " · live" while the status line is live.
  static std::string freshnessText(const UsageModel& model);
  static bool isLive(const UsageModel& model);

 private:
  QWidget* header();
  QWidget* content();
  QWidget* footer();
  QWidget* setupHint(const std::string& message);

  UsageModel& model_;
  Integrations& integrations_;
  std::function<void()> openSettings_;
  std::function<void()> openDashboard_;
  QVBoxLayout* column_;
};

}  // namespace ovel
