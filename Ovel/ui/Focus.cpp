#include "ui/Focus.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextEdit>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace ovel {
namespace {

// A widget in reading order and the widget its focus goes to.
struct Entry {
  QWidget* widget;
  QWidget* target;
};

QWidget* focusTarget(QWidget* widget) {
  while (QWidget* proxy = widget->focusProxy()) widget = proxy;
  return widget;
}

void widgetsOfLayout(const QLayout* layout, const QWidget* parent, std::vector<QWidget*>& out) {
  for (int index = 0; index < layout->count(); ++index) {
    QLayoutItem* item = layout->itemAt(index);
    if (QWidget* widget = item->widget(); widget && widget->parentWidget() == parent) out.push_back(widget);
    else if (QLayout* inner = item->layout()) widgetsOfLayout(inner, parent, out);
  }
}

// The children of `parent` in reading order: as its layout places them,
// then those no layout places (a scroll area's page, a tab widget's parts)
// by where they stand.
std::vector<QWidget*> childrenInOrder(const QWidget* parent) {
  std::vector<QWidget*> ordered;
  if (const QLayout* layout = parent->layout()) widgetsOfLayout(layout, parent, ordered);
  std::vector<QWidget*> unplaced;
  for (QObject* object : parent->children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (!child || child->isWindow()) continue;
    if (std::find(ordered.begin(), ordered.end(), child) == ordered.end()) unplaced.push_back(child);
  }
  std::stable_sort(unplaced.begin(), unplaced.end(), [](const QWidget* a, const QWidget* b) {
    QPoint p = a->geometry().topLeft(), q = b->geometry().topLeft();
    return p.y() != q.y() ? p.y() < q.y() : p.x() < q.x();
  });
  ordered.insert(ordered.end(), unplaced.begin(), unplaced.end());
  return ordered;
}

void collect(QWidget* widget, std::vector<Entry>& out) {
  QWidget* target = focusTarget(widget);
  // A part that hands its focus up (a spin box's line edit, a scroll area's
  // viewport) is no stop of its own, though what it holds may be.
  if (target == widget || !target->isAncestorOf(widget)) out.push_back({widget, target});
  for (QWidget* child : childrenInOrder(widget))
    if (child != target || target == widget) collect(child, out);
}

std::vector<Entry> entriesUnder(QWidget* root) {
  std::vector<Entry> entries;
  for (QWidget* child : childrenInOrder(root)) collect(child, entries);
  return entries;
}

bool isStop(const Entry& entry, const QWidget* root) {
  const QWidget* target = entry.target;
  return (target->focusPolicy() & Qt::TabFocus) && target->isEnabled() && entry.widget->isVisibleTo(root) &&
         target->isVisibleTo(root);
}

// The entry of the focused widget: the one it is the target of, else the
// nearest one around it.
std::optional<std::size_t> entryOf(const std::vector<Entry>& entries, const QWidget* focused) {
  for (const QWidget* level = focused; level; level = level->parentWidget())
    for (std::size_t index = 0; index < entries.size(); ++index)
      if (entries[index].target == level || entries[index].widget == level) return index;
  return std::nullopt;
}

void scrollIntoView(QWidget* widget) {
  for (QWidget* level = widget->parentWidget(); level; level = level->parentWidget())
    if (auto* area = qobject_cast<QScrollArea*>(level)) area->ensureWidgetVisible(widget, 0, 8);
}

QAbstractScrollArea* enclosingScrollArea(QWidget* widget) {
  for (QWidget* level = widget->parentWidget(); level; level = level->parentWidget())
    if (auto* area = qobject_cast<QAbstractScrollArea*>(level)) return area;
  return nullptr;
}

class WheelGuard final : public QObject {
 public:
  explicit WheelGuard(QWidget* control) : QObject(control) { control->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Wheel) return false;
    auto* control = static_cast<QWidget*>(watched);
    if (control->hasFocus()) return false;
    // Handed to the page's scroll area, as if the control were not there.
    if (QAbstractScrollArea* area = enclosingScrollArea(control)) QCoreApplication::sendEvent(area->viewport(), event);
    else event->ignore();
    return true;
  }
};

// Whether `widget` shows whole in `area`'s viewport.
bool wholeInView(const QScrollArea* area, const QWidget* widget) {
  QRect shown(widget->mapTo(area->viewport(), QPoint()), widget->size());
  return widget->isVisible() && area->viewport()->rect().contains(shown);
}

