#include "ui/SectionLabel.h"

#include <QVBoxLayout>

#include "ui/TextView.h"
#include "ui/Theme.h"
#include "ui/ThemeColor.h"

namespace ovel {

SectionLabel::SectionLabel(const QString& text, QWidget* parent)
    : QWidget(parent),
      text_(new TextView(shownText(text), Theme::font(TextStyle::caption2, QFont::DemiBold),
                         ThemeColor::of(ColorRole::tertiary))) {
  text_->setSingleLine();
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(text_);
}

QString SectionLabel::shownText(const QString& text) { return text.toUpper(); }

}  // namespace ovel
