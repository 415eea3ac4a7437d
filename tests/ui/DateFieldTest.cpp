// The planned reset's date field: typed as the user writes a date in each
// locale, it takes the date, past moments included while typing; committed,
// it never holds a moment before its bound; its arrows and calendar offer
// none; and nothing is said on standard error along the way.
#include "ui/DateField.h"

#include <QCalendarWidget>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include "support/LogCapture.h"

namespace ovel {
namespace {

// The minute a field shows: its seconds come from wherever it started.
QDateTime toTheMinute(QDateTime moment) {
  QTime time = moment.time();
  moment.setTime(QTime(time.hour(), time.minute()));
  return moment;
}

class DateFieldTest : public ::testing::Test {
 protected:
  // A field opened now, one day ahead, bounded by now, with the focus on
  // its first part as Tab gives it.
  std::unique_ptr<DateField> focusedField(const QLocale& locale) {
    QDateTime now = QDateTime::currentDateTime();
    auto field = std::make_unique<DateField>(now.addDays(1), locale);
    field->setLowerBound(now);
    field->show();
    field->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(field.get()));
    field->setFocus(Qt::TabFocusReason);
    return field;
  }

  test::LogCapture log;
};

TEST_F(DateFieldTest, TypedAsTheLocaleWritesItGivesThatDate) {
  QDate later = QDate::currentDate().addDays(40);
  struct Case {
    const char* locale;
    QTime time;
    bool digitsOnly;  // the separators left out, each part typed whole
  } cases[] = {
      {"en_US", QTime(16, 30), false}, {"en_US", QTime(9, 5), false},   {"de_DE", QTime(16, 30), false},
      {"de_DE", QTime(7, 45), true},   {"ja_JP", QTime(16, 30), false}, {"ja_JP", QTime(10, 5), true},
      {"fr_FR", QTime(23, 59), false},
  };
  for (const Case& c : cases) {
    QLocale locale{QString::fromLatin1(c.locale)};
    auto field = focusedField(locale);
    QDateTime target(later, c.time);
    QString typed = locale.toString(target, field->displayFormat());
    if (c.digitsOnly) typed.remove(QRegularExpression(QStringLiteral("\\D")));
    SCOPED_TRACE(std::string(c.locale) + " typing " + typed.toStdString());
    QTest::keyClicks(field.get(), typed);
    EXPECT_EQ(toTheMinute(field->dateTime()), target) << "shows " << field->text().toStdString();
    QTest::keyClick(field.get(), Qt::Key_Return);
    EXPECT_EQ(toTheMinute(field->dateTime()), target) << "a future moment stays as typed";
  }
  EXPECT_TRUE(log.warnings("default").empty()) << log.warnings("default").front();
}

TEST_F(DateFieldTest, APastMomentIsTakenWhileTypingAndRaisedToTheBoundOnCommit) {
  for (const char* name : {"en_US", "de_DE", "ja_JP"}) {
    SCOPED_TRACE(name);
    QLocale locale{QString::fromLatin1(name)};
    auto field = focusedField(locale);
    QDateTime yesterday(QDate::currentDate().addDays(-1), QTime(9, 15));
    QTest::keyClicks(field.get(), locale.toString(yesterday, field->displayFormat()));
    EXPECT_EQ(toTheMinute(field->dateTime()), yesterday) << "each digit on the way is taken";
    QTest::keyClick(field.get(), Qt::Key_Return);
    EXPECT_EQ(field->dateTime(), field->lowerBound()) << "Enter commits it: the earliest moment offered";

    // Typed again and left: the same.
    field->setSelectedSection(field->sectionAt(0));
    QTest::keyClicks(field.get(), locale.toString(yesterday, field->displayFormat()));
    ASSERT_LT(field->dateTime(), field->lowerBound());
    EXPECT_EQ(field->commit(), field->lowerBound());
  }
  EXPECT_TRUE(log.warnings("default").empty()) << log.warnings("default").front();
}

TEST_F(DateFieldTest, TheHalfOfTheDayIsTypedByItsFirstLetterAndQuietly) {
  // A morning typed on the bound's own day, in the afternoon: where the
  // editor kept a range of its own, Qt's parser warned on standard error
  // about the AM/PM part.
  auto field = focusedField(QLocale(QStringLiteral("en_US")));
  QDate today = QDate::currentDate();
  field->setDateTime(QDateTime(today, QTime(15, 0)));
  field->setLowerBound(QDateTime(today, QTime(13, 0)));
  field->setSelectedSection(QDateTimeEdit::AmPmSection);
  QTest::keyClicks(field.get(), QStringLiteral("a"));
  EXPECT_EQ(field->time(), QTime(3, 0));
  QTest::keyClicks(field.get(), QStringLiteral("p"));
  EXPECT_EQ(field->time(), QTime(15, 0));
  EXPECT_EQ(field->currentSection(), QDateTimeEdit::AmPmSection);
  EXPECT_TRUE(log.warnings("default").empty()) << log.warnings("default").front();
}

TEST_F(DateFieldTest, TheBoundMovesTheShownValueOnlyWhileNobodyTypes) {
  QDateTime now = QDateTime::currentDateTime();
  DateField field(now.addSecs(-3600), QLocale(QStringLiteral("de_DE")));
  field.setLowerBound(now);
  EXPECT_EQ(field.dateTime(), now) << "not being typed into: raised at once";

  auto focused = focusedField(QLocale(QStringLiteral("de_DE")));
  QDateTime typedPast = now.addSecs(-7200);
  focused->setDateTime(typedPast);
  focused->setLowerBound(now.addSecs(5));
  EXPECT_EQ(focused->dateTime(), typedPast) << "left alone while it has the focus";
}

TEST_F(DateFieldTest, TheArrowsNeverStepBelowTheBound) {
  auto field = focusedField(QLocale(QStringLiteral("de_DE")));
  QDateTime bound = field->lowerBound();
  field->setDateTime(bound.addSecs(120));
  field->setSelectedSection(QDateTimeEdit::DaySection);
  QTest::keyClick(field.get(), Qt::Key_Down);
  EXPECT_EQ(field->dateTime(), bound) << "a day down would be yesterday: the bound instead";
  EXPECT_EQ(field->currentSection(), QDateTimeEdit::DaySection) << "still on the part being stepped";
  QTest::keyClick(field.get(), Qt::Key_Down);
  EXPECT_EQ(field->dateTime(), bound);
  QTest::keyClick(field.get(), Qt::Key_Up);
  EXPECT_EQ(field->dateTime(), bound.addDays(1));
}

TEST_F(DateFieldTest, TheCalendarOffersNoDayBeforeTheBound) {
  auto field = focusedField(QLocale(QStringLiteral("en_US")));
  QCalendarWidget* calendar = field->calendarWidget();
  QImage unbounded;
  {
    calendar->setMinimumDate(QDate(2000, 1, 1));
    calendar->setSelectedDate(QDate::currentDate());
    calendar->resize(calendar->sizeHint());
    unbounded = calendar->grab().toImage();
  }
  // Opened as a click on its arrow opens it.
  QTest::mouseClick(field.get(), Qt::LeftButton, {}, QPoint(field->width() - 6, field->height() / 2));
  ASSERT_TRUE(calendar->isVisible());
  EXPECT_EQ(calendar->minimumDate(), QDate::currentDate());
  calendar->setSelectedDate(QDate::currentDate().addDays(-1));
  EXPECT_GE(calendar->selectedDate(), QDate::currentDate()) << "a past day cannot be picked";
  calendar->setSelectedDate(QDate::currentDate());
  EXPECT_NE(calendar->grab().toImage(), unbounded) << "the days before today are drawn apart";
  calendar->window()->hide();
}

}  // namespace
}  // namespace ovel
