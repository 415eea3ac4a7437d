// A label with a title and an icon: the symbol before the text, centred on
// the text's first line, each in a colour of its own.
#pragma once

#include <QWidget>

#include "ui/Symbol.h"
#include "ui/ThemeColor.h"

namespace ovel {

class SymbolView;
class TextView;

class IconLabel final : public QWidget {
 public:
  // The symbol is as tall as the font's pixel size; the text wraps without
  // limit until setMaxLines or setSingleLine say otherwise.
  IconLabel(Symbol symbol, const QString& text, const QFont& font, ThemeColor textColor, ThemeColor symbolColor,
            QWidget* parent = nullptr);

  void setSymbol(Symbol symbol);
  void setText(const QString& text);
  void setColors(ThemeColor textColor, ThemeColor symbolColor);
  void setMaxLines(int lines);
  void setSingleLine();

  SymbolView* symbolView() const { return symbol_; }
  TextView* textView() const { return text_; }

 private:
  SymbolView* symbol_;
  TextView* text_;
};

}  // namespace ovel
