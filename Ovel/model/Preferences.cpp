#include "model/Preferences.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

namespace ovel {
namespace {

constexpr double kDefaultRefreshMinutes = 5.0;
constexpr double kShortestRefreshMinutes = 1.0;

QString key(const char* name) { return QString::fromLatin1(name); }

// Rings and texts of the two settings that the layout replaced.
std::vector<MenuBarEntry> migratedLayout(const DefaultsStore& defaults) {
  using enum MenuBarItem;
  QString steerWindow = defaults.stringValue(key("steerWindow")).value_or(QString());
  QString menuBarText = defaults.stringValue(key("menuBarText")).value_or(QString());

  std::vector<MenuBarItem> rings = {tightestRing};
  if (steerWindow == "session") rings = {sessionRing};
  else if (steerWindow == "week") rings = {weekRing};
  else if (steerWindow == "both") rings = {sessionRing, weekRing};

  std::vector<MenuBarItem> texts = {sessionPercent};
  if (menuBarText == "sessionAndWeek") texts = {sessionPercent, weekPercent};
  else if (menuBarText == "timeToReset") texts = {sessionReset};
  else if (menuBarText == "ovelFactor") texts = {ovelFactor};
  else if (menuBarText == "none") texts = {};

  auto holds = [](const std::vector<MenuBarItem>& items, MenuBarItem item) {
    return std::find(items.begin(), items.end(), item) != items.end();
  };
  std::vector<MenuBarItem> order;
  for (MenuBarItem ring : rings) {
    order.push_back(ring);
    if (ring == sessionRing && holds(texts, sessionPercent)) order.push_back(sessionPercent);
    if (ring == weekRing && holds(texts, weekPercent)) order.push_back(weekPercent);
  }
  for (MenuBarItem text : texts)
    if (!holds(order, text)) order.push_back(text);

  std::vector<MenuBarEntry> layout;
  for (MenuBarItem item : order) layout.push_back({item, true});
  return layout;
}

// The stored entries, dropping elements that are not valid entries; absent
// when the value is not a JSON array at all.
std::optional<std::vector<MenuBarEntry>> decodeLayout(const QByteArray& data) {
  auto json = nlohmann::json::parse(data.begin(), data.end(), nullptr, false);
  if (!json.is_array()) return std::nullopt;
  std::vector<MenuBarEntry> layout;
  for (const auto& element : json) {
    if (!element.is_object()) continue;
    auto item = element.find("item");
    auto isOn = element.find("isOn");
    if (item == element.end() || isOn == element.end() || !item->is_string() || !isOn->is_boolean()) continue;
    if (auto parsed = menuBarItemFromRaw(item->get_ref<const std::string&>()))
      layout.push_back({*parsed, isOn->get<bool>()});
  }
  return layout;
}

std::vector<MenuBarEntry> completed(std::vector<MenuBarEntry> layout) {
  std::vector<MenuBarEntry> unique;
  auto seen = [&unique](MenuBarItem item) {
    return std::any_of(unique.begin(), unique.end(), [item](const MenuBarEntry& e) { return e.item == item; });
  };
  for (const MenuBarEntry& entry : layout)
    if (!seen(entry.item)) unique.push_back(entry);
  for (MenuBarItem item : kAllMenuBarItems)
    if (!seen(item)) unique.push_back({item, false});
  return unique;
}

}  // namespace

Preferences::Preferences(DefaultsStore& defaults, QObject* parent) : QObject(parent), defaults_(defaults) {
  defaults_.registerDefaults({
      {key("refreshMinutes"), kDefaultRefreshMinutes},
      {key("colorWhenAtRisk"), true},
      {key("notifyAtRisk"), true},
      {key("notifyLimited"), true},
      {key("notifyReset"), true},
      {key("useLocalActivity"), true},
      {key("glyphStyle"), QString::fromLatin1(rawValue(GlyphStyle::usageAndSteer).data())},
  });
  refreshMinutes_ = defaults_.doubleValue(key("refreshMinutes"));
  menuBarLayout_ = loadLayout(defaults_);
  colorWhenAtRisk_ = defaults_.boolValue(key("colorWhenAtRisk"));
  notifyAtRisk_ = defaults_.boolValue(key("notifyAtRisk"));
  notifyLimited_ = defaults_.boolValue(key("notifyLimited"));
  notifyReset_ = defaults_.boolValue(key("notifyReset"));
  claudePathOverride_ = defaults_.stringValue(key("claudePathOverride")).value_or(QString());
  useLocalActivity_ = defaults_.boolValue(key("useLocalActivity"));
  auto style = defaults_.stringValue(key("glyphStyle")).value_or(QString()).toStdString();
  glyphStyle_ = glyphStyleFromRaw(style).value_or(GlyphStyle::usageAndSteer);
}

std::vector<MenuBarEntry> Preferences::loadLayout(const DefaultsStore& defaults) {
  std::optional<std::vector<MenuBarEntry>> stored;
  if (auto data = defaults.dataValue(key("menuBarLayout"))) stored = decodeLayout(*data);
  return completed(stored ? std::move(*stored) : migratedLayout(defaults));
}

void Preferences::saveLayout() {
  nlohmann::json array = nlohmann::json::array();
  for (const MenuBarEntry& entry : menuBarLayout_)
    array.push_back({{"item", std::string(rawValue(entry.item))}, {"isOn", entry.isOn}});
  defaults_.setValue(key("menuBarLayout"), QByteArray::fromStdString(array.dump()));
}

void Preferences::layoutChangedInPlace() {
  saveLayout();
  emit menuBarLayoutChanged();
}

void Preferences::setSwitch(bool& field, bool on, const char* name, void (Preferences::*changed)()) {
  bool differs = field != on;
  field = on;
  defaults_.setValue(key(name), on);
  if (differs) emit(this->*changed)();
}

void Preferences::setRefreshMinutes(double minutes) {
  // NaN never equals itself, so compare as the numbers they are.
  bool differs = !(refreshMinutes_ == minutes) && !(std::isnan(refreshMinutes_) && std::isnan(minutes));
  refreshMinutes_ = minutes;
  defaults_.setValue(key("refreshMinutes"), minutes);
  if (differs) emit refreshMinutesChanged();
}

void Preferences::setMenuBarLayout(std::vector<MenuBarEntry> layout) {
  bool differs = layout != menuBarLayout_;
  menuBarLayout_ = std::move(layout);
  saveLayout();
  if (differs) emit menuBarLayoutChanged();
}

void Preferences::setColorWhenAtRisk(bool on) {
  setSwitch(colorWhenAtRisk_, on, "colorWhenAtRisk", &Preferences::colorWhenAtRiskChanged);
}
void Preferences::setNotifyAtRisk(bool on) {
  setSwitch(notifyAtRisk_, on, "notifyAtRisk", &Preferences::notifyAtRiskChanged);
}
void Preferences::setNotifyLimited(bool on) {
  setSwitch(notifyLimited_, on, "notifyLimited", &Preferences::notifyLimitedChanged);
}
void Preferences::setNotifyReset(bool on) {
  setSwitch(notifyReset_, on, "notifyReset", &Preferences::notifyResetChanged);
}
void Preferences::setUseLocalActivity(bool on) {
  setSwitch(useLocalActivity_, on, "useLocalActivity", &Preferences::useLocalActivityChanged);
}

void Preferences::setClaudePathOverride(const QString& path) {
  bool differs = path != claudePathOverride_;
  claudePathOverride_ = path;
  defaults_.setValue(key("claudePathOverride"), path);
  if (differs) emit claudePathOverrideChanged();
}

void Preferences::setGlyphStyle(GlyphStyle style) {
  bool differs = style != glyphStyle_;
  glyphStyle_ = style;
  defaults_.setValue(key("glyphStyle"), QString::fromLatin1(rawValue(style).data()));
  if (differs) emit glyphStyleChanged();
}

void Preferences::setMenuBarItemOn(MenuBarItem item, bool on) {
  for (MenuBarEntry& entry : menuBarLayout_)
    if (entry.item == item) entry.isOn = on;
  layoutChangedInPlace();
}

void Preferences::moveMenuBarEntry(int from, int to) {
  int count = static_cast<int>(menuBarLayout_.size());
  if (from < 0 || from >= count || to < 0 || to >= count) return;
  MenuBarEntry moving = menuBarLayout_[from];
  menuBarLayout_.erase(menuBarLayout_.begin() + from);
  menuBarLayout_.insert(menuBarLayout_.begin() + to, moving);
  layoutChangedInPlace();
}

std::vector<MenuBarItem> Preferences::menuBarItems() const {
  std::vector<MenuBarItem> items;
  for (const MenuBarEntry& entry : menuBarLayout_)
    if (entry.isOn && std::find(items.begin(), items.end(), entry.item) == items.end()) items.push_back(entry.item);
  return items;
}

void Preferences::moveMenuBarItem(MenuBarItem item, int offset) {
  auto found = std::find_if(menuBarLayout_.begin(), menuBarLayout_.end(),
                            [item](const MenuBarEntry& entry) { return entry.item == item; });
  if (found == menuBarLayout_.end()) return;
  long index = found - menuBarLayout_.begin();
  long target = index + offset;
  if (target < 0 || target >= static_cast<long>(menuBarLayout_.size())) return;
  std::swap(menuBarLayout_[index], menuBarLayout_[target]);
  layoutChangedInPlace();
}

double Preferences::effectiveRefreshMinutes() const {
  if (!std::isfinite(refreshMinutes_) || refreshMinutes_ <= 0) return kDefaultRefreshMinutes;
  return std::max(refreshMinutes_, kShortestRefreshMinutes);
}

}  // namespace ovel
