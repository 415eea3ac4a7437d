#include "settings/MenuBarPreview.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include "model/Preferences.h"
#include "model/UsageModel.h"
#include "ui/MenuBarRow.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

constexpr int kPadX = 8;
constexpr int kPadY = 3;
constexpr double kRadius = 5;
constexpr double kDensity = 2;

}  // namespace

MenuBarPreview::MenuBarPreview(Preferences& preferences, const UsageModel& model, QWidget* parent)
    : QWidget(parent), preferences_(preferences), model_(model) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  render();
}

QImage MenuBarPreview::image(const QColor& text) const {
  auto parts = MenuBarRow::parts(preferences_.menuBarItems(), GlyphInputs::of(model_));
  return MenuBarRow::image(parts, preferences_.glyphStyle(), preferences_.colorWhenAtRisk(), text, kDensity);
}

void MenuBarPreview::render() { shown_ = image(Theme::role(ColorRole::primary, palette())); }

void MenuBarPreview::refresh() {
  render();
  updateGeometry();
  update();
}

void MenuBarPreview::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) {
    render();
    update();
  }
}

QSize MenuBarPreview::sizeHint() const {
  QSize logical = (QSizeF(shown_.size()) / shown_.devicePixelRatio()).toSize();
  return logical + QSize(2 * kPadX, 2 * kPadY);
}

void MenuBarPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath plate;
  plate.addRoundedRect(QRectF(rect()), kRadius, kRadius);
  painter.fillPath(plate, Theme::role(ColorRole::fillTertiary, palette()));
  QSizeF logical = QSizeF(shown_.size()) / shown_.devicePixelRatio();
  painter.drawImage(QRectF(QPointF(kPadX, (height() - logical.height()) / 2), logical), shown_);
}

}  // namespace ovel
