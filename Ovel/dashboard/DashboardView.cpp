#include "dashboard/DashboardView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Format.h"
#include "Integrations.h"
#include "UsageModel.h"
#include "dashboard/ActivitySection.h"
#include "dashboard/InsightsSection.h"
#include "dashboard/ResetsCard.h"
#include "dashboard/SessionWeekCard.h"
#include "dashboard/SourcesSection.h"
#include "ui/Freshness.h"
#include "ui/DayRingView.h"
#include "ui/ViewSupport.h"
#include "ui/WindowCard.h"

namespace ovel {
namespace {

constexpr const char* kDash = "\u2014";

}  // namespace

DashboardView::DashboardView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
                             bool scrolls, QWidget* parent)
    : QWidget(parent), model_(model), integrations_(integrations), openSettings_(std::move(openSettings)) {
  auto* content = new QWidget;
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(24, 36, 24, 24);
  column->setSpacing(18);
  cards_ = new QVBoxLayout;
  cards_->setSpacing(18);
  sessionWeek_ = new SessionWeekCard(model_);
  resets_ = new ResetsCard(model_);
  whereItGoes_ = new QWidget;
  auto* sideBySide = new QHBoxLayout(whereItGoes_);
  sideBySide->setContentsMargins(0, 0, 0, 0);
  sideBySide->setSpacing(18);
  sideBySide->addWidget(new ActivitySection(model_), 1, Qt::AlignTop);
  sideBySide->addWidget(new InsightsSection(model_), 1, Qt::AlignTop);
  column->addLayout(cards_);
  column->addWidget(sessionWeek_);
  column->addWidget(resets_);
  column->addWidget(whereItGoes_);
  column->addWidget(new SourcesSection(model_, integrations_, openSettings_));
  column->addStretch();
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  if (scrolls) {
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    scroll->setMinimumSize(720, 520);
    outer->addWidget(scroll);
  } else {
    outer->addWidget(content);
  }
  auto* gate = new RedrawGate(this, [this] { rebuild(); });
  for (auto signal : {&UsageModel::assessmentsChanged, &UsageModel::steerChanged, &UsageModel::nowChanged,
                      &UsageModel::isProbingChanged, &UsageModel::lastProbeErrorChanged, &UsageModel::stateChanged,
                      &UsageModel::sessionWeekRatioChanged, &UsageModel::resetPlanChanged, &UsageModel::planSaveErrorChanged,
                      &UsageModel::lastStatusLineAtChanged, &UsageModel::lastProbeAtChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  connect(&integrations_, &Integrations::statusLineChanged, gate, &RedrawGate::poke);
  rebuild();
}

void DashboardView::rebuild() {
  clearLayout(cards_);
  cards_->addWidget(hero());
  sessionWeek_->setVisible(!model_.assessments().empty());
  resets_->setVisible(!model_.assessments().empty());
  whereItGoes_->setVisible(!model_.assessments().empty());
  if (model_.assessments().empty()) {
    auto* empty = new Card(24);
    auto* column = empty->column();
    column->addWidget(makeLabel(QStringLiteral("No usage data yet"), TextRole::headline));
    column->addWidget(makeLabel(model_.lastProbeError().value_or("Ovel is reading your usage from Claude Code."),
                                TextRole::body, true));
    cards_->addWidget(empty);
  } else {
    auto* limits = new QGridLayout;
    limits->setSpacing(18);
    const auto& assessments = model_.assessments();
    for (std::size_t i = 0; i < assessments.size(); ++i)
      limits->addWidget(limitPanel(assessments[i]), static_cast<int>(i / 2), static_cast<int>(i % 2));
    cards_->addLayout(limits);
  }
}

QWidget* DashboardView::hero() {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(18);
  Appearance appearance = appearanceOf(*this);
  auto steer = model_.steer();
  auto a = model_.assessments().empty() ? std::nullopt : model_.steerAssessment();
  QColor tint = steer ? Theme::steerColor(steer->factor, appearance) : palette().color(QPalette::PlaceholderText);
  auto* ring = new DayRingView;
  ring->setFixedSize(56, 56);
  auto shape = DayRingView::steering(a, steer);
  ring->setRing(shape.used, shape.segmented, shape.center, ThemeColor::fixed(tint));
  row->addWidget(ring);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  if (steer && a) {
    texts->addWidget(makeLabel(Format::steerHeadline(*steer), TextRole::title));
    std::string detail = Format::steerReason(*steer);
    if (a->ratePerHour && a->sustainableRatePerHour)
      detail += " \u00B7 burning " + Format::rate(*a->ratePerHour, a->window.kind) + ", sustainable " +
                Format::rate(*a->sustainableRatePerHour, a->window.kind);
    texts->addWidget(makeLabel(detail, TextRole::body, true));
  } else if (!model_.assessments().empty()) {
    texts->addWidget(makeLabel(QStringLiteral("Not enough data to steer yet"), TextRole::title));
    texts->addWidget(makeLabel(QStringLiteral("Ovel needs a burn rate: a few minutes of readings or local activity."),
                               TextRole::body, true));
  } else {
    texts->addWidget(makeLabel(QStringLiteral("Reading your usage\u2026"), TextRole::title));
  }
  row->addLayout(texts, 1);
  auto* side = new QVBoxLayout;
  side->setSpacing(6);
  auto* refresh = new QPushButton(QStringLiteral("\u21BB Refresh"));
  refresh->setEnabled(!model_.isProbing());
  connect(refresh, &QPushButton::clicked, this, [this] { model_.probe(); });
  side->addWidget(refresh, 0, Qt::AlignRight);
  side->addWidget(makeLabel(updatedText(model_), TextRole::caption, true), 0, Qt::AlignRight);
  row->addLayout(side);
  return box;
}

QWidget* DashboardView::limitPanel(const WindowAssessment& a) {
  auto* table = new QGridLayout;
  table->setHorizontalSpacing(12);
  auto rates = OvelEngine::rates(a, model_.history(), model_.rateActivity(), model_.now());
  for (std::size_t i = 0; i < rates.size(); ++i) {
    int col = static_cast<int>(i);
    table->addWidget(makeLabel(std::string(label(rates[i].horizon)), TextRole::caption, true), 0, col);
    table->addWidget(makeLabel(rates[i].ratePerHour ? Format::rate(*rates[i].ratePerHour, a.window.kind) : kDash,
                               TextRole::subheadline),
                     1, col);
  }
  auto* card = new WindowCard;
  card->setAssessment(a, model_.now());
  card->column()->addLayout(table);
  return card;
}

}  // namespace ovel
