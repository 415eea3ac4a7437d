#include "ui/Symbol.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <set>
#include <string>

namespace ovel {
namespace {

// The share of the square's pixels that the symbol covers.
double coverage(Symbol symbol, int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  paintSymbol(painter, symbol, QRectF(0, 0, side, side), Qt::black);
  painter.end();
  int covered = 0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) covered += qAlpha(image.pixel(x, y)) > 64;
  return double(covered) / (side * side);
}

TEST(SymbolTest, EverySymbolDrawsSomethingButNotASolidSquare) {
  std::set<std::string> names;
  for (Symbol symbol : kAllSymbols) {
    std::string name(symbolName(symbol));
    EXPECT_TRUE(names.insert(name).second) << "two symbols named " << name;
    double share = coverage(symbol, 16);
    EXPECT_GT(share, 0.05) << name << " is (nearly) empty at 16 px";
    EXPECT_LT(share, 0.9) << name << " fills its whole square";
  }
}

TEST(SymbolTest, FilledCirclesCutTheirGlyphOut) {
  // A plain disc covers more than any of the status symbols, which cut a
  // check, an eye, a hand or an exclamation mark out of their shape.
  double disc = coverage(Symbol::circleFill, 48);
  for (OvelStatus status : {OvelStatus::comfortable, OvelStatus::watch, OvelStatus::atRisk, OvelStatus::limited})
    EXPECT_LT(coverage(statusSymbol(status), 48), disc * 0.8) << symbolName(statusSymbol(status));
}

TEST(SymbolTest, StatusSymbols) {
  EXPECT_EQ(symbolName(statusSymbol(OvelStatus::comfortable)), "checkmark.circle.fill");
  EXPECT_EQ(symbolName(statusSymbol(OvelStatus::watch)), "eye.circle.fill");
  EXPECT_EQ(symbolName(statusSymbol(OvelStatus::atRisk)), "exclamationmark.triangle.fill");
  EXPECT_EQ(symbolName(statusSymbol(OvelStatus::limited)), "hand.raised.circle.fill");
}

TEST(SymbolTest, IconIsSharpOnDenseScreens) {
  QIcon icon = symbolIcon(Symbol::gearshape, 16, Qt::black);
  QPixmap pixmap = icon.pixmap(QSize(16, 16), 2.0);
  EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), QSize(16, 16));
  EXPECT_EQ(pixmap.size(), QSize(32, 32));
}

}  // namespace
}  // namespace ovel
