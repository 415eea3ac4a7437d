#include "settings/ClaudeCodeTab.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/claude/ClaudeLocator.h"
#include "model/Format.h"
#include "model/Integrations.h"
#include "model/Preferences.h"
#include "model/UsageModel.h"
#include "settings/FormSection.h"
#include "ui/Focus.h"
#include "ui/Freshness.h"
#include "ui/IconLabel.h"
#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

// A button that stands out, in the brand colour of the appearance given.
void makeProminent(QPushButton* button, bool prominent, Appearance appearance) {
  QPalette colors;  // sets only the roles below; the rest is inherited
  if (prominent) {
    QColor brand = Theme::brand(appearance);
    colors.setColor(QPalette::Button, brand);
    // The dark appearance's brand is light: it needs dark words.
    double luminance = 0.2126 * brand.redF() + 0.7152 * brand.greenF() + 0.0722 * brand.blueF();
    colors.setColor(QPalette::ButtonText, luminance > 0.5 ? QColor(20, 20, 22) : QColor(Qt::white));
  }
  button->setPalette(colors);
  button->setDefault(prominent);
}

}  // namespace

ClaudeCodeTab::StateLine ClaudeCodeTab::statusLineState(const StatusLineIntegration::State& state,
                                                        bool hasDownstreamCommand) {
  using Case = StatusLineIntegration::State::Case;
  switch (state.stateCase()) {
    case Case::notInstalled:
      return {QStringLiteral("Not connected"), std::nullopt, ThemeColor::of(ColorRole::secondary)};
    case Case::stale:
      return {QStringLiteral("Needs reconnecting"), Symbol::exclamationmarkTriangleFill, ThemeColor::systemOrange()};
    case Case::installed: break;
  }
  QString text = hasDownstreamCommand ? QStringLiteral("Connected \u00B7 your status line kept")
                                      : QStringLiteral("Connected");
  return {text, Symbol::checkmarkCircleFill, ThemeColor::systemGreen()};
}

std::string ClaudeCodeTab::workingText(double age) { return "Working \u00B7 " + ageText(age); }

ClaudeCodeTab::ProbeStatus ClaudeCodeTab::probeStatus(bool isProbing, const std::optional<std::string>& lastProbeError,
                                                      std::optional<Date> lastObserved, Date now) {
  using Form = ProbeStatus::Form;
  if (isProbing) return {Form::spinner, {}};
  if (lastProbeError) return {Form::error, QString::fromStdString(Format::message(*lastProbeError))};
  if (lastObserved) return {Form::working, QString::fromStdString(workingText(secondsBetween(now, *lastObserved)))};
  return {};
}

ClaudeCodeTab::ClaudeCodeTab(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent)
    : QWidget(parent), preferences_(preferences), integrations_(integrations), model_(model) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(20, 16, 20, 16);
  column->setSpacing(18);
  column->addWidget(buildLiveSection());
  column->addWidget(buildCommandSection());
  column->addStretch();

  auto* gate = new RedrawGate(this, [this] { refresh(); });
  for (auto signal : {&Integrations::statusLineChanged, &Integrations::statusLineErrorChanged,
                      &Integrations::hasDownstreamCommandChanged})
    connect(&integrations_, signal, gate, &RedrawGate::poke);
  for (auto signal : {&UsageModel::isProbingChanged, &UsageModel::lastProbeErrorChanged, &UsageModel::stateChanged,
                      &UsageModel::nowChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  connect(&preferences_, &Preferences::claudePathOverrideChanged, gate, &RedrawGate::poke);
  refresh();
  showSearch();
}

void ClaudeCodeTab::showSearch() {
  // What the automatic search finds, whatever the override says.
  auto found = ClaudeLocator::locate(std::nullopt);
  path_->setPlaceholderText(found ? QString::fromStdString(found->string()) : QStringLiteral("Not found"));
}

void ClaudeCodeTab::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The search walks the disk: once per showing, not on every clock tick.
  if (!event->spontaneous()) showSearch();
}

