#include "dashboard/DashboardView.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include "dashboard/ActivitySection.h"
#include "dashboard/DashboardHero.h"
#include "dashboard/InsightsSection.h"
#include "dashboard/LimitsSection.h"
#include "dashboard/ResetsCard.h"
#include "dashboard/SessionWeekCard.h"
#include "dashboard/SourcesSection.h"
#include "dashboard/UsageChartSection.h"
#include "model/Format.h"
#include "model/Integrations.h"
#include "model/UsageModel.h"
#include "ui/Card.h"
#include "ui/EmptyState.h"
#include "ui/Focus.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kSectionSpacing = 18;
constexpr int kPadding = 24;
constexpr int kTopPadding = 36;

QVBoxLayout* plainColumn(QWidget* owner) {
  auto* column = new QVBoxLayout(owner);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(kSectionSpacing);
  return column;
}

}  // namespace

DashboardView::DashboardView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
                             bool scrolls, QWidget* parent)
    : QWidget(parent),
      model_(model),
      hero_(new DashboardHero(model)),
      empty_(new EmptyState(Symbol::gaugeWithDotsNeedle0percent, QStringLiteral("No usage data yet"),
                            QString::fromLatin1(kReadingYourUsage))),
      cards_(new QWidget),
      limits_(new LimitsSection(model)),
      chart_(new UsageChartSection(model)),
      activityRow_(new QWidget) {
  auto* content = new QWidget;
  QVBoxLayout* column = plainColumn(content);
  column->setContentsMargins(kPadding, kTopPadding, kPadding, kPadding);
  column->addWidget(hero_);
  column->addWidget(empty_);
  column->addWidget(cards_);
  // The session/week card, the resets card, the activity, the insights and
  // the sources follow the model themselves.
  column->addWidget(new SourcesSection(model, integrations, std::move(openSettings)));
  column->addStretch();

  QVBoxLayout* cards = plainColumn(cards_);
  cards->addWidget(limits_);
  cards->addWidget(new SessionWeekCard(model));
  cards->addWidget(new ResetsCard(model));
  auto* chartCard = new Card(16, 10);
  chartCard->column()->addWidget(chart_);
  cards->addWidget(chartCard);
  auto* sideBySide = new QHBoxLayout(activityRow_);
  sideBySide->setContentsMargins(0, 0, 0, 0);
  sideBySide->setSpacing(kSectionSpacing);
  sideBySide->addWidget(new ActivitySection(model), 1, Qt::AlignTop);
  sideBySide->addWidget(new InsightsSection(model), 1, Qt::AlignTop);
  cards->addWidget(activityRow_);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  if (scrolls) {
    auto* scroll = new QScrollArea;
    scroll_ = scroll;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes from control to control; the page follows the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    keepFocusInView(scroll);
    scroll->setMinimumSize(kMinimumWidth, kMinimumHeight);
    outer->addWidget(scroll);
  } else {
    outer->addWidget(content);
  }

  auto* gate = new RedrawGate(this, [this] { rebuild(); });
  for (auto signal : {&UsageModel::assessmentsChanged, &UsageModel::steerChanged, &UsageModel::nowChanged,
                      &UsageModel::isProbingChanged, &UsageModel::lastProbeErrorChanged, &UsageModel::stateChanged,
                      &UsageModel::historyChanged, &UsageModel::activityChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  // The rate tables use local activity only while it is switched on.
  connect(&model_.preferences(), &Preferences::useLocalActivityChanged, gate, &RedrawGate::poke);
  rebuild();
}

const std::optional<WindowKind>& DashboardView::chartKind() const { return chart_->chartKind(); }

const std::optional<WindowKind>& DashboardView::promoted() const { return limits_->promotion().promoted(); }

void DashboardView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) focusNoControl(this);
}

bool DashboardView::focusNextPrevChild(bool next) {
  return moveFocusInReadingOrder(this, next) || QWidget::focusNextPrevChild(next);
}

void DashboardView::keyPressEvent(QKeyEvent* event) {
  if (!scrollByPageKey(scroll_, event)) QWidget::keyPressEvent(event);
}

void DashboardView::rebuild() {
  bool empty = model_.assessments().empty();
  hero_->refresh();
  empty_->setVisible(empty);
  empty_->setDescription(QString::fromStdString(Format::message(model_.lastProbeError().value_or(kReadingYourUsage))));
  cards_->setVisible(!empty);
  limits_->refresh();
  if (!empty) chart_->refresh();
  relayoutUpwards(cards_);
}

}  // namespace ovel
