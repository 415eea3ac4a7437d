// The dashboard's resets card: what it shows of the plan, what its controls
// do to the plan through the model, and the editors that keep what the user
// types across the model's changes.
#include "dashboard/ResetsCard.h"
#include "support/Children.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "app/UsageModelHarness.h"
#include "model/Format.h"
#include "ui/DateField.h"
#include "ui/Stepper.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using Scope = PlannedReset::Scope;
using Row = ResetsCard::RowTexts;

PlannedReset reset(Date date, Scope scope = Scope::all, std::string note = {}) {
  return PlannedReset{Uuid::random(), date, scope, std::move(note)};
}

TEST(ResetsCardTexts, PlannedRow) {
  Date now = test::at(0);
  const std::string later = Format::clock(test::at(2 * kHour), now);
  struct Case {
    const char* name;
    PlannedReset reset;
    Row expected;
  } cases[] = {
      {"no note", reset(test::at(2 * kHour)), {later, "All limits", std::nullopt, false}},
      {"a note", reset(test::at(2 * kHour), Scope::session, "announced"), {later, "Session (5h)", "announced", false}},
      {"blanks are a note as typed",
       reset(test::at(2 * kHour), Scope::week, "   "),
       {later, "Weekly limits", "   ", false}},
      {"due this very moment has passed", reset(now), {Format::clock(now, now), "All limits", std::nullopt, true}},
      {"an hour ago",
       reset(test::at(-kHour)),
       {Format::clock(test::at(-kHour), now), "All limits", std::nullopt, true}},
  };
  for (const Case& c : cases) EXPECT_EQ(ResetsCard::rowTexts(c.reset, now), c.expected) << c.name;
  EXPECT_EQ(ResetsCard::savedText(0), "0 saved");
  EXPECT_EQ(ResetsCard::savedText(12), "12 saved");
}

TEST(ResetsCardTexts, DateEditorReadsToTheMinute) {
  for (const QLocale& locale :
       {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::French, QLocale::France)}) {
    QString format = DateField::displayFormatFor(locale);
    EXPECT_TRUE(format.contains(QStringLiteral("mm"))) << format.toStdString();
    EXPECT_FALSE(format.contains(QLatin1Char('s'))) << format.toStdString();
    EXPECT_TRUE(format.startsWith(locale.dateFormat(QLocale::ShortFormat))) << format.toStdString();
  }
  QDateTime evening(QDate(2026, 3, 28), QTime(21, 30));
  EXPECT_EQ(ResetsCard::initialDate(evening), QDateTime(QDate(2026, 3, 29), QTime(21, 30)))
      << "a calendar day later, at the same wall-clock time";
}

class ResetsCardTest : public test::UsageModelTest {
 protected:
  ResetsCardTest() { rebuild(); }

  // A new model and card. The model's clock reads the real time, which the
  // date editor keeps to.
  void rebuild(std::optional<ResetPlanStore> planStore = std::nullopt) {
    card.reset();
    build(std::move(planStore));
    clock->set(systemNow());
    model->recompute();
    card = std::make_unique<ResetsCard>(*model);
  }
  void setNote(const QString& text) { card->noteField()->setText(text); }
  void add() { card->addButton()->click(); }
  void redeem(const char* title) {
    for (QAction* action : card->redeemButton()->menu()->actions())
      if (action->text() == QLatin1String(title)) return action->trigger();
    ADD_FAILURE() << "no menu entry " << title;
  }
  std::vector<std::optional<std::string>> shownNotes() const {
    std::vector<std::optional<std::string>> notes;
    for (const Row& row : card->shownRows()) notes.push_back(row.note);
    return notes;
  }

  std::unique_ptr<ResetsCard> card;
};

TEST_F(ResetsCardTest, StepperSetsTheBankedCountWithinItsBounds) {
  EXPECT_EQ(card->savedView()->text(), QStringLiteral("0 saved"));
  EXPECT_FALSE(card->stepper()->canStepDown());
  EXPECT_FALSE(card->redeemButton()->isEnabled()) << "nothing to redeem";

  auto buttons = test::childrenOf<SymbolButton>(*card->stepper());
  ASSERT_EQ(buttons.size(), 2);
  buttons[1]->click();
  EXPECT_EQ(model->resetPlan().banked, 1);
  EXPECT_EQ(card->savedView()->text(), QStringLiteral("1 saved"));
  EXPECT_TRUE(card->redeemButton()->isEnabled());
  EXPECT_EQ(ResetPlanStore(OvelPaths::resetPlan()).load().banked, 1) << "saved";

  model->setBankedResets(ResetsCard::kMaximumBanked);
  EXPECT_FALSE(card->stepper()->canStepUp());
  buttons[1]->click();
  EXPECT_EQ(model->resetPlan().banked, ResetsCard::kMaximumBanked);
  buttons[0]->click();
  EXPECT_EQ(model->resetPlan().banked, ResetsCard::kMaximumBanked - 1);
}

