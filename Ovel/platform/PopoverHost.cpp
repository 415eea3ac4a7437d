#include "platform/PopoverHost.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <chrono>

namespace ovel {
namespace {

// How soon after the popover opens a deactivation of the application may
// be one that began before: Qt's comes a tenth of a second after the
// focused window went, later when the application is busy.
constexpr std::chrono::milliseconds kStaleDeactivation{500};

enum class PanelEdge { top, bottom, left, right };

bool isPoint(const QRect& anchor) { return anchor.width() <= 1 && anchor.height() <= 1; }

// The screen edge of the panel that holds the item at `anchor`: the side of
// `available` the anchor lies beyond, where the window manager keeps the
// panel out of it; else the side the anchor lies near, by its own size,
// unless it lies near the top or the bottom too. Else the top or bottom,
// by the half the anchor is in (also for a point: the cursor, a click).
PanelEdge panelEdge(const QRect& anchor, const QRect& available) {
  if (isPoint(anchor)) return anchor.center().y() > available.center().y() ? PanelEdge::bottom : PanelEdge::top;
  bool beyondTopOrBottom = anchor.bottom() < available.top() || anchor.top() > available.bottom();
  bool beyondSide = anchor.right() < available.left() || anchor.left() > available.right();
  bool nearTopOrBottom = anchor.top() - available.top() < anchor.height() ||
                         available.bottom() - anchor.bottom() < anchor.height();
  bool nearSide = anchor.left() - available.left() < anchor.width() ||
                  available.right() - anchor.right() < anchor.width();
  if (!beyondTopOrBottom && (beyondSide || (nearSide && !nearTopOrBottom)))
    return anchor.center().x() < available.center().x() ? PanelEdge::left : PanelEdge::right;
  return anchor.center().y() > available.center().y() ? PanelEdge::bottom : PanelEdge::top;
}

}  // namespace

PopoverHost::PopoverHost(QObject* parent) : QObject(parent), window_(std::make_unique<QWidget>()) {
  // On X11 a popup grabs the pointer and closes on any outside click. A
  // Wayland popup needs a parent surface, which a tray item does not give,
  // so there a frameless tool window closes when it loses the focus.
  closesOnDeactivate_ = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  window_->setWindowFlags((closesOnDeactivate_ ? Qt::Tool : Qt::Popup) | Qt::FramelessWindowHint);
  auto* layout = new QVBoxLayout(window_.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  window_->installEventFilter(this);
}

PopoverHost::~PopoverHost() { window_->removeEventFilter(this); }

void PopoverHost::setContent(QWidget* content) {
  QLayout* layout = window_->layout();
  while (QLayoutItem* item = layout->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  if (content) layout->addWidget(content);
}

bool PopoverHost::isShown() const { return window_->isVisible(); }

void PopoverHost::show(const QRect& anchor) {
  anchor_ = anchor.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
  outsideClick_.reset();
  fitContent();
  // Laid out afresh: what changed while hidden has not reached the window's
  // size, and the size it had then caps any resize but the layout's own.
  window_->layout()->invalidate();
  window_->layout()->activate();
  place();
  window_->show();
  window_->raise();
  window_->activateWindow();
  shown_.start();
}

QRect PopoverHost::availableArea() const {
  QScreen* screen = QGuiApplication::screenAt(anchor_.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? usableArea(anchor_, screen->availableGeometry()) : QRect();
}

void PopoverHost::fitContent() {
  QLayoutItem* item = window_->layout()->itemAt(0);
  QRect available = availableArea();
  if (item && item->widget() && !available.isEmpty()) item->widget()->setMaximumHeight(available.height());
}

void PopoverHost::place() {
  QRect available = availableArea();
  if (!available.isEmpty()) window_->move(placement(window_->size(), anchor_, available));
}

void PopoverHost::close() {
  closing_ = true;
  window_->close();
  closing_ = false;
}

bool PopoverHost::closesOnStaleDeactivation() const {
  // On X11 Qt takes the application for inactive a tenth of a second after
  // its focused window went (this popover, just closed) unless another of
  // its windows took the focus, and then closes every popup: opened again
  // within that moment (the hot key pressed twice quickly), the popover
  // would close at once. Nothing else deactivates it while it holds the
  // keyboard and the pointer.
  return !closesOnDeactivate_ && !closing_ && !outsideClick_ &&
         QGuiApplication::applicationState() != Qt::ApplicationActive && shown_.isValid() &&
         shown_.elapsed() < kStaleDeactivation.count();
}

QPoint PopoverHost::placement(const QSize& size, const QRect& anchor, const QRect& available) {
  // Under or above the item, centred on it; beside a vertical panel, level with it.
  int x = anchor.center().x() - size.width() / 2;
  int y = anchor.center().y() - size.height() / 2;
  switch (panelEdge(anchor, available)) {
    case PanelEdge::top: y = anchor.bottom() + 1; break;
    case PanelEdge::bottom: y = anchor.top() - size.height(); break;
    case PanelEdge::left: x = anchor.right() + 1; break;
    case PanelEdge::right: x = anchor.left() - size.width(); break;
  }
  x = std::clamp(x, available.left(), std::max(available.left(), available.right() + 1 - size.width()));
  y = std::clamp(y, available.top(), std::max(available.top(), available.bottom() + 1 - size.height()));
  return {x, y};
}

QRect PopoverHost::usableArea(const QRect& anchor, const QRect& available) {
  QRect area = available;
  if (isPoint(anchor)) return area;
  switch (panelEdge(anchor, available)) {
    case PanelEdge::top: area.setTop(std::max(available.top(), anchor.bottom() + 1)); break;
    case PanelEdge::bottom: area.setBottom(std::min(available.bottom(), anchor.top() - 1)); break;
    case PanelEdge::left: area.setLeft(std::max(available.left(), anchor.right() + 1)); break;
    case PanelEdge::right: area.setRight(std::min(available.right(), anchor.left() - 1)); break;
  }
  return area.isEmpty() ? available : area;
}

bool PopoverHost::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_.get() && event->type() == QEvent::Close && closesOnStaleDeactivation()) {
    event->ignore();
    return true;
  }
  if (watched == window_.get()) {
    // A popup hears of the click outside it that closes it; the second
    // press of a double click closes it too.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      auto* press = static_cast<QMouseEvent*>(event);
      if (!window_->rect().contains(press->position().toPoint())) outsideClick_ = press->globalPosition().toPoint();
    }
    if (event->type() == QEvent::Hide) {
      emit closed();
      // Told once the window is gone: it may be opened again at once.
      if (auto click = std::exchange(outsideClick_, std::nullopt))
        QMetaObject::invokeMethod(
            this, [this, at = *click] { emit dismissedByClick(at); }, Qt::QueuedConnection);
    }
    // The layout follows the content's size hint; the place follows the size.
    else if (event->type() == QEvent::Resize && window_->isVisible())
      place();
    else if (closesOnDeactivate_ && event->type() == QEvent::WindowDeactivate) window_->close();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace ovel
