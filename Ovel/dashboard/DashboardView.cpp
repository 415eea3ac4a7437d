#include "dashboard/DashboardView.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Integrations.h"
#include "UsageModel.h"
#include "dashboard/DashboardHero.h"
#include "dashboard/InterimCards.h"
#include "dashboard/LimitsSection.h"
#include "dashboard/UsageChartSection.h"
#include "ui/Card.h"
#include "ui/EmptyState.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kSectionSpacing = 18;
constexpr int kPadding = 24;
constexpr int kTopPadding = 36;
constexpr const char* kReadingSentence = "Ovel is reading your usage from Claude Code.";

QVBoxLayout* plainColumn(QWidget* owner = nullptr) {
  auto* column = owner ? new QVBoxLayout(owner) : new QVBoxLayout;
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(kSectionSpacing);
  return column;
}

}  // namespace

DashboardView::DashboardView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
                             bool scrolls, QWidget* parent)
    : QWidget(parent),
      model_(model),
      integrations_(integrations),
      openSettings_(std::move(openSettings)),
      hero_(new DashboardHero(model)),
      empty_(new EmptyState(Symbol::gaugeWithDotsNeedle0percent, QStringLiteral("No usage data yet"),
                            QString::fromLatin1(kReadingSentence))),
      cards_(new QWidget),
      limits_(new LimitsSection(model)),
      sessionWeekSlot_(plainColumn()),
      resetsSlot_(plainColumn()),
      planForm_(makePlanForm(model)),
      chart_(new UsageChartSection(model)),
      activityRow_(new QWidget),
      sourcesSlot_(plainColumn()) {
  auto* content = new QWidget;
  QVBoxLayout* column = plainColumn(content);
  column->setContentsMargins(kPadding, kTopPadding, kPadding, kPadding);
  column->addWidget(hero_);
  column->addWidget(empty_);
  column->addWidget(cards_);
  column->addLayout(sourcesSlot_);
  column->addStretch();

  QVBoxLayout* cards = plainColumn(cards_);
  cards->addWidget(limits_);
  cards->addLayout(sessionWeekSlot_);
  cards->addLayout(resetsSlot_);
  resetsSlot_->addWidget(planForm_);
  auto* chartCard = new Card(16, 10);
  chartCard->column()->addWidget(chart_);
  cards->addWidget(chartCard);
  // The activity card and, beside it, the insights card.
  auto* activity = new QHBoxLayout(activityRow_);
  activity->setContentsMargins(0, 0, 0, 0);
  activity->setSpacing(kSectionSpacing);
  activity->setAlignment(Qt::AlignTop);
  activityRow_->hide();
  cards->addWidget(activityRow_);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  if (scrolls) {
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    scroll->setMinimumSize(kMinimumWidth, kMinimumHeight);
    outer->addWidget(scroll);
  } else {
    outer->addWidget(content);
  }

  auto* gate = new RedrawGate(this, [this] { rebuild(); });
  for (auto signal : {&UsageModel::assessmentsChanged, &UsageModel::steerChanged, &UsageModel::nowChanged,
                      &UsageModel::isProbingChanged, &UsageModel::lastProbeErrorChanged, &UsageModel::stateChanged,
                      &UsageModel::historyChanged, &UsageModel::activityChanged,
                      &UsageModel::sessionWeekRatioChanged, &UsageModel::resetPlanChanged,
                      &UsageModel::planSaveErrorChanged, &UsageModel::lastStatusLineAtChanged,
                      &UsageModel::lastProbeAtChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  connect(&integrations_, &Integrations::statusLineChanged, gate, &RedrawGate::poke);
  // The rate tables use local activity only while it is switched on.
  connect(&model_.preferences(), &Preferences::useLocalActivityChanged, gate, &RedrawGate::poke);
  rebuild();
}

const std::optional<WindowKind>& DashboardView::chartKind() const { return chart_->chartKind(); }

const std::optional<WindowKind>& DashboardView::promoted() const { return limits_->promotion().promoted(); }

void DashboardView::rebuild() {
  bool empty = model_.assessments().empty();
  hero_->refresh();
  empty_->setVisible(empty);
  empty_->setDescription(QString::fromStdString(model_.lastProbeError().value_or(kReadingSentence)));
  cards_->setVisible(!empty);
  limits_->refresh();
  if (!empty) {
    chart_->refresh();
    rebuildInterimCards();
  }
  clearLayout(sourcesSlot_);
  sourcesSlot_->addWidget(makeSourcesRow(model_, integrations_, openSettings_));
}

void DashboardView::rebuildInterimCards() {
  clearLayout(sessionWeekSlot_);
  sessionWeekSlot_->addWidget(makeSessionWeekCard(model_));
  // The plan form stays; only the card above it is built anew.
  resetsSlot_->removeWidget(planForm_);
  clearLayout(resetsSlot_);
  resetsSlot_->addWidget(makeResetsCard(model_));
  resetsSlot_->addWidget(planForm_);
}

}  // namespace ovel
