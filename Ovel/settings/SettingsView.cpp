#include "settings/SettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>

#include "Format.h"
#include "Integrations.h"
#include "UsageModel.h"
#include "core/ClaudeLocator.h"
#include "menubar/MenuBarGlyph.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr std::array<double, 5> kProbeIntervals = {2, 5, 10, 15, 30};

QGroupBox* section(const QString& title, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  auto* layout = new QVBoxLayout(box);
  layout->setSpacing(6);
  return box;
}

QScrollArea* scrolling(QWidget* page) {
  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidget(page);
  return scroll;
}

QVBoxLayout* columnOf(QGroupBox* section) { return static_cast<QVBoxLayout*>(section->layout()); }

// A label at the leading edge and its control at the trailing edge.
void addRow(QGroupBox* section, const QString& label, QWidget* control) {
  auto* row = new QHBoxLayout;
  row->addWidget(makeLabel(label));
  row->addStretch();
  row->addWidget(control);
  columnOf(section)->addLayout(row);
}

QLabel* footer(const QString& text) { return makeLabel(text, TextRole::caption, true); }

QLabel* errorLabel() {
  QLabel* label = makeLabel(QString(), TextRole::caption);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Theme::systemRed());
  label->setPalette(palette);
  return label;
}

void showError(QLabel* label, const std::optional<QString>& error) {
  label->setText(error.value_or(QString()));
  label->setVisible(error.has_value());
}

QCheckBox* switchFor(const QString& text, bool (Preferences::*get)() const, void (Preferences::*set)(bool),
                     void (Preferences::*changed)(), Preferences& preferences) {
  auto* box = new QCheckBox(text);
  box->setChecked((preferences.*get)());
  QObject::connect(box, &QCheckBox::toggled, &preferences, [&preferences, set](bool on) { (preferences.*set)(on); });
  QObject::connect(&preferences, changed, box, [box, &preferences, get] {
    QSignalBlocker block(box);
    box->setChecked((preferences.*get)());
  });
  return box;
}

}  // namespace

std::string SettingsView::itemTitle(MenuBarItem item) {
  switch (item) {
    case MenuBarItem::tightestRing: return "Ring \u00B7 tightest limit";
    case MenuBarItem::sessionRing: return "Ring \u00B7 session (5h)";
    case MenuBarItem::sessionPercent: return "Session %";
    case MenuBarItem::sessionReset: return "Time until session reset";
    case MenuBarItem::weekRing: return "Ring \u00B7 week (7d)";
    case MenuBarItem::weekPercent: return "Week %";
    case MenuBarItem::weekReset: return "Time until week reset";
    case MenuBarItem::ovelFactor: return "Ovel headroom (\u00D71.8)";
    case MenuBarItem::sessionsLeft: break;
  }
  return "Sessions left this week (\u22483.2s)";
}

std::string SettingsView::styleLabel(GlyphStyle style) {
  switch (style) {
    case GlyphStyle::usage: return "Usage";
    case GlyphStyle::steer: return "Ovel direction";
    case GlyphStyle::usageAndSteer: break;
  }
  return "Usage and ovel direction";
}

std::string SettingsView::styleCaption(GlyphStyle style) {
  switch (style) {
    case GlyphStyle::usage:
      return "Arc = used, hand = even ovel. Continuous ring = 5-hour session, seven segments = week.";
    case GlyphStyle::steer: return "Arrow up = room to speed up, down = ease off.";
    case GlyphStyle::usageAndSteer: break;
  }
  return "Arc = used, arrow = speed up or ease off. Continuous ring = 5-hour session, seven segments = week.";
}

std::string SettingsView::statusLineText(const Integrations& integrations) {
  using Case = StatusLineIntegration::State::Case;
  switch (integrations.statusLine().stateCase()) {
    case Case::notInstalled: return "Not connected";
    case Case::stale: return "\u26A0 Needs reconnecting";
    case Case::installed: break;
  }
  return integrations.hasDownstreamCommand() ? "\u2714 Connected \u00B7 your status line kept" : "\u2714 Connected";
}

