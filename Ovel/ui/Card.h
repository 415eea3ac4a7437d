// The card style: the rounded, lightly filled panel with a hairline border
// that the popover and the dashboard put their sections on. It takes the
// full width offered, with its content at the leading edge.
#pragma once

#include <QFrame>

class QVBoxLayout;

namespace ovel {

// Views that are cards (the window card, the setup hint) derive from it.
class Card : public QFrame {
 public:
  static constexpr double kRadius = 14;
  static constexpr double kBorderWidth = 0.5;
  static constexpr double kBorderOpacity = 0.6;

  // A column inset by `padding` on every edge, `spacing` between its items.
  explicit Card(int padding, int spacing = 10, QWidget* parent = nullptr);
  QVBoxLayout* column() const { return column_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QVBoxLayout* column_;
};

}  // namespace ovel
