// A symbol as a widget: a still image in a theme colour, and the borderless
// icon button that carries its name and shortcut in its help text.
#pragma once

#include <QAbstractButton>
#include <QWidget>

#include <optional>

#include "ui/Symbol.h"
#include "ui/ThemeColor.h"

namespace ovel {

class SymbolView final : public QWidget {
 public:
  SymbolView(Symbol symbol, int side, ThemeColor color, QWidget* parent = nullptr);

  void setSymbol(Symbol symbol);
  Symbol symbol() const { return symbol_; }
  void setColor(ThemeColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Symbol symbol_;
  ThemeColor color_;
};

// Drawn in the secondary colour (or the one given), with a faint plate
// under the pointer, the focus ring while it has the keyboard focus and a
// dimmed look while disabled. Space and Enter press it. With a text, the
// text follows the symbol, as a link-style button.
class SymbolButton final : public QAbstractButton {
 public:
  SymbolButton(Symbol symbol, const QString& help, int symbolSide = 16, QWidget* parent = nullptr);

  void setSymbol(Symbol symbol);
  void setColor(ThemeColor color);
  void setTextFont(const QFont& font);
  // Sets the frame the button takes; the symbol stays centred in it.
  void setFrameSize(QSize size);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  Symbol symbol_;
  int symbolSide_;
  ThemeColor color_ = ThemeColor::of(ColorRole::secondary);
  QFont textFont_;
  std::optional<QSize> frame_;
  bool hovered_ = false;
};

}  // namespace ovel
