// A date and time typed to the minute in the clock's locale, as a planned
// reset is entered. While the user types, the field takes every value, so
// that a date can be typed digit by digit even where its first digits make
// a past moment; once committed (Enter, leaving the field, a pick in the
// calendar, or when the caller asks), a moment before the lower bound
// becomes the bound. The arrows never step below the bound, the calendar
// shows the days before it as unavailable, and the wheel turns it only
// while it has the focus.
#pragma once

#include <QDateTimeEdit>

class QLocale;

namespace ovel {

class DateField final : public QDateTimeEdit {
 public:
  DateField(const QDateTime& value, const QLocale& locale, QWidget* parent = nullptr);

  // The locale's short date and its time to the minute.
  static QString displayFormatFor(const QLocale& locale);

  // The earliest moment the field commits to. Moving it commits the value
  // at once, unless the user is typing into the field.
  void setLowerBound(const QDateTime& bound);
  const QDateTime& lowerBound() const { return bound_; }
  // Raises a value below the bound to it, and gives the value.
  QDateTime commit();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void stepBy(int steps) override;
  StepEnabled stepEnabled() const override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // "a" or "p" typed into the AM/PM part picks the morning or afternoon.
  bool pickHalfOfDay(QChar typed);

  QDateTime bound_;
  // The last digit filled its part and moved on to the next one.
  bool movedOn_ = false;
};

}  // namespace ovel