std::string SettingsView::workingText(double age) {
  return "Working \u00B7 " + (age < 45 ? std::string("just now") : Format::duration(age) + " ago");
}

SettingsView::SettingsView(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent)
    : QWidget(parent), preferences_(preferences), integrations_(integrations), model_(model), tabs_(new QTabWidget) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  tabs_->addTab(scrolling(generalTab()), QStringLiteral("General"));
  tabs_->addTab(scrolling(claudeCodeTab()), QStringLiteral("Claude Code"));
  tabs_->addTab(aboutTab(), QStringLiteral("About"));
  layout->addWidget(tabs_);
  setMinimumSize(480, 460);

  auto* gate = new RedrawGate(this, [this] { rebuild(); });
  for (auto signal : {&Preferences::menuBarLayoutChanged, &Preferences::glyphStyleChanged,
                      &Preferences::colorWhenAtRiskChanged, &Preferences::refreshMinutesChanged,
                      &Preferences::claudePathOverrideChanged})
    connect(&preferences_, signal, gate, &RedrawGate::poke);
  for (auto signal : {&UsageModel::assessmentsChanged, &UsageModel::isProbingChanged,
                      &UsageModel::lastProbeErrorChanged, &UsageModel::stateChanged, &UsageModel::steerChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  for (auto signal : {&Integrations::statusLineChanged, &Integrations::statusLineErrorChanged,
                      &Integrations::hasDownstreamCommandChanged, &Integrations::launchAtLoginChanged,
                      &Integrations::loginItemErrorChanged})
    connect(&integrations_, signal, gate, &RedrawGate::poke);
  rebuild();
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) integrations_.refresh();
}

void SettingsView::rebuild() {
  for (const auto& update : updaters_) update();
}

QWidget* SettingsView::generalTab() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);

  auto* login = section(QString(), page);
  auto* launch = new QCheckBox(QStringLiteral("Launch at login"));
  launch->setEnabled(integrations_.canLaunchAtLogin());
  connect(launch, &QCheckBox::clicked, this, [this](bool on) { integrations_.setLaunchAtLogin(on); });
  QLabel* loginError = errorLabel();
  login->layout()->addWidget(launch);
  login->layout()->addWidget(loginError);
  updaters_.push_back([this, launch, loginError] {
    QSignalBlocker block(launch);
    launch->setChecked(integrations_.launchAtLogin());
    showError(loginError, integrations_.loginItemError());
  });
  column->addWidget(login);

  auto* menuBar = section(QStringLiteral("Menu bar"), page);
  auto* preview = new QLabel;
  auto* style = new QComboBox;
  for (GlyphStyle option : kAllGlyphStyles) style->addItem(QString::fromStdString(styleLabel(option)));
  connect(style, &QComboBox::activated, this,
          [this](int index) { preferences_.setGlyphStyle(kAllGlyphStyles[static_cast<std::size_t>(index)]); });
  QLabel* caption = footer(QString());
  addRow(menuBar, QStringLiteral("Preview"), preview);
  addRow(menuBar, QStringLiteral("Rings show"), style);
  menuBar->layout()->addWidget(switchFor(QStringLiteral("Colour a ring when its limit is at risk"),
                                         &Preferences::colorWhenAtRisk, &Preferences::setColorWhenAtRisk,
                                         &Preferences::colorWhenAtRiskChanged, preferences_));
  menuBar->layout()->addWidget(caption);
  updaters_.push_back([this, preview, style, caption] {
    auto parts = MenuBarGlyph::parts(preferences_.menuBarItems(), model_);
    QColor base = palette().color(QPalette::WindowText);
    preview->setPixmap(QPixmap::fromImage(
        MenuBarGlyph::image(parts, preferences_.glyphStyle(), preferences_.colorWhenAtRisk(), base, devicePixelRatioF())));
    QSignalBlocker block(style);
    style->setCurrentIndex(static_cast<int>(preferences_.glyphStyle()));
    caption->setText(QString::fromStdString(styleCaption(preferences_.glyphStyle())));
  });
  column->addWidget(menuBar);

  auto* items = section(QStringLiteral("Menu bar items"), page);
  items->layout()->addWidget(menuBarItemsList());
  items->layout()->addWidget(footer(QStringLiteral(
      "Tick what to show; drag or use the arrows to set the order, left to right. Items without data yet stay hidden "
      "until there is some.")));
  column->addWidget(items);

  auto* notify = section(QStringLiteral("Notify me when"), page);
  notify->layout()->addWidget(switchFor(QStringLiteral("I'm on track to hit a limit"), &Preferences::notifyAtRisk,
                                        &Preferences::setNotifyAtRisk, &Preferences::notifyAtRiskChanged, preferences_));
  notify->layout()->addWidget(switchFor(QStringLiteral("A limit is reached"), &Preferences::notifyLimited,
                                        &Preferences::setNotifyLimited, &Preferences::notifyLimitedChanged,
                                        preferences_));
  notify->layout()->addWidget(switchFor(QStringLiteral("A tight window resets"), &Preferences::notifyReset,
                                        &Preferences::setNotifyReset, &Preferences::notifyResetChanged, preferences_));
  column->addWidget(notify);

  auto* data = section(QStringLiteral("Data"), page);
  auto* interval = new QComboBox;
  for (double minutes : kProbeIntervals)
    interval->addItem(QString::number(static_cast<long long>(minutes)) + " min", minutes);
  connect(interval, &QComboBox::activated, this,
          [this, interval](int index) { preferences_.setRefreshMinutes(interval->itemData(index).toDouble()); });
  addRow(data, QStringLiteral("Check usage every"), interval);
  data->layout()->addWidget(switchFor(QStringLiteral("Use local Claude Code activity for live ovel"),
                                      &Preferences::useLocalActivity, &Preferences::setUseLocalActivity,
                                      &Preferences::useLocalActivityChanged, preferences_));
  data->layout()->addWidget(footer(QStringLiteral(
      "Ovel reads token counts from your Claude Code transcripts on this computer to estimate your current burn "
      "rate. Nothing leaves your computer.")));
  updaters_.push_back([this, interval] {
    QSignalBlocker block(interval);
    interval->setCurrentIndex(interval->findData(preferences_.refreshMinutes()));
  });
  column->addWidget(data);
  column->addStretch();
  return page;
}

