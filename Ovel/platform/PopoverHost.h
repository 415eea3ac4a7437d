// The popover: a frameless window under the tray item that closes when the
// user clicks elsewhere, hosting the popover view.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>
#include <optional>

class QWidget;

namespace ovel {

class PopoverHost final : public QObject {
  Q_OBJECT

 public:
  explicit PopoverHost(QObject* parent = nullptr);
  ~PopoverHost() override;

  // Takes `content` over, replacing any earlier content. The window takes
  // the content's size hint, each time it is shown and whenever the hint
  // changes while it is open, but never more height than the screen it
  // opens on has free of panels: content that may be taller scrolls.
  void setContent(QWidget* content);

  bool isShown() const;
  // Places the window at `anchor` (global coordinates; an empty rectangle
  // means the cursor), shows it and gives it the keyboard. While it is
  // open, a change of size keeps it in its place at the anchor.
  void show(const QRect& anchor);
  void close();

  QWidget* window() const { return window_.get(); }

  // The top-left corner for a window of `size`: centred under the anchor,
  // or above it when the anchor lies in the lower half (a panel at the
  // bottom), or beside it, level with it, when the anchor lies in a panel
  // at the left or right edge; moved inside `available` as far as it fits.
  static QPoint placement(const QSize& size, const QRect& anchor, const QRect& available);
  // What of the screen's `available` area the window may take: below a tray
  // item in a top panel, above one in a bottom panel, the whole height
  // beside one in a left or right panel, so that it never covers the item's
  // panel, even where the window manager leaves the panel in the available
  // area. A point (the cursor, a click) keeps it all.
  static QRect usableArea(const QRect& anchor, const QRect& available);

 signals:
  // Whatever closed it: an outside click, close(), or losing the focus.
  void closed();
  // Soon after closed(), when a click outside closed it; the click goes no
  // further.
  void dismissedByClick(QPoint global);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool closesOnStaleDeactivation() const;
  QRect availableArea() const;
  void fitContent();
  void place();

  std::unique_ptr<QWidget> window_;
  QRect anchor_;
  bool closesOnDeactivate_ = false;
  std::optional<QPoint> outsideClick_;
  bool closing_ = false;
  QElapsedTimer shown_;
};

}  // namespace ovel
