#include "ui/ViewSupport.h"

#include <QLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace ovel {

QLabel* makeLabel(const QString& text, TextRole role, bool secondary) {
  auto* label = new QLabel(text);
  QFont font = label->font();
  switch (role) {
    case TextRole::title: font.setPointSizeF(font.pointSizeF() * 1.5); font.setWeight(QFont::DemiBold); break;
    case TextRole::headline: font.setPointSizeF(font.pointSizeF() * 1.15); font.setWeight(QFont::DemiBold); break;
    case TextRole::subheadline: font.setWeight(QFont::DemiBold); break;
    case TextRole::caption: font.setPointSizeF(font.pointSizeF() * 0.85); break;
    case TextRole::body: break;
  }
  label->setFont(font);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  if (secondary) label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

QLabel* makeLabel(const std::string& text, TextRole role, bool secondary) {
  return makeLabel(QString::fromStdString(text), role, secondary);
}

Appearance appearanceOf(const QWidget& widget) { return Theme::appearance(widget.palette()); }

void clearLayout(QLayout* layout) {
  while (QLayoutItem* item = layout->takeAt(0)) {
    if (QWidget* widget = item->widget()) delete widget;
    if (QLayout* child = item->layout()) clearLayout(child);
    delete item;
  }
}

void settleLayouts(QWidget& root) {
  auto depth = [&root](const QWidget* widget) {
    int levels = 0;
    for (; widget && widget != &root; widget = widget->parentWidget()) ++levels;
    return levels;
  };
  QList<QWidget*> widgets = root.findChildren<QWidget*>();
  std::stable_sort(widgets.begin(), widgets.end(),
                   [&](const QWidget* a, const QWidget* b) { return depth(a) > depth(b); });
  widgets.append(&root);
  // Activating a layout tells its widget's parent layout that the hints
  // changed, so each level sees the one below it up to date.
  for (QWidget* widget : widgets)
    if (QLayout* layout = widget->layout()) layout->activate();
}

RedrawGate::RedrawGate(QObject* parent, std::function<void()> rebuild) : QObject(parent), rebuild_(std::move(rebuild)) {}

void RedrawGate::poke() {
  if (pending_) return;
  pending_ = true;
  QTimer::singleShot(0, this, [this] {
    pending_ = false;
    rebuild_();
  });
}

}  // namespace ovel
