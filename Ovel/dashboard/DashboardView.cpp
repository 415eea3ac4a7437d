#include "dashboard/DashboardView.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include "Format.h"
#include "Integrations.h"
#include "UsageModel.h"
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
  sources_ = new QVBoxLayout;
  planForm_ = planForm();
  column->addLayout(cards_);
  column->addWidget(planForm_);
  column->addLayout(sources_);
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
  clearLayout(sources_);
  cards_->addWidget(hero());
  planForm_->setVisible(!model_.assessments().empty());
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
    cards_->addWidget(sessionWeekCard());
    cards_->addWidget(resetsCard());
  }
  sources_->addWidget(sourcesRow());
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
  return makeWindowCard(a, model_.now(), table);
}

QWidget* DashboardView::sessionWeekCard() {
  auto* card = new Card(16, 6);
  auto* column = card->column();
  column->addWidget(makeLabel(QStringLiteral("SESSIONS AND WEEK"), TextRole::caption, true));
  const auto& ratio = model_.sessionWeekRatio();
  if (!ratio) {
    column->addWidget(makeLabel(QStringLiteral("Ovel learns how much of the week a session costs as readings come in."),
                                TextRole::body, true));
    return card;
  }
  column->addWidget(makeLabel("One full session costs " + Format::percent(ratio->weekPercentPerSession()) +
                                  " of the week",
                              TextRole::subheadline));
  if (auto week = model_.week())
    column->addWidget(makeLabel("Left this week: " + Format::sessionsLeft(ratio->sessionsLeft(week->window.usedPercent)),
                                TextRole::body));
  column->addWidget(makeLabel("Learned from " + std::to_string(ratio->sessions) + " sessions", TextRole::caption, true));
  return card;
}

QWidget* DashboardView::resetsCard() {
  auto* card = new Card(16, 8);
  auto* column = card->column();
  column->addWidget(makeLabel(QStringLiteral("RESETS"), TextRole::caption, true));
  const ResetPlan& plan = model_.resetPlan();
  for (const PlannedReset& reset : plan.planned) {
    auto* row = new QHBoxLayout;
    std::string text = Format::clock(reset.date, model_.now()) + " \u00B7 " + std::string(label(reset.scope));
    if (!reset.note.empty()) text += " \u00B7 " + reset.note;
    row->addWidget(makeLabel(text), 1);
    auto* remove = new QPushButton(QStringLiteral("Remove"));
    Uuid id = reset.id;
    connect(remove, &QPushButton::clicked, this, [this, id] { model_.removePlannedReset(id); });
    row->addWidget(remove);
    column->addLayout(row);
  }
  auto* bankRow = new QHBoxLayout;
  bankRow->addWidget(makeLabel(QStringLiteral("Banked resets")));
  auto* banked = new QSpinBox;
  banked->setRange(0, 99);
  banked->setValue(static_cast<int>(plan.banked));
  connect(banked, &QSpinBox::valueChanged, this, [this](int value) { model_.setBankedResets(value); });
  bankRow->addWidget(banked);
  bankRow->addStretch();
  for (auto option : PlannedReset::allScopes) {
    auto* redeem = new QPushButton("Redeem \u00B7 " + QString::fromLatin1(label(option).data()));
    redeem->setEnabled(plan.banked > 0);
    connect(redeem, &QPushButton::clicked, this, [this, option] { model_.redeemReset(option); });
    bankRow->addWidget(redeem);
  }
  column->addLayout(bankRow);
  if (const auto& error = model_.planSaveError()) {
    QLabel* failure = makeLabel(*error, TextRole::caption);
    failure->setStyleSheet(QStringLiteral("color: %1").arg(Theme::systemRed().name()));
    column->addWidget(failure);
  }
  return card;
}

QWidget* DashboardView::planForm() {
  auto* card = new Card(16);
  auto* planRow = new QHBoxLayout;
  card->column()->addLayout(planRow);
  auto* when = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(3600));
  auto* scope = new QComboBox;
  for (auto option : PlannedReset::allScopes) scope->addItem(QString::fromLatin1(label(option).data()));
  auto* note = new QLineEdit;
  note->setPlaceholderText(QStringLiteral("Note"));
  auto* add = new QPushButton(QStringLiteral("Plan reset"));
  connect(add, &QPushButton::clicked, this, [this, when, scope, note] {
    model_.addPlannedReset(PlannedReset{Uuid::random(), dateFromSeconds1970(when->dateTime().toSecsSinceEpoch()),
                                        PlannedReset::allScopes[static_cast<std::size_t>(scope->currentIndex())],
                                        note->text().toStdString()});
  });
  planRow->addWidget(makeLabel(QStringLiteral("Expect a reset at")));
  planRow->addWidget(when);
  planRow->addWidget(scope);
  planRow->addWidget(note, 1);
  planRow->addWidget(add);
  return card;
}

QWidget* DashboardView::sourcesRow() {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(16);
  bool connected = integrations_.statusLine() == StatusLineIntegration::State::installed();
  row->addWidget(makeLabel(std::string(connected ? "\u25CF" : "\u25CB") + " Status line", TextRole::caption, true));
  std::string probe = model_.lastProbeError() ? "\u25CB /usage: failed"
                      : model_.lastProbeAt()  ? "\u25CF /usage " + Format::clock(*model_.lastProbeAt(), model_.now())
                                              : "\u25CB /usage";
  row->addWidget(makeLabel(probe, TextRole::caption, true));
  std::string local = model_.preferences().useLocalActivity() ? "\u25CF Local activity" : "\u25CB Local activity off";
  row->addWidget(makeLabel(local, TextRole::caption, true));
  row->addStretch();
  auto* settings = new QPushButton(QStringLiteral("Settings\u2026"));
  connect(settings, &QPushButton::clicked, this, [this] { openSettings_(); });
  row->addWidget(settings);
  return box;
}

}  // namespace ovel
