#include "settings/GeneralTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

#include "model/Integrations.h"
#include "model/UsageModel.h"
#include "settings/FormSection.h"
#include "settings/MenuBarItemList.h"
#include "settings/MenuBarPreview.h"
#include "ui/Focus.h"
#include "ui/TextView.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

std::string GeneralTab::styleLabel(GlyphStyle style) {
  switch (style) {
    case GlyphStyle::usage: return "Usage";
    case GlyphStyle::steer: return "Ovel direction";
    case GlyphStyle::usageAndSteer: break;
  }
  return "Usage and ovel direction";
}

std::string GeneralTab::styleCaption(GlyphStyle style) {
  switch (style) {
    case GlyphStyle::usage:
      return "Arc = used, hand = even ovel. Continuous ring = 5-hour session, seven segments = week.";
    case GlyphStyle::steer: return "Arrow up = room to speed up, down = ease off.";
    case GlyphStyle::usageAndSteer: break;
  }
  return "Arc = used, arrow = speed up or ease off. Continuous ring = 5-hour session, seven segments = week.";
}

std::string GeneralTab::intervalLabel(double minutes) {
  return std::to_string(static_cast<long long>(minutes)) + " minutes";
}

GeneralTab::GeneralTab(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent)
    : QWidget(parent), preferences_(preferences), integrations_(integrations), model_(model) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(20, 16, 20, 16);
  column->setSpacing(18);
  column->addWidget(buildLoginSection());
  column->addWidget(buildTraySection());
  column->addWidget(buildItemsSection());
  column->addWidget(buildNotifySection());
  column->addWidget(buildDataSection());
  column->addStretch();

  auto* gate = new RedrawGate(this, [this] { refresh(); });
  for (auto signal : {&Preferences::menuBarLayoutChanged, &Preferences::glyphStyleChanged,
                      &Preferences::colorWhenAtRiskChanged, &Preferences::refreshMinutesChanged})
    connect(&preferences_, signal, gate, &RedrawGate::poke);
  for (auto signal : {&UsageModel::assessmentsChanged, &UsageModel::steerChanged, &UsageModel::nowChanged,
                      &UsageModel::sessionWeekRatioChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  for (auto signal : {&Integrations::launchAtLoginChanged, &Integrations::loginItemErrorChanged})
    connect(&integrations_, signal, gate, &RedrawGate::poke);
  refresh();
}

QWidget* GeneralTab::buildLoginSection() {
  auto* section = new FormSection;
  auto* row = new QWidget;
  auto* lines = new QVBoxLayout(row);
  lines->setContentsMargins(0, 0, 0, 0);
  launch_ = new QCheckBox(QStringLiteral("Launch at login"));
  launch_->setEnabled(integrations_.canLaunchAtLogin());
  // Clicks only: the box shows the state read back, never its own guess.
  connect(launch_, &QCheckBox::clicked, this, [this](bool on) {
    integrations_.setLaunchAtLogin(on);
    refresh();
  });
  lines->addWidget(launch_);
  loginError_ = new TextView({}, Theme::font(TextStyle::caption), ThemeColor::systemRed());
  lines->addWidget(loginError_);
  section->addRow(row);
  // A row of its own: under the switch it would read as a login error.
  hotKeyProblem_ = new TextView({}, Theme::font(TextStyle::caption), ThemeColor::systemRed());
  hotKeyProblem_->hide();
  section->addRow(hotKeyProblem_);
  return section;
}

void GeneralTab::setHotKeyProblem(const QString& text) {
  hotKeyProblem_->setText(text);
  hotKeyProblem_->setVisible(!text.isEmpty());
}

QWidget* GeneralTab::buildTraySection() {
  tray_ = new FormSection(QStringLiteral("Tray"));
  preview_ = new MenuBarPreview(preferences_, model_);
  tray_->addLabeledRow(QStringLiteral("Preview"), preview_);
  style_ = new QComboBox;
  takeWheelOnlyWithFocus(style_);
  for (GlyphStyle option : kAllGlyphStyles) style_->addItem(text(styleLabel(option)));
  connect(style_, &QComboBox::activated, this,
          [this](int index) { preferences_.setGlyphStyle(kAllGlyphStyles[static_cast<std::size_t>(index)]); });
  tray_->addLabeledRow(QStringLiteral("Rings show"), style_);
  tray_->addRow(switchFor(QStringLiteral("Colour a ring when its limit is at risk"), &Preferences::colorWhenAtRisk,
                          &Preferences::setColorWhenAtRisk, &Preferences::colorWhenAtRiskChanged));
  return tray_;
}

QWidget* GeneralTab::buildItemsSection() {
  auto* section = new FormSection(QStringLiteral("Tray items"));
  items_ = new MenuBarItemList(preferences_);
  section->addRow(items_);
  section->setFooter(QStringLiteral(
      "Tick what to show; drag or use the arrows to set the order, left to right. Items without data yet stay hidden "
      "until there is some."));
  return section;
}

QWidget* GeneralTab::buildNotifySection() {
  auto* section = new FormSection(QStringLiteral("Notify me when"));
  section->addRow(switchFor(QStringLiteral("I'm on track to hit a limit"), &Preferences::notifyAtRisk,
                            &Preferences::setNotifyAtRisk, &Preferences::notifyAtRiskChanged));
  section->addRow(switchFor(QStringLiteral("A limit is reached"), &Preferences::notifyLimited,
                            &Preferences::setNotifyLimited, &Preferences::notifyLimitedChanged));
  section->addRow(switchFor(QStringLiteral("A tight window resets"), &Preferences::notifyReset,
                            &Preferences::setNotifyReset, &Preferences::notifyResetChanged));
  return section;
}

QWidget* GeneralTab::buildDataSection() {
  auto* section = new FormSection(QStringLiteral("Data"));
  interval_ = new QComboBox;
  takeWheelOnlyWithFocus(interval_);
  for (double minutes : kIntervals) interval_->addItem(text(intervalLabel(minutes)), minutes);
  connect(interval_, &QComboBox::activated, this,
          [this](int index) { preferences_.setRefreshMinutes(interval_->itemData(index).toDouble()); });
  section->addLabeledRow(QStringLiteral("Check usage every"), interval_);
  section->addRow(switchFor(QStringLiteral("Use local Claude Code activity for live ovel"),
                            &Preferences::useLocalActivity, &Preferences::setUseLocalActivity,
                            &Preferences::useLocalActivityChanged));
  section->setFooter(QStringLiteral(
      "Ovel reads token counts from your Claude Code transcripts on this computer to estimate your current burn "
      "rate. Nothing leaves your computer."));
  return section;
}

QCheckBox* GeneralTab::switchFor(const QString& label, bool (Preferences::*get)() const, void (Preferences::*set)(bool),
                                 void (Preferences::*changed)()) {
  auto* box = new QCheckBox(label);
  box->setChecked((preferences_.*get)());
  connect(box, &QCheckBox::toggled, this, [this, set](bool on) { (preferences_.*set)(on); });
  connect(&preferences_, changed, box, [this, box, get] {
    QSignalBlocker block(box);
    box->setChecked((preferences_.*get)());
  });
  return box;
}

void GeneralTab::refresh() {
  {
    QSignalBlocker block(launch_);
    launch_->setChecked(integrations_.launchAtLogin());
  }
  loginError_->setText(integrations_.loginItemError().value_or(QString()));
  loginError_->setVisible(integrations_.loginItemError().has_value());
  preview_->refresh();
  {
    QSignalBlocker block(style_);
    style_->setCurrentIndex(static_cast<int>(preferences_.glyphStyle()));
  }
  tray_->setFooter(text(styleCaption(preferences_.glyphStyle())));
  items_->refresh();
  QSignalBlocker block(interval_);
  // A stored interval that is none of the five shows no choice.
  interval_->setCurrentIndex(interval_->findData(preferences_.refreshMinutes()));
}

}  // namespace ovel
