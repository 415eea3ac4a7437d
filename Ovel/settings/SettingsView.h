// The settings window's content: the General, Claude Code and About tabs.
// It keeps no copy of any setting; each control writes through at once.
#pragma once

#include <QWidget>

class QTabWidget;

namespace ovel {

class AboutTab;
class ClaudeCodeTab;
class GeneralTab;
class Integrations;
class Preferences;
class UsageModel;

class SettingsView final : public QWidget {
 public:
  SettingsView(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent = nullptr);

  // Brings every tab up to date at once (the tabs also follow signals).
  void rebuild();

  // The window's own size; the tabs scroll within it.
  static constexpr QSize kSize{520, 600};
  QSize sizeHint() const override { return kSize; }

  QTabWidget* tabs() const { return tabs_; }
  GeneralTab* general() const { return general_; }
  ClaudeCodeTab* claudeCode() const { return claudeCode_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Tab follows the reading order of the tab shown.
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void paintTabIcons();

  Integrations& integrations_;
  QTabWidget* tabs_;
  GeneralTab* general_;
  ClaudeCodeTab* claudeCode_;
};

}  // namespace ovel