QWidget* SettingsView::menuBarItemsList() {
  auto* list = new QWidget;
  auto* rows = new QVBoxLayout(list);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(2);
  updaters_.push_back([this, rows] {
    clearLayout(rows);
    const auto& layout = preferences_.menuBarLayout();
    for (std::size_t index = 0; index < layout.size(); ++index) {
      MenuBarItem item = layout[index].item;
      auto* row = new QHBoxLayout;
      row->setSpacing(6);
      auto* box = new QCheckBox(QString::fromStdString(itemTitle(item)));
      box->setChecked(layout[index].isOn);
      connect(box, &QCheckBox::toggled, this, [this, item](bool on) { preferences_.setMenuBarItemOn(item, on); });
      row->addWidget(box);
      row->addStretch();
      for (int offset : {-1, +1}) {
        auto* move = new QToolButton;
        move->setText(offset < 0 ? QStringLiteral("\u2191") : QStringLiteral("\u2193"));
        move->setToolTip(offset < 0 ? QStringLiteral("Move left") : QStringLiteral("Move right"));
        move->setAutoRaise(true);
        move->setEnabled(offset < 0 ? index > 0 : index + 1 < layout.size());
        connect(move, &QToolButton::clicked, this,
                [this, item, offset] { preferences_.moveMenuBarItem(item, offset); });
        row->addWidget(move);
      }
      rows->addLayout(row);
    }
  });
  return list;
}

