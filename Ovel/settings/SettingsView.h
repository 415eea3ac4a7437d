// The settings window: the General tab (login item, menu-bar layout and
// look, notifications, data), the Claude Code tab (status-line connection,
// the claude command) and About. Every control writes through at once.
#pragma once

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "Preferences.h"

class QLabel;
class QTabWidget;

namespace ovel {

class Integrations;
class UsageModel;

class SettingsView final : public QWidget {
  Q_OBJECT

 public:
  SettingsView(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent = nullptr);

  // Brings every control up to date at once (the view also follows signals).
  void rebuild();

  static std::string itemTitle(MenuBarItem item);
  static std::string styleLabel(GlyphStyle style);
  static std::string styleCaption(GlyphStyle style);
  // "Not connected", "Needs reconnecting", "Connected" or
  // "Connected · your status line kept".
  static std::string statusLineText(const Integrations& integrations);
  // "Working · just now" / "Working · 3h ago" for the newest reading.
  static std::string workingText(double age);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* generalTab();
  QWidget* claudeCodeTab();
  QWidget* aboutTab();
  QWidget* menuBarItemsList();

  Preferences& preferences_;
  Integrations& integrations_;
  UsageModel& model_;
  QTabWidget* tabs_;
  std::vector<std::function<void()>> updaters_;
};

}  // namespace ovel
