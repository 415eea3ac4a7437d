#include "ui/IconLabel.h"

#include <QFontMetricsF>
#include <QHBoxLayout>

#include <cmath>

#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {

IconLabel::IconLabel(Symbol symbol, const QString& text, const QFont& font, ThemeColor textColor,
                     ThemeColor symbolColor, QWidget* parent)
    : QWidget(parent) {
  int side = font.pixelSize() > 0 ? font.pixelSize() : static_cast<int>(std::lround(QFontMetricsF(font).height()));
  symbol_ = new SymbolView(symbol, side, std::move(symbolColor));
  text_ = new TextView(text, font, std::move(textColor));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(std::max(4, side / 2));
  // Centred on the first line, whatever the number of lines below it.
  int lineHeight = static_cast<int>(std::ceil(QFontMetricsF(font).lineSpacing()));
  symbol_->setContentsMargins(0, 0, 0, 0);
  auto* symbolColumn = new QVBoxLayout;
  symbolColumn->setContentsMargins(0, std::max(0, (lineHeight - side) / 2), 0, 0);
  symbolColumn->addWidget(symbol_);
  symbolColumn->addStretch();
  row->addLayout(symbolColumn);
  row->addWidget(text_, 1);
}

void IconLabel::setSymbol(Symbol symbol) { symbol_->setSymbol(symbol); }

void IconLabel::setText(const QString& text) { text_->setText(text); }

void IconLabel::setColors(ThemeColor textColor, ThemeColor symbolColor) {
  text_->setColor(std::move(textColor));
  symbol_->setColor(std::move(symbolColor));
}

void IconLabel::setMaxLines(int lines) { text_->setMaxLines(lines); }

void IconLabel::setSingleLine() { text_->setSingleLine(); }

}  // namespace ovel
