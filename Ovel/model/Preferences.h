// The user's settings, observable, written through to the defaults store at
// every assignment. Observers hear of a change only when the value differs.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

#include "model/DefaultsStore.h"
#include "model/PreferenceTypes.h"

namespace ovel {

class Preferences final : public QObject {
  Q_OBJECT

 public:
  // The store must outlive the preferences.
  explicit Preferences(DefaultsStore& defaults, QObject* parent = nullptr);

  double refreshMinutes() const { return refreshMinutes_; }
  const std::vector<MenuBarEntry>& menuBarLayout() const { return menuBarLayout_; }
  bool colorWhenAtRisk() const { return colorWhenAtRisk_; }
  bool notifyAtRisk() const { return notifyAtRisk_; }
  bool notifyLimited() const { return notifyLimited_; }
  bool notifyReset() const { return notifyReset_; }
  const QString& claudePathOverride() const { return claudePathOverride_; }
  bool useLocalActivity() const { return useLocalActivity_; }
  GlyphStyle glyphStyle() const { return glyphStyle_; }
  // The store behind these settings, where views keep their own few.
  DefaultsStore& defaults() const { return defaults_; }

  void setRefreshMinutes(double minutes);
  void setMenuBarLayout(std::vector<MenuBarEntry> layout);
  void setColorWhenAtRisk(bool on);
  void setNotifyAtRisk(bool on);
  void setNotifyLimited(bool on);
  void setNotifyReset(bool on);
  void setClaudePathOverride(const QString& path);
  void setUseLocalActivity(bool on);
  void setGlyphStyle(GlyphStyle style);

  // One entry switched on or off in place; always notifies and saves.
  void setMenuBarItemOn(MenuBarItem item, bool on);
  // Moves the entry at `from` so that it lands at `to` (a drag in the
  // settings list); always notifies and saves.
  void moveMenuBarEntry(int from, int to);

  // The items that are on, in layout order.
  std::vector<MenuBarItem> menuBarItems() const;
  // Swaps the item with its neighbour at index + offset, when there is one.
  void moveMenuBarItem(MenuBarItem item, int offset);

  // The probe interval to use: a stored value that is not finite or not
  // above 0 counts as 5 minutes, and nothing shorter than one minute.
  double effectiveRefreshMinutes() const;

  static std::vector<MenuBarEntry> loadLayout(const DefaultsStore& defaults);

 signals:
  void refreshMinutesChanged();
  void menuBarLayoutChanged();
  void colorWhenAtRiskChanged();
  void notifyAtRiskChanged();
  void notifyLimitedChanged();
  void notifyResetChanged();
  void claudePathOverrideChanged();
  void useLocalActivityChanged();
  void glyphStyleChanged();

 private:
  void setSwitch(bool& field, bool on, const char* key, void (Preferences::*changed)());
  void saveLayout();
  void layoutChangedInPlace();

  DefaultsStore& defaults_;
  double refreshMinutes_;
  std::vector<MenuBarEntry> menuBarLayout_;
  bool colorWhenAtRisk_;
  bool notifyAtRisk_;
  bool notifyLimited_;
  bool notifyReset_;
  QString claudePathOverride_;
  bool useLocalActivity_;
  GlyphStyle glyphStyle_;
};

}  // namespace ovel
