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
  // As tall as the first line, so the symbol stands centred on it however
  // many lines follow. Both keep to the top: given more height than it
  // needs, the label must not centre a one-line text below its symbol.
  symbol_->setFixedSize(side, static_cast<int>(std::ceil(QFontMetricsF(font).lineSpacing())));
  row->addWidget(symbol_, 0, Qt::AlignTop);
  row->addWidget(text_, 0, Qt::AlignTop);
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
