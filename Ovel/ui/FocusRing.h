// The keyboard focus drawn on the application's own controls: a ring in the
// brand colour, so the user sees where Space and Enter will go.
#pragma once

#include <QWidget>

class QPainter;
class QRectF;

namespace ovel {

// A ring of `kFocusRingWidth` just inside `rect`, its corners rounded by
// `radius` (halved when the rect is too small for them).
constexpr double kFocusRingWidth = 2;
void paintFocusRing(QPainter& painter, const QRectF& rect, double radius, const QPalette& palette);

// The ring over a whole widget that has children drawn above its own
// painting: it lies on top of them, shown while `owner` has the focus.
class FocusFrame final : public QWidget {
 public:
  FocusFrame(QWidget* owner, double radius);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QWidget* owner_;
  double radius_;
};

}  // namespace ovel
