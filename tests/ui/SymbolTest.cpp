#include "ui/Symbol.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
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

// The limited symbol drawn red on white at `side` pixels.
QImage limitedSymbol(int side) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  paintSymbol(painter, Symbol::handRaisedCircleFill, QRectF(0, 0, side, side), QColor(255, 59, 48));
  painter.end();
  return image;
}

// A pixel the hand shows through: nearly as light as the background.
bool isLight(QRgb pixel) { return qGreen(pixel) > 190; }

TEST(SymbolTest, TheRaisedHandReadsAtRowSizes) {
  // Rows and verdicts draw it at 10 to 12 px. The hand must stand out of the
  // disc as a light shape of its own, with fingers apart, not sink into a
  // blurred hole that reads as an "O".
  struct Row {
    int side;
    int minimumLight;  // light pixels inside the disc
    int fingerGaps;    // red gaps between light runs across the fingers
  };
  for (const Row& row : {Row{10, 13, 1}, Row{12, 20, 2}, Row{16, 36, 2}}) {
    QImage image = limitedSymbol(row.side);
    double radius = row.side * 10.0 / 24;
    int light = 0;
    int disc = 0;
    for (int y = 0; y < row.side; ++y)
      for (int x = 0; x < row.side; ++x) {
        if (std::hypot(x + 0.5 - row.side / 2.0, y + 0.5 - row.side / 2.0) > radius - 0.5) continue;
        ++disc;
        light += isLight(image.pixel(x, y));
      }
    EXPECT_GE(light, row.minimumLight) << row.side << " px";
    EXPECT_LT(light, disc / 2) << row.side << " px: the disc must still dominate";
    // The most light runs any row of the upper half shows.
    int runs = 0;
    for (int y = 0; y < row.side / 2; ++y) {
      int inRow = 0;
      for (int x = 0; x < row.side; ++x)
        inRow += isLight(image.pixel(x, y)) && (x == 0 || !isLight(image.pixel(x - 1, y)));
      runs = std::max(runs, inRow);
    }
    EXPECT_GE(runs - 1, row.fingerGaps) << row.side << " px";
  }
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