// Notes whether the focused control on the page shows whole, as the focus
// and the scrolling change; a control that takes the focus from one that
// showed (a row rebuilt under it) counts as shown. Once the window has laid
// out a change (its repaint is asked for after every layout request), one
// that showed and no longer does is scrolled back into view.
class FocusInView final : public QObject {
 public:
  explicit FocusInView(QScrollArea* area) : QObject(area), area_(area) {
    connect(qApp, &QApplication::focusChanged, this, &FocusInView::focusChanged);
    connect(area->verticalScrollBar(), &QScrollBar::valueChanged, this, &FocusInView::note);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::UpdateRequest && watched == window_) bringBack();
    return false;
  }

 private:
  QWidget* focusOnPage() const {
    QWidget* focused = QApplication::focusWidget();
    QWidget* page = area_->widget();
    return focused && page && page->isAncestorOf(focused) ? focused : nullptr;
  }

  void focusChanged() {
    QWidget* focused = focusOnPage();
    if (!focused) return;
    // The window is the one the page lies in once it shows.
    if (QWidget* window = area_->window(); window != window_) {
      if (window_) window_->removeEventFilter(this);
      window_ = window;
      window_->installEventFilter(this);
    }
    if (focused->isVisible() && !shown_) note();
  }

  void bringBack() {
    QWidget* focused = focusOnPage();
    // A control not shown yet is laid out later.
    if (!focused || !focused->isVisible()) return;
    if (shown_ && !wholeInView(area_, focused)) area_->ensureWidgetVisible(focused, 0, 8);
    note();
  }

  void note() {
    QWidget* focused = focusOnPage();
    shown_ = focused && wholeInView(area_, focused);
  }

  QScrollArea* area_;
  QPointer<QWidget> window_;
  // Whether the focused control showed whole at the last look.
  bool shown_ = false;
};

}  // namespace

std::vector<QWidget*> tabStops(QWidget* root) {
  std::vector<QWidget*> stops;
  for (const Entry& entry : entriesUnder(root))
    if (isStop(entry, root)) stops.push_back(entry.widget);
  return stops;
}

bool isTextField(const QWidget* widget) {
  if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
      qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget))
    return true;
  auto* combo = qobject_cast<const QComboBox*>(widget);
  return combo && combo->isEditable();
}

bool moveFocusInReadingOrder(QWidget* root, bool forward) {
  std::vector<Entry> entries = entriesUnder(root);
  if (entries.empty()) return false;
  QWidget* focused = QApplication::focusWidget();
  if (focused && !root->isAncestorOf(focused)) focused = nullptr;
  // The focused control is going away: never into a field from there.
  bool leaving = focused && (!focused->isEnabled() || !focused->isVisibleTo(root->window()));
  auto from = focused ? entryOf(entries, focused) : std::nullopt;
  std::size_t count = entries.size();
  for (std::size_t step = 0; step < count; ++step) {
    // After the focused entry, wrapping around; without one, from either end.
    std::size_t offset = from ? step + 1 : step;
    std::size_t origin = from ? *from : (forward ? 0 : count - 1);
    std::size_t index = forward ? (origin + offset) % count : (origin + count - offset % count) % count;
    const Entry& entry = entries[index];
    if (!isStop(entry, root) || (leaving && isTextField(entry.target))) continue;
    entry.widget->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    scrollIntoView(entry.target);
    return true;
  }
  return false;
}

void focusNoControl(QWidget* root) {
  // Held by the root, the focus is not handed to the window's first
  // control when the window becomes active.
  root->setFocus(Qt::OtherFocusReason);
}

void pressOnEnter(QPushButton* button) { button->setAutoDefault(true); }

bool scrollByPageKey(QAbstractScrollArea* area, const QKeyEvent* event) {
  if (!area || (event->modifiers() & ~(Qt::ControlModifier | Qt::KeypadModifier))) return false;
  QScrollBar* bar = area->verticalScrollBar();
  switch (event->key()) {
    case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); return true;
    case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); return true;
    case Qt::Key_Home: bar->triggerAction(QAbstractSlider::SliderToMinimum); return true;
    case Qt::Key_End: bar->triggerAction(QAbstractSlider::SliderToMaximum); return true;
    default: return false;
  }
}

void takeWheelOnlyWithFocus(QWidget* control) {
  if ((control->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus) control->setFocusPolicy(Qt::StrongFocus);
  new WheelGuard(control);
}

void keepFocusInView(QScrollArea* area) { new FocusInView(area); }

}  // namespace ovel
