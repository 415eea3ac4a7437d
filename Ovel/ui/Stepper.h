// The two small buttons that step a whole number down and up within its
// bounds; the caller shows the number itself. Each button is disabled at its
// bound. The pair is one stop for the keyboard: the arrow keys, + and -
// step it, and so does the wheel while it has the focus; a wheel turned
// over it otherwise scrolls the page.
#pragma once

#include <QWidget>

namespace ovel {

class SymbolButton;

class Stepper final : public QWidget {
  Q_OBJECT

 public:
  Stepper(int minimum, int maximum, QWidget* parent = nullptr);

  // Shows `value` (clamped to the bounds) without emitting.
  void setValue(int value);
  int value() const { return value_; }
  bool canStepDown() const { return value_ > minimum_; }
  bool canStepUp() const { return value_ < maximum_; }

  SymbolButton* downButton() const { return down_; }
  SymbolButton* upButton() const { return up_; }

 signals:
  // The user stepped: the new value, within the bounds.
  void stepped(int value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void step(int by);

  int minimum_;
  int maximum_;
  int value_;
  SymbolButton* down_;
  SymbolButton* up_;
  // Wheel turns smaller than a notch, added up.
  int wheelRest_ = 0;
};

}  // namespace ovel
