// The usage bar of one window: the used share as a filled capsule, a lighter
// capsule behind it reaching where the window lands at the reset at the
// current burn rate, and a tick at the even-spend point, optionally
// captioned "even ovel" above it.
#pragma once

#include <QRectF>
#include <QWidget>

#include <optional>

#include "core/engine/OvelEngine.h"
#include "ui/ThemeColor.h"

class QBoxLayout;

namespace ovel {

class Spring;

// Where each piece of the bar lies, in the view's coordinates.
struct OvelBarGeometry {
  double viewHeight = 0;  // h + 6 + L, with or without an even line
  double top = 0;         // the bar's top edge: 3 + L
  QRectF track;
  std::optional<QRectF> projection;      // only when the projection passes the use
  std::optional<QRectF> fill;            // only when something is used
  std::optional<QRectF> tick;            // only with an even line
  std::optional<QPointF> captionCenter;  // only with an even line and labelsTick

  static constexpr double kTickWidth = 4;
  static constexpr double kCaptionWidth = 70;

  // `labelHeight` counts only when `labelsTick`. Percentages are clamped to
  // the bar: at or below 0 is the leading end, above 100 the trailing one.
  static OvelBarGeometry of(double width, double height, bool labelsTick, double labelHeight, double usedPercent,
                            std::optional<double> projectedPercent, std::optional<double> evenPercent);
};

// The even-spend tick at 0 % or 100 % is centred on the bar's end and sticks
// out beyond it. So that it is not cut there, the widget reaches kOverhang
// beyond the bar at either end: put it into a layout with addTo, which
// lays the bar itself out in the cell and the overhang over the margins.
class OvelBar final : public QWidget {
 public:
  static constexpr int kOverhang = static_cast<int>(OvelBarGeometry::kTickWidth / 2);

  OvelBar(double height, bool labelsTick, double labelHeight, QWidget* parent = nullptr);

  // Adds `bar` to `layout` as addWidget would, with the overhang outside
  // its cell.
  static void addTo(QBoxLayout* layout, OvelBar* bar, int stretch = 0);

  // A new use moves the fill along a spring; a new projection or even point
  // alone is redrawn at once.
  void setAssessment(const WindowAssessment& assessment, ThemeColor tint);

  // The geometry at the current width, with the use as shown, in the bar's
  // coordinates: x 0 is the bar's leading end.
  OvelBarGeometry geometry() const;
  // The bar's place in the widget: inset by the overhang at either end.
  QRectF barArea() const;
  // The help texts: "At this ovel: 80% at reset", "Even ovel: 45%".
  std::optional<QString> projectionHelp() const;
  std::optional<QString> tickHelp() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  double height_;
  bool labelsTick_;
  double labelHeight_;
  double shownUsed_ = 0;
  std::optional<double> projected_;
  std::optional<double> even_;
  ThemeColor tint_ = ThemeColor::brand();
  Spring* spring_;
};

}  // namespace ovel
