#include "dashboard/InterimCards.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "Format.h"
#include "Integrations.h"
#include "UsageModel.h"
#include "ui/ViewSupport.h"

namespace ovel {

QWidget* makeSessionWeekCard(UsageModel& model) {
  auto* card = new Card(16, 6);
  auto* column = card->column();
  column->addWidget(makeLabel(QStringLiteral("SESSIONS AND WEEK"), TextRole::caption, true));
  const auto& ratio = model.sessionWeekRatio();
  if (!ratio) {
    column->addWidget(makeLabel(QStringLiteral("Ovel learns how much of the week a session costs as readings come in."),
                                TextRole::body, true));
    return card;
  }
  column->addWidget(makeLabel("One full session costs " + Format::percent(ratio->weekPercentPerSession()) +
                                  " of the week",
                              TextRole::subheadline));
  if (auto week = model.week())
    column->addWidget(makeLabel("Left this week: " + Format::sessionsLeft(ratio->sessionsLeft(week->window.usedPercent)),
                                TextRole::body));
  column->addWidget(makeLabel("Learned from " + std::to_string(ratio->sessions) + " sessions", TextRole::caption, true));
  return card;
}

QWidget* makeResetsCard(UsageModel& model) {
  auto* card = new Card(16, 8);
  auto* column = card->column();
  column->addWidget(makeLabel(QStringLiteral("RESETS"), TextRole::caption, true));
  const ResetPlan& plan = model.resetPlan();
  for (const PlannedReset& reset : plan.planned) {
    auto* row = new QHBoxLayout;
    std::string text = Format::clock(reset.date, model.now()) + " \u00B7 " + std::string(label(reset.scope));
    if (!reset.note.empty()) text += " \u00B7 " + reset.note;
    row->addWidget(makeLabel(text), 1);
    auto* remove = new QPushButton(QStringLiteral("Remove"));
    Uuid id = reset.id;
    QObject::connect(remove, &QPushButton::clicked, remove, [&model, id] { model.removePlannedReset(id); });
    row->addWidget(remove);
    column->addLayout(row);
  }
  auto* bankRow = new QHBoxLayout;
  bankRow->addWidget(makeLabel(QStringLiteral("Banked resets")));
  auto* banked = new QSpinBox;
  banked->setRange(0, 99);
  banked->setValue(static_cast<int>(plan.banked));
  QObject::connect(banked, &QSpinBox::valueChanged, banked, [&model](int value) { model.setBankedResets(value); });
  bankRow->addWidget(banked);
  bankRow->addStretch();
  for (auto option : PlannedReset::allScopes) {
    auto* redeem = new QPushButton("Redeem \u00B7 " + QString::fromLatin1(label(option).data()));
    redeem->setEnabled(plan.banked > 0);
    QObject::connect(redeem, &QPushButton::clicked, redeem, [&model, option] { model.redeemReset(option); });
    bankRow->addWidget(redeem);
  }
  column->addLayout(bankRow);
  if (const auto& error = model.planSaveError()) {
    QLabel* failure = makeLabel(*error, TextRole::caption);
    failure->setStyleSheet(QStringLiteral("color: %1").arg(Theme::systemRed().name()));
    column->addWidget(failure);
  }
  return card;
}

QWidget* makePlanForm(UsageModel& model) {
  auto* card = new Card(16);
  auto* planRow = new QHBoxLayout;
  card->column()->addLayout(planRow);
  auto* when = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(3600));
  auto* scope = new QComboBox;
  for (auto option : PlannedReset::allScopes) scope->addItem(QString::fromLatin1(label(option).data()));
  auto* note = new QLineEdit;
  note->setPlaceholderText(QStringLiteral("Note"));
  auto* add = new QPushButton(QStringLiteral("Plan reset"));
  QObject::connect(add, &QPushButton::clicked, add, [&model, when, scope, note] {
    model.addPlannedReset(PlannedReset{Uuid::random(), dateFromSeconds1970(when->dateTime().toSecsSinceEpoch()),
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

QWidget* makeSourcesRow(UsageModel& model, Integrations& integrations, std::function<void()> openSettings) {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(16);
  bool connected = integrations.statusLine() == StatusLineIntegration::State::installed();
  row->addWidget(makeLabel(std::string(connected ? "\u25CF" : "\u25CB") + " Status line", TextRole::caption, true));
  std::string probe = model.lastProbeError() ? "\u25CB /usage: failed"
                      : model.lastProbeAt()  ? "\u25CF /usage " + Format::clock(*model.lastProbeAt(), model.now())
                                              : "\u25CB /usage";
  row->addWidget(makeLabel(probe, TextRole::caption, true));
  std::string local = model.preferences().useLocalActivity() ? "\u25CF Local activity" : "\u25CB Local activity off";
  row->addWidget(makeLabel(local, TextRole::caption, true));
  row->addStretch();
  auto* settings = new QPushButton(QStringLiteral("Settings\u2026"));
  QObject::connect(settings, &QPushButton::clicked, settings, [openSettings = std::move(openSettings)] { openSettings(); });
  row->addWidget(settings);
  return box;
}

}  // namespace ovel
