// The ring of a window inside a view, centred in whatever frame its
// container gives it. A new used value grows or shrinks the arc along a
// spring and a new arrow turns to its angle; a ring that gains a used value
// grows from 0, and an arrow that replaces another centre turns from 0°.
#pragma once

#include <QRectF>
#include <QWidget>

#include <optional>

#include "ui/DayRing.h"
#include "ui/ThemeColor.h"

namespace ovel {

class Spring;

class DayRingView final : public QWidget {
 public:
  explicit DayRingView(QWidget* parent = nullptr);

  // `animated` false jumps to the new values (the first values always do).
  void setRing(std::optional<double> used, bool segmented, DayRing::Center center, ThemeColor tint,
               bool animated = true);

  // What the ring draws at this moment of its animation.
  std::optional<double> shownUsed() const;
  DayRing::Center shownCenter() const;

  // The ring of a steering window: its used arc (none without a window),
  // segmented for week kinds (the steer's kind without a window), and the
  // arrow, stop square or dash of the steer.
  struct Ring {
    std::optional<double> used;
    bool segmented = false;
    DayRing::Center center;
  };
  static Ring steering(const std::optional<WindowAssessment>& window, const std::optional<OvelSteer>& steer);

  // The square the ring fills in a frame: the largest one, centred.
  static QRectF ringSquare(QSizeF frame);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<double> used_;
  bool segmented_ = false;
  DayRing::Center center_ = DayRing::Center::none();
  ThemeColor tint_ = ThemeColor::of(ColorRole::secondary);
  QPointF shown_;  // the animated (used or 0, arrow angle or 0)
  Spring* spring_;
};

}  // namespace ovel