QWidget* SettingsView::claudeCodeTab() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);

  auto* live = section(QStringLiteral("Live updates"), page);
  QLabel* state = makeLabel(QString());
  auto* connectButton = new QPushButton;
  QLabel* error = errorLabel();
  addRow(live, QStringLiteral("Status line"), state);
  live->layout()->addWidget(connectButton);
  live->layout()->addWidget(error);
  live->layout()->addWidget(footer(QStringLiteral(
      "Ovel adds a small relay in front of your Claude Code status line. Your status line looks exactly the same; Ovel "
      "just gets each update as it happens. Disconnect restores your original setting.")));
  connect(connectButton, &QPushButton::clicked, this, [this] {
    if (integrations_.statusLine() == StatusLineIntegration::State::installed()) integrations_.disconnect();
    else integrations_.connect(systemNow());
  });
  updaters_.push_back([this, state, connectButton, error] {
    state->setText(QString::fromStdString(statusLineText(integrations_)));
    bool installed = integrations_.statusLine() == StatusLineIntegration::State::installed();
    connectButton->setText(installed ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
    connectButton->setDefault(!installed);
    showError(error, integrations_.statusLineError());
  });
  column->addWidget(live);

  auto* command = section(QStringLiteral("claude command"), page);
  auto* path = new QLineEdit(preferences_.claudePathOverride());
  connect(path, &QLineEdit::textEdited, this, [this](const QString& text) { preferences_.setClaudePathOverride(text); });
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(makeLabel(QStringLiteral("Path")));
  pathRow->addWidget(path, 1);
  columnOf(command)->addLayout(pathRow);
  auto* check = new QPushButton(QStringLiteral("Check now"));
  connect(check, &QPushButton::clicked, this, [this] { model_.probe(); });
  QLabel* result = makeLabel(QString(), TextRole::caption);
  auto* checkRow = new QHBoxLayout;
  checkRow->addWidget(check);
  checkRow->addWidget(result, 1);
  columnOf(command)->addLayout(checkRow);
  updaters_.push_back([this, path, check, result] {
    auto found = ClaudeLocator::locate(std::nullopt);
    path->setPlaceholderText(found ? QString::fromStdString(found->string()) : QStringLiteral("Not found"));
    if (path->text() != preferences_.claudePathOverride()) path->setText(preferences_.claudePathOverride());
    check->setEnabled(!model_.isProbing());
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, this->palette().color(QPalette::WindowText));
    QString text;
    if (model_.isProbing()) {
      text = QStringLiteral("Checking\u2026");
    } else if (model_.lastProbeError()) {
      text = "\u2716 " + QString::fromStdString(*model_.lastProbeError());
      palette.setColor(QPalette::WindowText, Theme::systemRed());
    } else if (auto observed = model_.state().lastObservedAt()) {
      text = "\u2714 " + QString::fromStdString(workingText(secondsBetween(systemNow(), *observed)));
    }
    result->setPalette(palette);
    result->setText(text);
  });
  column->addWidget(command);
  column->addStretch();
  return page;
}

QWidget* SettingsView::aboutTab() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(24, 24, 24, 24);
  column->setSpacing(10);
  column->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  auto* icon = new QLabel;
  icon->setPixmap(QIcon::fromTheme(QStringLiteral("ovel"), QIcon(QStringLiteral(":/ovel.svg"))).pixmap(72, 72));
  icon->setAlignment(Qt::AlignCenter);
  column->addWidget(icon);
  QLabel* name = makeLabel(QStringLiteral("Ovel"), TextRole::title);
  name->setAlignment(Qt::AlignCenter);
  column->addWidget(name);
  QString version = QCoreApplication::applicationVersion();
  QLabel* versionLabel =
      makeLabel("Version " + (version.isEmpty() ? QStringLiteral("Dev") : version), TextRole::caption, true);
  versionLabel->setAlignment(Qt::AlignCenter);
  column->addWidget(versionLabel);
  QLabel* privacy = makeLabel(QStringLiteral("Reads your plan limits through Claude Code's own /usage command and "
                                             "status line. No passwords, cookies or tokens are touched, and nothing "
                                             "leaves your computer."),
                              TextRole::body, true);
  privacy->setAlignment(Qt::AlignCenter);
  privacy->setMaximumWidth(360);
  column->addWidget(privacy, 0, Qt::AlignHCenter);
  QLabel* disclaimer = makeLabel(QStringLiteral("Not affiliated with Anthropic."), TextRole::caption, true);
  disclaimer->setAlignment(Qt::AlignCenter);
  column->addWidget(disclaimer);
  return page;
}

}  // namespace ovel
