#include "ui/EmptyState.h"

#include <QVBoxLayout>

#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {

EmptyState::EmptyState(Symbol symbol, const QString& title, const QString& description, QWidget* parent)
    : QWidget(parent),
      title_(new TextView(title, Theme::font(TextStyle::title2, QFont::Bold))),
      description_(new TextView(description, Theme::font(TextStyle::body), ThemeColor::of(ColorRole::secondary))) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(24, 24, 24, 24);
  column->setSpacing(8);
  column->addWidget(new SymbolView(symbol, kSymbolSide, ThemeColor::of(ColorRole::secondary)), 0, Qt::AlignHCenter);
  column->addSpacing(4);
  title_->setAlignment(Qt::AlignHCenter);
  description_->setAlignment(Qt::AlignHCenter);
  column->addWidget(title_);
  column->addWidget(description_);
}

void EmptyState::setDescription(const QString& description) { description_->setText(description); }

}  // namespace ovel
