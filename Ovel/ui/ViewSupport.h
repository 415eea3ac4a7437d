// Small pieces every window of the application builds with: layout helpers,
// a capsule fill and a redraw that coalesces bursts of model signals into
// one rebuild.
#pragma once

#include <QObject>
#include <QWidget>

#include <functional>

#include "ui/Card.h"
#include "ui/Theme.h"

class QBrush;
class QLayout;
class QPainter;
class QPainterPath;
class QRectF;
class QVBoxLayout;

namespace ovel {

// A plain widget holding `layout`, which loses its margins.
QWidget* widgetOf(QLayout* layout);

// Deletes every item and widget of the layout.
void clearLayout(QLayout* layout);

// Shows or hides `widget`; whether that changed anything.
bool setShown(QWidget* widget, bool shown);

// Tells `widget` and every widget above it, and their layouts, that its
// size may have changed. The layouts cache the sizes they were given; the
// event loop would pass the news up one level per turn, and an image taken
// before then would show the old sizes.
void relayoutUpwards(QWidget* widget);

// `rect` with rounded ends: a capsule along its longer side.
QPainterPath capsulePath(const QRectF& rect);
// Fills that capsule.
void fillCapsule(QPainter& painter, const QRectF& rect, const QBrush& brush);

// Runs `rebuild` once from the event loop after any number of pokes.
class RedrawGate final : public QObject {
 public:
  RedrawGate(QObject* parent, std::function<void()> rebuild);
  void poke();

 private:
  std::function<void()> rebuild_;
  bool pending_ = false;
};

}  // namespace ovel
