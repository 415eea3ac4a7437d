#include "tray/MenuBarGlyph.h"

#include <gtest/gtest.h>

#include "ui/Theme.h"

#include <QPainter>

#include <cmath>
#include <limits>

namespace ovel {
namespace {

using Case = DayRing::Center::Case;

int strokeCount(const std::vector<DayRing::Mark>& marks, double alpha) {
  return static_cast<int>(std::count_if(marks.begin(), marks.end(), [alpha](const DayRing::Mark& m) {
    return std::holds_alternative<DayRing::Stroke>(m.style) && m.alpha == alpha;
  }));
}

TEST(DayRingTest, MarksPerInput) {
  struct Row {
    const char* name;
    std::optional<double> used;
    bool segmented;
    DayRing::Center center;
    std::size_t marks;
    int used_pieces;
  } rows[] = {
      {"bare continuous", std::nullopt, false, DayRing::Center::dash(), 2, 0},
      {"bare segmented", std::nullopt, true, DayRing::Center::dash(), 8, 0},
      {"zero", 0.0, false, DayRing::Center::none(), 1, 0},
      {"negative", -5.0, true, DayRing::Center::none(), 7, 0},
      {"half", 50.0, false, DayRing::Center::evenOvel(40), 3, 1},
      {"segmented 14.3", 14.3, true, DayRing::Center::none(), 8, 1},
      {"segmented full", 100.0, true, DayRing::Center::stop(), 15, 7},
      {"segmented over", 150.0, true, DayRing::Center::none(), 14, 7},
  };
  for (const auto& row : rows) {
    auto marks = DayRing::marks(18, row.used, row.segmented, row.center);
    EXPECT_EQ(marks.size(), row.marks) << row.name;
    EXPECT_EQ(strokeCount(marks, 1.0) - (row.center.centerCase == Case::evenOvel ? 1 : 0), row.used_pieces) << row.name;
  }
  auto dash = DayRing::marks(18, std::nullopt, false, DayRing::Center::dash());
  EXPECT_EQ(dash.back().alpha, 0.45);
  EXPECT_EQ(dash.front().alpha, 0.3);
}

TEST(DayRingTest, ArcsCloseOnlyFromTheThreshold) {
  auto endOf = [](double used) {
    return DayRing::marks(18, used, false, DayRing::Center::none()).back().path.currentPosition();
  };
  // The ring starts at twelve o'clock: (9, 9 - 6.4).
  QPointF top(9, 9 - 6.4);
  EXPECT_NEAR(endOf(99.9).x(), top.x(), 1e-6);
  EXPECT_NEAR(endOf(99.9).y(), top.y(), 1e-6);
  EXPECT_LT(endOf(99.8).x(), top.x() - 0.01) << "99.8 stops short of twelve o'clock";
  QPointF quarter = endOf(25);
  EXPECT_NEAR(quarter.x(), 9 + 6.4, 1e-6) << "a quarter ends at three o'clock, clockwise";
  EXPECT_NEAR(quarter.y(), 9, 1e-6);
}

TEST(DayRingTest, CenterRule) {
  OvelSteer stopped;
  stopped.factor = 0;
  OvelSteer easy;
  easy.factor = 2;
  EXPECT_EQ(DayRing::center(GlyphStyle::usage, easy, std::nullopt), DayRing::Center::none());
  EXPECT_EQ(DayRing::center(GlyphStyle::usage, easy, 40.0), DayRing::Center::evenOvel(40));
  EXPECT_EQ(DayRing::center(GlyphStyle::steer, std::nullopt, 40.0), DayRing::Center::dash());
  EXPECT_EQ(DayRing::center(GlyphStyle::steer, stopped, 40.0), DayRing::Center::stop());
  EXPECT_EQ(DayRing::center(GlyphStyle::usageAndSteer, stopped, 40.0), DayRing::Center::stop());
  EXPECT_EQ(DayRing::center(GlyphStyle::usageAndSteer, easy, 40.0), DayRing::Center::arrow(easy.angleDegrees()));
}

TEST(DayRingTest, ArrowTiltsUpForPositiveAngles) {
  // Element 1 is the shaft's end, the arrow's tip.
  QPointF flat = DayRing::marks(18, std::nullopt, false, DayRing::Center::arrow(0)).back().path.elementAt(1);
  EXPECT_NEAR(flat.x(), 9 + 3.4, 1e-6);
  EXPECT_NEAR(flat.y(), 9, 1e-6);
  QPointF up = DayRing::marks(18, std::nullopt, false, DayRing::Center::arrow(60)).back().path.elementAt(1);
  EXPECT_LT(up.y(), 9 - 2.9);
  EXPECT_GT(up.x(), 9);
}

TEST(DayRingTest, MarksMultiplyTheTintsOwnOpacity) {
  // The secondary colour is the text colour at 0.55: the track (0.3) and the
  // dash (0.45) of a ring in that tint are fainter still, never darker.
  struct Row {
    const char* name;
    QColor tint;
    double alpha;
    QColor expected;
  };
  QColor lightSecondary = Theme::role(ColorRole::secondary, Theme::palette(Appearance::light));
  QColor darkSecondary = Theme::role(ColorRole::secondary, Theme::palette(Appearance::dark));
  QColor brand = Theme::brand(Appearance::light);
  const Row rows[] = {
      {"light secondary, whole mark", lightSecondary, 1.0, QColor(28, 28, 30, 140)},
      {"light secondary, dash", lightSecondary, 0.45, QColor(28, 28, 30, 63)},
      {"light secondary, track", lightSecondary, 0.3, QColor(28, 28, 30, 42)},
      {"dark secondary, whole mark", darkSecondary, 1.0, QColor(235, 235, 240, 140)},
      {"dark secondary, dash", darkSecondary, 0.45, QColor(235, 235, 240, 63)},
      {"dark secondary, track", darkSecondary, 0.3, QColor(235, 235, 240, 42)},
      {"opaque brand, track", brand, 0.3, QColor(brand.red(), brand.green(), brand.blue(), 77)},
  };
  for (const Row& row : rows) {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QPainterPath square;
    square.addRect(0, 0, 8, 8);
    DayRing::draw(painter, {DayRing::Mark{square, DayRing::Fill{}, row.alpha}}, row.tint);
    painter.end();
    QColor drawn = image.pixelColor(4, 4);
    EXPECT_NEAR(drawn.alpha(), row.expected.alpha(), 1) << row.name;
    // Faint pixels lose a little colour precision to premultiplying.
    EXPECT_NEAR(drawn.red(), row.expected.red(), 4) << row.name;
    EXPECT_NEAR(drawn.green(), row.expected.green(), 4) << row.name;
    EXPECT_NEAR(drawn.blue(), row.expected.blue(), 4) << row.name;
  }
}

WindowAssessment assessed(WindowKind kind, OvelStatus status, double used) {
  WindowAssessment a;
  a.window.kind = std::move(kind);
  a.window.usedPercent = used;
  a.status = status;
  return a;
}

TEST(MenuBarGlyphTest, PartsAndFallback) {
  using enum MenuBarItem;
  GlyphInputs none;
  auto bare = MenuBarRow::parts({sessionPercent, weekReset, ovelFactor, sessionsLeft}, none);
  ASSERT_EQ(bare.size(), 1u);
  const auto& ring = std::get<MenuBarPart::Ring>(bare[0].content);
  EXPECT_TRUE(ring.kind.isSession());
  EXPECT_FALSE(ring.assessment);
  EXPECT_EQ(MenuBarRow::parts({}, none).size(), 1u);

  GlyphInputs inputs;
  inputs.now = dateFromSeconds1970(1000);
  inputs.session = assessed(WindowKind::session(), OvelStatus::comfortable, 42);
  inputs.session->window.resetsAt = dateFromSeconds1970(900);
  inputs.week = assessed(WindowKind::week(), OvelStatus::atRisk, 80);
  inputs.sessionWeekRatio = SessionWeekRatio{0, 3, 60};
  inputs.hasAssessments = true;
  auto parts = MenuBarRow::parts({sessionRing, weekRing, sessionPercent, sessionReset, sessionsLeft}, inputs);
  ASSERT_EQ(parts.size(), 5u);
  EXPECT_EQ(std::get<MenuBarPart::Text>(parts[2].content).text, "42%");
  EXPECT_EQ(std::get<MenuBarPart::Text>(parts[3].content).text, "<1m") << "a reset already past";
  EXPECT_EQ(std::get<MenuBarPart::Text>(parts[4].content).text, "\u221E\u00D75h");

  double width = 0;
  auto edges = MenuBarRow::layout(parts, width);
  EXPECT_EQ(edges[1], 16 + 6) << "ring to ring";
  EXPECT_EQ(edges[2], 16 + 6 + 16 + 3) << "ring to text";
  EXPECT_GT(edges[3], edges[2] + 6) << "text to text";

  EXPECT_FALSE(MenuBarRow::isTemplate(parts, true)) << "the week is at risk";
  EXPECT_TRUE(MenuBarRow::isTemplate(parts, false));
  QImage image = MenuBarRow::image(parts, GlyphStyle::usageAndSteer, true, Qt::black, 2);
  EXPECT_EQ(image.width(), static_cast<int>(std::ceil(width * 2)));
  EXPECT_GE(image.height(), 32);
}

TEST(MenuBarGlyphTest, TightestRingFollowsTheSteer) {
  GlyphInputs inputs;
  inputs.steer = OvelSteer{WindowKind::week(), 0.5, RateBasis::recent};
  inputs.steerAssessment = assessed(WindowKind::week(), OvelStatus::atRisk, 80);
  inputs.hasAssessments = true;
  auto parts = MenuBarRow::parts({MenuBarItem::tightestRing}, inputs);
  const auto& ring = std::get<MenuBarPart::Ring>(parts[0].content);
  EXPECT_TRUE(ring.kind.isWeek());
  EXPECT_TRUE(ring.assessment);
  inputs.hasAssessments = false;
  EXPECT_FALSE(std::get<MenuBarPart::Ring>(MenuBarRow::parts({}, inputs)[0].content).assessment);
}

// The rings and texts of a tray item, as "ring kind: text, text".
std::vector<std::string> describe(const std::vector<TrayItem>& items) {
  std::vector<std::string> result;
  for (const auto& item : items) {
    std::string line = item.ring.kind.key() + ":";
    for (const auto& text : item.texts) line += " " + text.text;
    result.push_back(line);
  }
  return result;
}

TEST(MenuBarGlyphTest, TrayItemsPerLayout) {
  using enum MenuBarItem;
  GlyphInputs inputs;
  inputs.now = dateFromSeconds1970(0);
  inputs.session = assessed(WindowKind::session(), OvelStatus::comfortable, 42);
  inputs.session->window.resetsAt = dateFromSeconds1970(2 * 3600 + 5 * 60);
  inputs.week = assessed(WindowKind::week(), OvelStatus::watch, 61);
  inputs.steer = OvelSteer{WindowKind::week(), 0.5, RateBasis::recent};
  inputs.steerAssessment = inputs.week;
  inputs.hasAssessments = true;
  struct Row {
    const char* name;
    std::vector<MenuBarItem> items;
    std::vector<std::string> expected;
  } rows[] = {
      {"the default: a ring and its percentage", {tightestRing, sessionPercent}, {"week: 42%"}},
      {"only texts: they go with the tightest ring", {sessionPercent, weekPercent}, {"week: 42% 61%"}},
      {"texts before the first ring go with it",
       {sessionReset, sessionRing, sessionPercent, weekRing, weekPercent},
       {"session: 2h 5m 42%", "week: 61%"}},
      {"every item on",
       {tightestRing, sessionRing, sessionPercent, sessionReset, weekRing, weekPercent, weekReset, ovelFactor,
        sessionsLeft},
       {"week:", "session: 42% 2h 5m", "week: 61% \u21930.5\u00D7"}},
      {"all off: the tightest ring alone", {}, {"week:"}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(describe(MenuBarGlyph::trayItems(row.items, inputs)), row.expected) << row.name;

  auto items = MenuBarGlyph::trayItems({sessionRing, sessionPercent, sessionReset}, inputs);
  EXPECT_EQ(items[0].label(), "42% \u00B7 2h 5m");
  EXPECT_EQ(items[0].labelGuide(), "100% \u00B7 4h 59m") << "the widest each text gets";
}

TEST(MenuBarGlyphTest, EachTooltipNamesTheWindowsOfItsFigures) {
  using enum MenuBarItem;
  auto inputsBoundBy = [](const WindowKind& binding) {
    GlyphInputs inputs;
    inputs.now = dateFromSeconds1970(0);
    inputs.session = assessed(WindowKind::session(), OvelStatus::comfortable, 2);
    inputs.session->window.resetsAt = dateFromSeconds1970(2 * 3600 + 5 * 60);
    inputs.week = assessed(WindowKind::week(), OvelStatus::watch, 40);
    inputs.sessionWeekRatio = SessionWeekRatio{0.2, 3, 60};
    inputs.steer = OvelSteer{binding, 0.5, RateBasis::recent};
    inputs.steerAssessment = binding.isSession() ? inputs.session : inputs.week;
    inputs.hasAssessments = true;
    return inputs;
  };
  const WindowKind session = WindowKind::session(), week = WindowKind::week();
  struct Row {
    const char* name;
    std::vector<MenuBarItem> items;
    WindowKind binding;
    std::vector<std::string> toolTips;
  } rows[] = {
      {"the default layout bound by the week: the ring is the week's, the text the session's",
       {tightestRing, sessionPercent},
       week,
       {"Week: 40%\nSession: 2%"}},
      {"the default layout bound by the session", {tightestRing, sessionPercent}, session, {"Session: 2%"}},
      {"a ring alone names its own figure", {weekRing}, session, {"Week: 40%"}},
      {"each ring with its own texts",
       {sessionRing, sessionPercent, sessionReset, weekRing, weekPercent},
       week,
       {"Session: 2% \u00B7 2h 5m", "Week: 40%"}},
      {"texts of both windows after one ring",
       {sessionRing, weekPercent, sessionsLeft, sessionReset},
       session,
       {"Session: 2h 5m\nWeek: 40% \u00B7 3.0\u00D75h"}},
      {"the factor belongs to the binding window",
       {sessionRing, ovelFactor},
       week,
       {"Session: 2%\nWeek: \u21930.5\u00D7"}},
  };
  for (const auto& row : rows) {
    std::vector<std::string> toolTips;
    for (const TrayItem& item : MenuBarGlyph::trayItems(row.items, inputsBoundBy(row.binding)))
      toolTips.push_back(item.toolTipText());
    EXPECT_EQ(toolTips, row.toolTips) << row.name;
  }
  EXPECT_EQ(MenuBarGlyph::trayItems({tightestRing, sessionPercent}, GlyphInputs{}).front().toolTipText(), "")
      << "no readings, nothing to name";
}

TEST(MenuBarGlyphTest, DigitsKeepTheirWidth) {
  auto widthOf = [](const char* text) {
    double width = 0;
    MenuBarRow::layout({MenuBarPart{MenuBarPart::Text{text, {}}}}, width);
    return width;
  };
  EXPECT_EQ(widthOf("11%"), widthOf("88%"));
  EXPECT_EQ(widthOf("1h 11m"), widthOf("4h 48m"));
}

// The share of an icon's pixels that stand out from a panel of `panel`.
double standingOut(const QImage& icon, QColor panel) {
  QImage shown(icon.size(), QImage::Format_ARGB32);
  shown.fill(panel);
  QPainter(&shown).drawImage(0, 0, icon);
  int count = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (std::abs(shown.pixelColor(x, y).lightness() - panel.lightness()) >= 96) ++count;
  return static_cast<double>(count) / (shown.width() * shown.height());
}

TEST(MenuBarGlyphTest, TrayIconsStandOutOnEveryPanel) {
  MenuBarPart::Ring ring{WindowKind::session(), assessed(WindowKind::session(), OvelStatus::comfortable, 60),
                         OvelSteer{WindowKind::session(), 2, RateBasis::recent}};
  for (int pixels : {16, 22, 32, 64}) {
    for (Appearance marksFor : {Appearance::light, Appearance::dark}) {
      QImage icon = MenuBarGlyph::trayIcon(ring, {GlyphStyle::usageAndSteer, true, marksFor}, pixels);
      QColor base = marksFor == Appearance::light ? Qt::black : Qt::white;
      ASSERT_EQ(icon.size(), QSize(pixels, pixels));
      for (QColor panel : {QColor(Qt::black), QColor(Qt::white), QColor(0x3c, 0x3c, 0x3c), QColor(0xf0, 0xf0, 0xf0)})
        EXPECT_GE(standingOut(icon, panel), 0.08)
            << pixels << " px, marks " << base.name().toStdString() << " on " << panel.name().toStdString();
    }
  }
}

// An icon as a panel of `panel` shows it.
QImage onPanel(const QImage& icon, QColor panel) {
  QImage shown(icon.size(), QImage::Format_ARGB32);
  shown.fill(panel);
  QPainter(&shown).drawImage(0, 0, icon);
  return shown;
}

// The contrast of the icon's pixel that stands furthest from the panel.
double strongestContrast(const QImage& icon, QColor panel) {
  QImage shown = onPanel(icon, panel);
  double strongest = 1;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      strongest = std::max(strongest, Theme::contrast(shown.pixelColor(x, y), panel));
  return strongest;
}

TEST(MenuBarGlyphTest, EveryRingStandsThreeToOneOffAPanelOfKnownTone) {
  const OvelSteer ease{WindowKind::week(), 0.6, RateBasis::recent}, stop{WindowKind::session(), 0, RateBasis::recent};
  struct Ring {
    const char* name;
    MenuBarPart::Ring ring;
    GlyphStyle style = GlyphStyle::usageAndSteer;
  } rings[] = {
      {"a bare ring, steer-less", {WindowKind::session(), std::nullopt, std::nullopt}},
      {"a bare week ring", {WindowKind::week(), std::nullopt, std::nullopt}},
      {"steer-less, the steer style",
       {WindowKind::session(), assessed(WindowKind::session(), OvelStatus::comfortable, 40), std::nullopt},
       GlyphStyle::steer},
      {"untinted with its arc",
       {WindowKind::session(), assessed(WindowKind::session(), OvelStatus::comfortable, 40), std::nullopt}},
      {"at risk, orange", {WindowKind::week(), assessed(WindowKind::week(), OvelStatus::atRisk, 70), ease}},
      {"at risk, orange, the steer style",
       {WindowKind::week(), assessed(WindowKind::week(), OvelStatus::atRisk, 70), ease},
       GlyphStyle::steer},
      {"limited, red", {WindowKind::session(), assessed(WindowKind::session(), OvelStatus::limited, 100), stop}},
  };
  struct Panel {
    QColor color;
    Appearance tone;
  } panels[] = {
      {QColor(0xf6, 0xf5, 0xf4), Appearance::light}, {Qt::white, Appearance::light},
      {QColor(0xce, 0xce, 0xce), Appearance::light}, {Qt::black, Appearance::dark},
      {QColor(0x3c, 0x3c, 0x3c), Appearance::dark},  {QColor(0x40, 0x40, 0x40), Appearance::dark},
  };
  for (const Ring& ring : rings)
    for (const Panel& panel : panels) {
      QImage icon = MenuBarGlyph::trayIcon(ring.ring, {ring.style, true, panel.tone}, 22);
      EXPECT_GE(strongestContrast(icon, panel.color), 3.0) << ring.name << " on " << panel.color.name().toStdString();
    }
}

// The contrast of a ring's track, at three o'clock, against the panel.
double trackContrast(const MenuBarPart::Ring& ring, QColor panel, std::optional<Appearance> tone) {
  QImage icon = MenuBarGlyph::trayIcon(ring, {GlyphStyle::usage, true, tone}, 36);
  return Theme::contrast(onPanel(icon, panel).pixelColor(18 + 12, 18), panel);
}

TEST(MenuBarGlyphTest, OnlyABareRingsTrackIsDrawnBolder) {
  const MenuBarPart::Ring bare{WindowKind::session(), std::nullopt, std::nullopt};
  const MenuBarPart::Ring used{WindowKind::session(), assessed(WindowKind::session(), OvelStatus::comfortable, 10),
                               std::nullopt};
  for (QColor light : {QColor(0xf6, 0xf5, 0xf4), QColor(0xce, 0xce, 0xce)})
    EXPECT_GE(trackContrast(bare, light, Appearance::light), 3.0) << light.name().toStdString();
  for (QColor dark : {QColor(0x10, 0x10, 0x10), QColor(0x50, 0x50, 0x50)})
    EXPECT_GE(trackContrast(bare, dark, Appearance::dark), 3.0) << dark.name().toStdString();
  // With its arc the ring keeps the faint track the popover's rings have.
  EXPECT_LT(trackContrast(used, QColor(0xf6, 0xf5, 0xf4), Appearance::light), 3.0);
  EXPECT_LT(trackContrast(used, QColor(0x10, 0x10, 0x10), Appearance::dark), 3.0);
}

TEST(MenuBarGlyphTest, IconsKeyedAlikePaintAlike) {
  const OvelSteer ease{WindowKind::session(), 0.5, RateBasis::recent};
  auto ring = [&](double used, OvelStatus status = OvelStatus::comfortable, std::optional<OvelSteer> steer = {},
                  WindowKind kind = WindowKind::session()) {
    return MenuBarPart::Ring{kind, assessed(kind, status, used), steer};
  };
  const GlyphLook onDark{GlyphStyle::usageAndSteer, true, Appearance::dark};
  const MenuBarPart::Ring base = ring(40, OvelStatus::comfortable, ease);
  struct Row {
    const char* name;
    MenuBarPart::Ring ring;
    GlyphLook look;
    bool same;
  } rows[] = {
      {"the same figures", ring(40, OvelStatus::comfortable, ease), onDark, true},
      {"another verdict, the same marks untinted", ring(40, OvelStatus::watch, ease), onDark, true},
      {"another used figure", ring(41, OvelStatus::comfortable, ease), onDark, false},
      {"another steer", ring(40, OvelStatus::comfortable, OvelSteer{WindowKind::session(), 2, RateBasis::recent}),
       onDark, false},
      {"no steer", ring(40), onDark, false},
      {"the week's segments", ring(40, OvelStatus::comfortable, ease, WindowKind::week()), onDark, false},
      {"tinted at risk", ring(40, OvelStatus::atRisk, ease), onDark, false},
      {"on a light panel", base, {GlyphStyle::usageAndSteer, true, Appearance::light}, false},
      {"on a panel of unknown tone", base, {GlyphStyle::usageAndSteer, true, std::nullopt}, false},
      {"another style", base, {GlyphStyle::usage, true, Appearance::dark}, false},
  };
  const QString key = MenuBarGlyph::trayIconKey(base, onDark);
  const QImage icon = MenuBarGlyph::trayIcon(base, onDark, 22);
  for (const Row& row : rows) {
    EXPECT_EQ(MenuBarGlyph::trayIconKey(row.ring, row.look) == key, row.same) << row.name;
    // The key says no more than the picture: what it calls the same is the same.
    if (row.same) EXPECT_EQ(MenuBarGlyph::trayIcon(row.ring, row.look, 22), icon) << row.name;
    else EXPECT_NE(MenuBarGlyph::trayIcon(row.ring, row.look, 22), icon) << row.name;
  }
}

TEST(MenuBarGlyphTest, TintsTakeTheAppearanceOfThePanel) {
  auto ring = [](OvelStatus status) {
    return MenuBarPart::Ring{WindowKind::week(), assessed(WindowKind::week(), status, 100), std::nullopt};
  };
  struct Row {
    const char* name;
    OvelStatus status;
    std::optional<Appearance> panel;
    bool tint;
    QColor expected;
  } rows[] = {
      {"limited on a light panel", OvelStatus::limited, Appearance::light, true, Theme::systemRed(Appearance::light)},
      {"limited on a dark panel", OvelStatus::limited, Appearance::dark, true, Theme::systemRed(Appearance::dark)},
      {"at risk on a dark panel", OvelStatus::atRisk, Appearance::dark, true, Theme::systemOrange(Appearance::dark)},
      {"at risk, tone unknown: light marks", OvelStatus::atRisk, std::nullopt, true,
       Theme::systemOrange(Appearance::dark)},
      {"untinted on a dark panel", OvelStatus::limited, Appearance::dark, false, Qt::white},
      {"untinted on a light panel", OvelStatus::atRisk, Appearance::light, false, Qt::black},
  };
  for (const auto& row : rows) {
    QImage icon = MenuBarGlyph::trayIcon(ring(row.status), {GlyphStyle::usage, row.tint, row.panel}, 36);
    // Three o'clock on the ring, inside a segment.
    EXPECT_EQ(icon.pixelColor(18 + static_cast<int>(6.4 * 2), 18).rgb(), row.expected.rgb()) << row.name;
  }
  EXPECT_NE(Theme::systemRed(Appearance::light).rgb(), Theme::systemRed(Appearance::dark).rgb());
}

}  // namespace
}  // namespace ovel
