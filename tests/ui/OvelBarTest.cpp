#include "ui/OvelBar.h"

#include <gtest/gtest.h>

#include <QVBoxLayout>

#include "ui/StatusPill.h"

namespace ovel {
namespace {

using Rect = std::optional<QRectF>;

TEST(OvelBarTest, GeometryAtTheEdges) {
  constexpr double W = 200, h = 10, L = 14;
  struct Row {
    const char* name;
    double used;
    std::optional<double> projected;
    std::optional<double> even;
    Rect fill;
    Rect projection;
    Rect tick;
    std::optional<QPointF> caption;
  } rows[] = {
      {"nothing used", 0, 30, std::nullopt, {}, QRectF(0, 17, 60, 10), {}, {}},
      {"a sliver is a circle",
       0.5,
       std::nullopt,
       50,
       QRectF(0, 17, 10, 10),
       {},
       QRectF(98, 14, 4, 16),
       QPointF(100, 7)},
      {"over the top", 150, 200, -5, QRectF(0, 17, 200, 10), {}, QRectF(-2, 14, 4, 16), QPointF(35, 7)},
      {"projection below use", 60, 40, std::nullopt, QRectF(0, 17, 120, 10), {}, {}, {}},
      {"tick at the end", 30, 80, 100, QRectF(0, 17, 60, 10), QRectF(0, 17, 160, 10), QRectF(198, 14, 4, 16),
       QPointF(165, 7)},
      {"no projection", 30, std::nullopt, std::nullopt, QRectF(0, 17, 60, 10), {}, {}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto g = OvelBarGeometry::of(W, h, true, L, row.used, row.projected, row.even);
    EXPECT_EQ(g.viewHeight, h + 6 + L);
    EXPECT_EQ(g.track, QRectF(0, 17, W, h));
    EXPECT_EQ(g.fill, row.fill);
    EXPECT_EQ(g.projection, row.projection);
    EXPECT_EQ(g.tick, row.tick);
    EXPECT_EQ(g.captionCenter, row.caption);
  }
}

TEST(OvelBarTest, CaptionOnANarrowBarAndWithoutLabel) {
  auto narrow = OvelBarGeometry::of(60, 10, true, 14, 20, std::nullopt, 10);
  EXPECT_EQ(narrow.captionCenter->x(), 25) << "centred at W - 35 below 70 pt";
  auto row = OvelBarGeometry::of(200, 6, false, 14, 20, std::nullopt, 50);
  EXPECT_EQ(row.viewHeight, 12);
  EXPECT_EQ(row.top, 3);
  EXPECT_FALSE(row.captionCenter);
  EXPECT_EQ(row.tick, QRectF(98, 0, 4, 12));
  auto noEven = OvelBarGeometry::of(200, 10, true, 14, 20, std::nullopt, std::nullopt);
  EXPECT_EQ(noEven.viewHeight, 30) << "the height stays without an even line";
}

TEST(OvelBarTest, ATickAtEitherEndSticksOutUncut) {
  // In a column inset by 14, the bar spans the column and its widget reaches
  // 2 pt further on either side, so a tick centred on an end is drawn whole.
  QWidget host;
  auto* column = new QVBoxLayout(&host);
  column->setContentsMargins(14, 14, 14, 14);
  auto* bar = new OvelBar(8, true, 14);
  OvelBar::addTo(column, bar);
  host.resize(200, host.sizeHint().height());
  column->activate();
  EXPECT_EQ(QRect(bar->pos(), bar->size()), QRect(12, 14, 176, bar->height()));
  for (double even : {0.0, 100.0}) {
    SCOPED_TRACE(even);
    WindowAssessment a;
    a.window.usedPercent = 30;
    a.evenOvelPercent = even;
    bar->setAssessment(a, ThemeColor::brand());
    ASSERT_TRUE(bar->geometry().tick);
    QRectF tick = bar->geometry().tick->translated(bar->barArea().topLeft());
    EXPECT_TRUE(QRectF(bar->rect()).contains(tick)) << "drawn inside the widget, so never clipped";
    QRectF inHost = tick.translated(bar->pos());
    if (even == 0) EXPECT_EQ(inHost.left(), 14 - 2);
    else EXPECT_EQ(inHost.right(), 200 - 14 + 2);
  }
}

TEST(OvelBarTest, HelpTexts) {
  OvelBar bar(10, true, 14);
  bar.resize(200, bar.height());
  WindowAssessment a;
  a.window.usedPercent = 30;
  a.projectedAtReset = 80.4;
  a.evenOvelPercent = 45;
  bar.setAssessment(a, ThemeColor::brand());
  EXPECT_EQ(bar.height(), 30);
  EXPECT_EQ(bar.projectionHelp(), QStringLiteral("At this ovel: 80% at reset"));
  EXPECT_EQ(bar.tickHelp(), QStringLiteral("Even ovel: 45%"));
  a.projectedAtReset = 20;
  a.evenOvelPercent.reset();
  bar.setAssessment(a, ThemeColor::brand());
  EXPECT_FALSE(bar.projectionHelp()) << "no projection capsule, no help";
  EXPECT_FALSE(bar.tickHelp());
}

TEST(StatusPillTest, LookPerStatus) {
  struct Row {
    OvelStatus status;
    const char* word;
    double opacity;
    ThemeColor wordColor;
  } rows[] = {
      {OvelStatus::comfortable, "Comfortable", 0.1, ThemeColor::of(ColorRole::secondary)},
      {OvelStatus::watch, "Watch", 0.1, ThemeColor::of(ColorRole::secondary)},
      {OvelStatus::atRisk, "At risk", 0.16, ThemeColor::status(OvelStatus::atRisk)},
      {OvelStatus::limited, "Limited", 0.16, ThemeColor::status(OvelStatus::limited)},
  };
  for (const auto& row : rows) {
    auto look = StatusPill::look(row.status);
    EXPECT_EQ(look.word, QString::fromUtf8(row.word));
    EXPECT_EQ(look.backgroundOpacity, row.opacity) << row.word;
    EXPECT_TRUE(look.wordColor == row.wordColor) << row.word;
  }
}

}  // namespace
}  // namespace ovel