QWidget* ClaudeCodeTab::buildLiveSection() {
  auto* section = new FormSection(QStringLiteral("Live updates"));
  state_ = new IconLabel(Symbol::checkmarkCircleFill, {}, Theme::font(TextStyle::body),
                         ThemeColor::of(ColorRole::secondary), ThemeColor::of(ColorRole::secondary));
  state_->setSingleLine();
  section->addLabeledRow(QStringLiteral("Status line"), state_);

  auto* row = new QVBoxLayout;
  row->setSpacing(6);
  connect_ = new QPushButton;
  pressOnEnter(connect_);
  connect(connect_, &QPushButton::clicked, this, [this] {
    if (integrations_.statusLine() == StatusLineIntegration::State::installed()) integrations_.disconnect();
    else integrations_.connect(systemNow());
  });
  row->addWidget(connect_, 0, Qt::AlignLeft);
  error_ = new TextView({}, Theme::font(TextStyle::caption), ThemeColor::systemRed());
  row->addWidget(error_);
  section->addRow(widgetOf(row));
  section->setFooter(QStringLiteral(
      "Ovel adds a small relay in front of your Claude Code status line. Your status line looks exactly the same; Ovel "
      "just gets each update as it happens. Disconnect restores your original setting."));
  return section;
}

QWidget* ClaudeCodeTab::buildCommandSection() {
  auto* section = new FormSection(QStringLiteral("claude command"));
  path_ = new QLineEdit(preferences_.claudePathOverride());
  path_->setMinimumWidth(260);
  connect(path_, &QLineEdit::textEdited, this,
          [this](const QString& text) { preferences_.setClaudePathOverride(text); });
  section->addLabeledRow(QStringLiteral("Path"), path_);

  auto* row = new QHBoxLayout;
  check_ = new QPushButton(QStringLiteral("Check now"));
  check_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  pressOnEnter(check_);
  connect(check_, &QPushButton::clicked, this, [this] { model_.probe(); });
  row->addWidget(check_);
  spinner_ = new Spinner(16);
  row->addWidget(spinner_);
  result_ = new IconLabel(Symbol::checkmarkCircleFill, {}, Theme::font(TextStyle::caption), ThemeColor::systemGreen(),
                          ThemeColor::systemGreen());
  row->addWidget(result_, 1, Qt::AlignVCenter);
  row->addStretch();
  section->addRow(widgetOf(row));
  return section;
}

void ClaudeCodeTab::refresh() {
  StateLine line = statusLineState(integrations_.statusLine(), integrations_.hasDownstreamCommand());
  state_->setText(line.text);
  state_->setColors(line.color, line.color);
  state_->symbolView()->setVisible(line.symbol.has_value());
  if (line.symbol) state_->setSymbol(*line.symbol);

  bool installed = integrations_.statusLine() == StatusLineIntegration::State::installed();
  connect_->setText(installed ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
  makeProminent(connect_, !installed, Theme::appearance(palette()));
  error_->setText(integrations_.statusLineError().value_or(QString()));
  error_->setVisible(integrations_.statusLineError().has_value());

  if (path_->text() != preferences_.claudePathOverride()) path_->setText(preferences_.claudePathOverride());

  check_->setEnabled(!model_.isProbing());
  ProbeStatus status = probeStatus(model_.isProbing(), model_.lastProbeError(), model_.state().lastObservedAt(),
                                   systemNow());
  using Form = ProbeStatus::Form;
  spinner_->setVisible(status.form == Form::spinner);
  result_->setVisible(status.form == Form::error || status.form == Form::working);
  if (status.form == Form::error) {
    result_->setSymbol(Symbol::xmarkCircleFill);
    result_->setColors(ThemeColor::systemRed(), ThemeColor::systemRed());
    result_->setMaxLines(2);
  } else {
    result_->setSymbol(Symbol::checkmarkCircleFill);
    result_->setColors(ThemeColor::systemGreen(), ThemeColor::systemGreen());
    result_->setSingleLine();
  }
  result_->setText(status.text);
}

}  // namespace ovel
