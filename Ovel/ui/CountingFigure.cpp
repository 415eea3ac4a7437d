#include "ui/CountingFigure.h"

#include "model/Format.h"
#include "ui/Spring.h"
#include "ui/TextView.h"

namespace ovel {

CountingFigure::CountingFigure(TextView* view)
    : QObject(view), view_(view), spring_(new Spring(this, [this](const QVariant& value) {
        shown_ = value.toDouble();
        view_->setText(QString::fromStdString(Format::percent(shown_)));
      })) {}

void CountingFigure::setPercent(double percent) { spring_->setTarget(percent); }

}  // namespace ovel
