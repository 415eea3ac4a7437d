// The settings window's first tab: the login item, the tray's preview and
// look, the ordered tray items, notifications and how usage is read. Every
// control writes through to the preferences or integrations at once.
#pragma once

#include <QWidget>

#include <array>
#include <string>

#include "model/Preferences.h"

class QCheckBox;
class QComboBox;

namespace ovel {

class FormSection;
class Integrations;
class MenuBarItemList;
class MenuBarPreview;
class TextView;
class UsageModel;

class GeneralTab final : public QWidget {
 public:
  GeneralTab(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent = nullptr);

  // Brings every control up to date (the tab also follows signals).
  void refresh();
  // Why the global shortcut does not work, in red in a row of its own below
  // the login switch; empty hides it.
  void setHotKeyProblem(const QString& text);

  static std::string styleLabel(GlyphStyle style);
  static std::string styleCaption(GlyphStyle style);
  // "5 minutes": the interval as a whole number of minutes.
  static std::string intervalLabel(double minutes);
  static constexpr std::array<double, 5> kIntervals = {2, 5, 10, 15, 30};

  QCheckBox* launchAtLogin() const { return launch_; }
  QComboBox* styleBox() const { return style_; }
  QComboBox* intervalBox() const { return interval_; }
  FormSection* traySection() const { return tray_; }
  TextView* hotKeyProblemView() const { return hotKeyProblem_; }

 private:
  QWidget* buildLoginSection();
  QWidget* buildTraySection();
  QWidget* buildItemsSection();
  QWidget* buildNotifySection();
  QWidget* buildDataSection();
  QCheckBox* switchFor(const QString& text, bool (Preferences::*get)() const, void (Preferences::*set)(bool),
                       void (Preferences::*changed)());

  Preferences& preferences_;
  Integrations& integrations_;
  UsageModel& model_;
  QCheckBox* launch_ = nullptr;
  TextView* loginError_ = nullptr;
  TextView* hotKeyProblem_ = nullptr;
  FormSection* tray_ = nullptr;
  MenuBarPreview* preview_ = nullptr;
  QComboBox* style_ = nullptr;
  MenuBarItemList* items_ = nullptr;
  QComboBox* interval_ = nullptr;
};

}  // namespace ovel