TEST_F(ResetsCardTest, RedeemingSpendsOneAndBelievesTheCoveredDrops) {
  struct Case {
    const char* entry;
    std::set<WindowKind> expecting;
  } cases[] = {
      {"Session (5h)", {WindowKind::session()}},
      {"Weekly", {WindowKind::week(), WindowKind::weekModel("Opus")}},
      {"Both", {WindowKind::session(), WindowKind::week(), WindowKind::weekModel("Opus")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    rebuild();
    Date now = clock->now();
    Date weekReset = addSeconds(now, 4 * kDay);
    UsageModelInternals::ingest(*model, {test::reading(WindowKind::session(), 40, addSeconds(now, 3 * kHour), now),
                                         test::reading(WindowKind::week(), 30, weekReset, now),
                                         test::reading(WindowKind::weekModel("Opus"), 12, weekReset, now)});
    ASSERT_EQ(model->state().windows().size(), 3u);
    ASSERT_TRUE(model->state().expectingReset().empty());
    model->setBankedResets(3);
    std::size_t probes = probe->runs();
    redeem(c.entry);
    EXPECT_EQ(model->resetPlan().banked, 2);
    EXPECT_EQ(card->savedView()->text(), QStringLiteral("2 saved"));
    EXPECT_EQ(model->state().expectingReset(), c.expecting);
    scheduler->runDue();
    EXPECT_EQ(probe->runs(), probes + 1) << "the new figures are fetched";
  }
}

TEST_F(ResetsCardTest, ListsThePlanInDateOrderAndRemovesByRow) {
  EXPECT_FALSE(card->emptyPlanView()->isHidden());
  EXPECT_TRUE(card->shownRows().empty());

  for (auto [hours, note] : {std::pair(5.0, "third"), std::pair(1.0, "first"), std::pair(3.0, "second")}) {
    card->dateEdit()->setDateTime(QDateTime::currentDateTime().addSecs(static_cast<qint64>(hours * 3600)));
    setNote(QString::fromUtf8(note));
    add();
  }
  EXPECT_TRUE(card->emptyPlanView()->isHidden());
  EXPECT_EQ(shownNotes(), (std::vector<std::optional<std::string>>{"first", "second", "third"}));

  card->removeButton(1)->click();
  EXPECT_EQ(shownNotes(), (std::vector<std::optional<std::string>>{"first", "third"}));
  ASSERT_EQ(model->resetPlan().planned.size(), 2u);
  EXPECT_EQ(card->shownIds(), (std::vector<Uuid>{model->resetPlan().planned[0].id, model->resetPlan().planned[1].id}));
}

TEST_F(ResetsCardTest, TwoIdenticalResetsAreTwoRows) {
  card->scopePicker()->setCurrentIndex(1);
  for (int i = 0; i < 2; ++i) {
    setNote(QStringLiteral("same"));
    add();
  }
  ASSERT_EQ(card->shownRows().size(), 2u);
  EXPECT_EQ(card->shownRows()[0], card->shownRows()[1]);
  EXPECT_NE(card->shownIds()[0], card->shownIds()[1]);
  card->removeButton(0)->click();
  EXPECT_EQ(card->shownRows().size(), 1u);
}

TEST_F(ResetsCardTest, AddClearsOnlyTheNoteAndStoresItAsTyped) {
  QDateTime when = QDateTime::currentDateTime().addDays(2);
  card->dateEdit()->setDateTime(when);
  card->scopePicker()->setCurrentIndex(2);
  setNote(QStringLiteral("  spaced  "));
  add();
  ASSERT_EQ(model->resetPlan().planned.size(), 1u);
  const PlannedReset& added = model->resetPlan().planned[0];
  EXPECT_EQ(added.note, "  spaced  ");
  EXPECT_EQ(added.scope, Scope::week);
  EXPECT_NEAR(secondsSince1970(added.date), static_cast<double>(when.toMSecsSinceEpoch()) / 1000, 0.001);
  EXPECT_TRUE(card->noteField()->text().isEmpty());
  EXPECT_EQ(card->dateEdit()->dateTime(), when);
  EXPECT_EQ(card->scopePicker()->currentIndex(), 2);

  setNote(QStringLiteral("   "));
  add();
  EXPECT_EQ(model->resetPlan().planned[1].note, "   ");
}

TEST_F(ResetsCardTest, AResetDueNowShowsPassedAndFlipsWithTheClock) {
  model->addPlannedReset(reset(model->now()));
  model->addPlannedReset(reset(addSeconds(model->now(), 60), Scope::session, "soon"));
  ASSERT_EQ(card->shownRows().size(), 2u);
  EXPECT_TRUE(card->shownRows()[0].passed);
  EXPECT_FALSE(card->shownRows()[1].passed);
  SymbolButton* trash = card->removeButton(1);

  clock->advance(120);
  model->recompute();
  EXPECT_TRUE(card->shownRows()[1].passed);
  EXPECT_EQ(card->removeButton(1), trash) << "the clock alone rebuilds no row";
}

TEST_F(ResetsCardTest, WhatTheUserTypesOutlivesModelChanges) {
  DateField* date = card->dateEdit();
  QLineEdit* note = card->noteField();
  QDateTime when = QDateTime::currentDateTime().addSecs(5 * 3600);
  date->setDateTime(when);
  card->scopePicker()->setCurrentIndex(1);
  note->setText(QStringLiteral("half-typ"));

  model->setBankedResets(4);
  model->addPlannedReset(reset(addSeconds(model->now(), kHour)));
  clock->advance(5);
  model->recompute();

  EXPECT_EQ(card->dateEdit(), date);
  EXPECT_EQ(card->noteField(), note);
  EXPECT_EQ(date->dateTime(), when);
  EXPECT_EQ(card->scopePicker()->currentIndex(), 1);
  EXPECT_EQ(note->text(), QStringLiteral("half-typ"));
}

TEST_F(ResetsCardTest, TheDateEditorOffersNoPastMoment) {
  QDateTime before = QDateTime::currentDateTime();
  ResetsCard fresh(*model);
  QDateTime after = QDateTime::currentDateTime();
  EXPECT_GE(fresh.dateEdit()->dateTime(), before.addDays(1));
  EXPECT_LE(fresh.dateEdit()->dateTime(), after.addDays(1));
  EXPECT_GE(fresh.dateEdit()->lowerBound(), before);
  EXPECT_LE(fresh.dateEdit()->lowerBound(), after);
  EXPECT_EQ(fresh.dateEdit()->maximumDateTime(), QDateTimeEdit().maximumDateTime()) << "no upper bound";

  // The editor itself takes a past moment, as it does while the user types;
  // Add plans the earliest moment offered instead.
  fresh.dateEdit()->setDateTime(before.addDays(-3));
  fresh.addButton()->click();
  ASSERT_EQ(model->resetPlan().planned.size(), 1u);
  EXPECT_GE(model->resetPlan().planned.front().date, dateFromSeconds1970(before.toSecsSinceEpoch()));
  EXPECT_GE(fresh.dateEdit()->dateTime(), before) << "the field shows the moment planned";
}

TEST_F(ResetsCardTest, ATypedDateIsPlannedAndAPastOneAtTheEarliestMomentOffered) {
  Format::setLocale("de_DE");
  card = std::make_unique<ResetsCard>(*model);
  DateField* field = card->dateEdit();
  card->show();
  card->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(card.get()));
  auto typeIn = [&](const QDateTime& moment) {
    // Tabbed into, the field starts at its first part.
    field->clearFocus();
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(field, field->locale().toString(moment, field->displayFormat()));
  };
  QDateTime later(QDate::currentDate().addDays(3), QTime(16, 30));
  typeIn(later);
  add();
  ASSERT_EQ(model->resetPlan().planned.size(), 1u);
  // To the minute: the seconds are the ones the field opened with.
  EXPECT_NEAR(secondsSince1970(model->resetPlan().planned[0].date), static_cast<double>(later.toSecsSinceEpoch()),
              59.999);

  QDateTime yesterday(QDate::currentDate().addDays(-1), QTime(16, 30));
  typeIn(yesterday);
  ASSERT_EQ(field->dateTime().date(), yesterday.date()) << "taken while typing";
  QDateTime before = QDateTime::currentDateTime();
  // Added by keyboard: Enter on the focused button.
  card->addButton()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(card->addButton(), Qt::Key_Return);
  ASSERT_EQ(model->resetPlan().planned.size(), 2u);
  Date planned = model->resetPlan().planned[0].date;
  EXPECT_GE(secondsSince1970(planned), static_cast<double>(before.toMSecsSinceEpoch()) / 1000 - 0.001);
  EXPECT_LE(secondsSince1970(planned), static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000 + 0.001);
  Format::setLocale({});
}

TEST_F(ResetsCardTest, ANoteCutToOneLineIsTheRowsToolTip) {
  const std::string longNote = "announced on the status page for everyone on the plan, after the outage this week";
  model->addPlannedReset(reset(addSeconds(model->now(), kHour), Scope::all, longNote));
  model->addPlannedReset(reset(addSeconds(model->now(), 2 * kHour), Scope::all, "short"));
  model->addPlannedReset(reset(addSeconds(model->now(), 3 * kHour)));
  card->resize(560, card->heightForWidth(560));
  card->show();
  QCoreApplication::processEvents();
  QWidget* cut = card->removeButton(0)->parentWidget();
  EXPECT_EQ(cut->toolTip().toStdString(), longNote);
  EXPECT_TRUE(card->removeButton(1)->parentWidget()->toolTip().isEmpty()) << "a note shown whole needs none";
  EXPECT_TRUE(card->removeButton(2)->parentWidget()->toolTip().isEmpty()) << "nor a row without a note";
  card->resize(1400, card->heightForWidth(1400));
  QCoreApplication::processEvents();
  EXPECT_TRUE(cut->toolTip().isEmpty()) << "wide enough, the note shows whole";
}

TEST_F(ResetsCardTest, TheDateEditorWritesTimesInTheRowsLocale) {
  for (const char* locale : {"C", "de_DE", "fr_FR"}) {
    Format::setLocale(locale);
    ResetsCard fresh(*model);
    EXPECT_EQ(fresh.dateEdit()->displayFormat().toStdString(),
              DateField::displayFormatFor(Format::clockLocale()).toStdString())
        << locale;
    EXPECT_EQ(fresh.dateEdit()->locale(), Format::clockLocale()) << locale << ": it reads what it writes";
  }
  Format::setLocale({});
}

TEST_F(ResetsCardTest, AFailedSaveShowsOnTheCard) {
  test::writeText(dir / "plain-file", "");
  rebuild(ResetPlanStore(dir / "plain-file" / "reset-plan.json"));
  EXPECT_TRUE(card->saveErrorView()->parentWidget()->isHidden());

  model->setBankedResets(2);
  EXPECT_FALSE(card->saveErrorView()->parentWidget()->isHidden());
  EXPECT_EQ(card->saveErrorView()->text(), QStringLiteral("Couldn't save your planned resets: Not a directory"));
  EXPECT_EQ(card->savedView()->text(), QStringLiteral("2 saved")) << "the edit stays in memory";

  std::filesystem::remove(dir / "plain-file");
  model->setBankedResets(3);
  EXPECT_TRUE(card->saveErrorView()->parentWidget()->isHidden());
}

TEST_F(ResetsCardTest, AHistoryThatCannotBeWrittenShowsBesideThePlansError) {
  std::filesystem::create_directories(OvelPaths::history());  // a folder where the file should be
  UsageModelInternals::ingest(*model, {test::sessionReading(20, clock->now())});
  EXPECT_FALSE(card->saveErrorView()->parentWidget()->isHidden());
  EXPECT_EQ(card->saveErrorView()->text().toStdString(), "Couldn't save your usage history: Is a directory");

  test::writeText(dir / "plain-file", "");
  rebuild(ResetPlanStore(dir / "plain-file" / "reset-plan.json"));
  UsageModelInternals::ingest(*model, {test::sessionReading(21, clock->now())});
  model->setBankedResets(2);
  EXPECT_EQ(card->saveErrorView()->text().toStdString(),
            "Couldn't save your planned resets: Not a directory\nCouldn't save your usage history: Is a directory");
  EXPECT_EQ(card->saveErrorView()->shownLines().size(), 2);
}

}  // namespace
}  // namespace ovel
