#include "settings/FormSection.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "ui/Divider.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

constexpr double kPlateRadius = 8;

class Plate final : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kPlateRadius, kPlateRadius);
    painter.fillPath(shape, Theme::role(ColorRole::fillQuinary, palette()));
    painter.setPen(QPen(Theme::role(ColorRole::separator, palette()), 1));
    painter.drawPath(shape);
  }
};

}  // namespace

FormSection::FormSection(const QString& header, QWidget* parent)
    : QWidget(parent),
      plate_(new Plate),
      rows_(new QVBoxLayout(plate_)),
      footer_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(6);
  if (!header.isEmpty()) {
    auto* title = new TextView(header, Theme::font(TextStyle::body, QFont::DemiBold));
    title->setContentsMargins(4, 0, 0, 0);
    column->addWidget(title);
  }
  rows_->setContentsMargins(10, 6, 10, 6);
  rows_->setSpacing(6);
  column->addWidget(plate_);
  footer_->setContentsMargins(4, 0, 4, 0);
  footer_->hide();
  column->addWidget(footer_);
}

void FormSection::addRow(QWidget* row) {
  if (rows_->count() > 0) {
    auto* hairline = new Divider;
    hairline->setVisible(!row->isHidden());
    rows_->addWidget(hairline);
    row->installEventFilter(this);
  }
  rows_->addWidget(row);
}

bool FormSection::eventFilter(QObject* watched, QEvent* event) {
  // The hairline above a row goes and comes with it.
  if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
    if (int index = rows_->indexOf(static_cast<QWidget*>(watched)); index > 0)
      rows_->itemAt(index - 1)->widget()->setVisible(event->type() == QEvent::ShowToParent);
  return QWidget::eventFilter(watched, event);
}

void FormSection::addLabeledRow(const QString& label, QWidget* control) {
  auto* row = new QWidget;
  auto* line = new QHBoxLayout(row);
  line->setContentsMargins(0, 0, 0, 0);
  auto* name = new TextView(label, Theme::font(TextStyle::body));
  name->setSingleLine();
  line->addWidget(name, 0, Qt::AlignVCenter);
  line->addStretch();
  line->addWidget(control, 0, Qt::AlignVCenter);
  addRow(row);
}

void FormSection::setFooter(const QString& text) {
  footer_->setText(text);
  footer_->setVisible(!text.isEmpty());
}

}  // namespace ovel
