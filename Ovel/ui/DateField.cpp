#include "ui/DateField.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>

#include <utility>

#include "ui/Focus.h"

namespace ovel {
namespace {

// A calendar whose days outside its range read as unavailable: Qt's own
// only gives them another background, which in many palettes is all but
// the same as the days that can be picked.
class RangedCalendar final : public QCalendarWidget {
 public:
  using QCalendarWidget::QCalendarWidget;

 protected:
  void paintCell(QPainter* painter, const QRect& rect, QDate date) const override {
    if (date >= minimumDate() && date <= maximumDate()) return QCalendarWidget::paintCell(painter, rect, date);
    painter->save();
    painter->fillRect(rect, palette().brush(QPalette::Window));
    painter->setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter->drawText(rect, Qt::AlignCenter, locale().toString(date.day()));
    painter->restore();
  }
};

}  // namespace

DateField::DateField(const QDateTime& value, const QLocale& locale, QWidget* parent) : QDateTimeEdit(value, parent) {
  // The parser reads the names and the AM/PM texts of its own locale: the
  // same as the format's.
  setLocale(locale);
  setDisplayFormat(displayFormatFor(locale));
  setCalendarPopup(true);
  setCalendarWidget(new RangedCalendar(this));
  // No range of the editor's own: with one, every digit that makes a past
  // moment on the way to a future one would be refused.
  calendarWidget()->installEventFilter(this);
  connect(this, &QDateTimeEdit::editingFinished, this, [this] { commit(); });
  takeWheelOnlyWithFocus(this);
}

QString DateField::displayFormatFor(const QLocale& locale) {
  // A reset is planned to the minute: the locale's seconds are left out.
  QString time = locale.timeFormat(QLocale::ShortFormat);
  time.remove(QRegularExpression(QStringLiteral("[:.]?s+")));
  return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time;
}

void DateField::setLowerBound(const QDateTime& bound) {
  bound_ = bound;
  if (calendarWidget()->isVisible()) calendarWidget()->setMinimumDate(bound_.date());
  if (!hasFocus()) commit();
}

QDateTime DateField::commit() {
  if (bound_.isValid() && dateTime() < bound_) setDateTime(bound_);
  return dateTime();
}

bool DateField::pickHalfOfDay(QChar typed) {
  QString key = QString(typed).toLower();
  bool am = locale().amText().toLower().startsWith(key);
  bool pm = locale().pmText().toLower().startsWith(key);
  if (am == pm) return false;
  QTime time = this->time();
  setTime(QTime(time.hour() % 12 + (pm ? 12 : 0), time.minute(), time.second()));
  setSelectedSection(AmPmSection);
  return true;
}

void DateField::keyPressEvent(QKeyEvent* event) {
  QString typed = event->text();
  bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  bool movedOn = std::exchange(movedOn_, false);
  if (plain && typed.size() == 1) {
    QChar key = typed.front();
    if (currentSection() == AmPmSection && key.isLetter() && pickHalfOfDay(key)) return;
    // The separator typed after a part that filled up and moved on by
    // itself: the user is already where it leads.
    if (movedOn && !key.isLetterOrNumber()) return;
  }
  Section before = currentSection();
  QDateTimeEdit::keyPressEvent(event);
  movedOn_ = plain && typed.size() == 1 && typed.front().isDigit() && currentSection() != before;
}

void DateField::stepBy(int steps) {
  QDateTimeEdit::stepBy(steps);
  if (bound_.isValid() && dateTime() < bound_) {
    Section section = currentSection();
    setDateTime(bound_);
    setSelectedSection(section);
  }
}

QAbstractSpinBox::StepEnabled DateField::stepEnabled() const {
  StepEnabled steps = QDateTimeEdit::stepEnabled();
  if (bound_.isValid() && dateTime() <= bound_) steps &= ~StepDownEnabled;
  return steps;
}

bool DateField::eventFilter(QObject* watched, QEvent* event) {
  if (watched == calendarWidget()) {
    // Each opening gives the calendar the editor's range; the bound is ours.
    if (event->type() == QEvent::Show && bound_.isValid()) calendarWidget()->setMinimumDate(bound_.date());
    // A day picked in it is a commit, once the editor has taken it.
    if (event->type() == QEvent::Hide) QTimer::singleShot(0, this, [this] { commit(); });
  }
  return QDateTimeEdit::eventFilter(watched, event);
}

}  // namespace ovel
