#include "menubar/MenuBarGlyph.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "Format.h"
#include "UsageModel.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

constexpr double kRingSide = 16;
constexpr double kGapAfterRing = 3;
constexpr double kGap = 6;
constexpr const char* kLabelSeparator = " \u00B7 ";
// The tray icon's halo: its width at a 22-pixel icon, and its opacity
// around solid and around dimmed marks; on a panel of known tone, and where
// the tone is not known.
struct Halo {
  double widthAt22;
  double solidAlpha;
  double dimmedAlpha;
};
constexpr Halo kThinHalo{1.0, 0.85, 0.35};
constexpr Halo kCarryingHalo{1.6, 1.0, 0.25};
constexpr double kSolid = 1.0;

QFont glyphFont() { return QFontDatabase::systemFont(QFontDatabase::GeneralFont); }

// Changing numbers keep their width: every digit takes the widest digit's
// advance, whether or not the font's own digits are of one width.
double digitCell(const QFontMetricsF& metrics) {
  double widest = 0;
  for (char digit = '0'; digit <= '9'; ++digit) widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
  return widest;
}

double tabularWidth(const QString& text, const QFontMetricsF& metrics) {
  double cell = digitCell(metrics);
  double width = 0;
  QString run;
  for (QChar c : text) {
    if (!c.isDigit()) {
      run += c;
      continue;
    }
    width += metrics.horizontalAdvance(run) + cell;
    run.clear();
  }
  return width + metrics.horizontalAdvance(run);
}

void drawTabular(QPainter& painter, QPointF baseline, const QString& text, const QFontMetricsF& metrics) {
  double cell = digitCell(metrics);
  QString run;
  auto flush = [&] {
    painter.drawText(baseline, run);
    baseline.rx() += metrics.horizontalAdvance(run);
    run.clear();
  };
  for (QChar c : text) {
    if (!c.isDigit()) {
      run += c;
      continue;
    }
    flush();
    painter.drawText(baseline + QPointF((cell - metrics.horizontalAdvance(c)) / 2, 0), QString(c));
    baseline.rx() += cell;
  }
  flush();
}

double textWidth(const std::string& text) {
  return std::ceil(tabularWidth(QString::fromStdString(text), QFontMetricsF(glyphFont())));
}

double imageHeight() {
  QFontMetricsF metrics(glyphFont());
  return std::max(std::ceil(metrics.ascent() + metrics.descent()), kRingSide);
}

std::optional<QColor> tintOf(const MenuBarPart::Ring& ring, bool tint, Appearance appearance) {
  if (!tint || !ring.assessment) return std::nullopt;
  if (ring.assessment->status == OvelStatus::limited) return Theme::systemRed(appearance);
  if (ring.assessment->status == OvelStatus::atRisk) return Theme::systemOrange(appearance);
  return std::nullopt;
}

bool isTinted(const MenuBarPart& part, bool tint) {
  const auto* ring = std::get_if<MenuBarPart::Ring>(&part.content);
  return ring && tintOf(*ring, tint, Appearance::light);
}

// The appearance whose text colour `base` is.
Appearance appearanceOfText(const QColor& base) {
  return base.lightness() < 128 ? Appearance::light : Appearance::dark;
}

std::vector<DayRing::Mark> ringMarks(const MenuBarPart::Ring& ring, GlyphStyle style, double side) {
  std::optional<double> used;
  if (style != GlyphStyle::steer && ring.assessment) used = ring.assessment->window.usedPercent;
  auto even = ring.assessment ? ring.assessment->evenOvelPercent : std::nullopt;
  return DayRing::marks(side, used, !ring.kind.isSession(), DayRing::center(style, ring.steer, even));
}

// The marks of at least `minAlpha`, widened by `width` on each side, in one
// opaque layer.
QImage haloLayer(const std::vector<DayRing::Mark>& marks, double minAlpha, double maxAlpha, const QColor& color,
                 QSize size, double width) {
  QImage layer(size, QImage::Format_ARGB32_Premultiplied);
  layer.fill(Qt::transparent);
  QPainter painter(&layer);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  for (const DayRing::Mark& mark : marks) {
    if (mark.alpha < minAlpha || mark.alpha > maxAlpha) continue;
    const auto* stroke = std::get_if<DayRing::Stroke>(&mark.style);
    if (!stroke) painter.fillPath(mark.path, color);
    painter.setPen(QPen(color, (stroke ? stroke->width : 0) + 2 * width, Qt::SolidLine,
                        stroke ? stroke->cap : Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(mark.path);
  }
  return layer;
}

MenuBarPart ringOf(WindowKind kind, const std::optional<WindowAssessment>& assessment) {
  std::optional<OvelSteer> steer = assessment ? assessment->steer() : std::nullopt;
  return MenuBarPart{MenuBarPart::Ring{std::move(kind), assessment, steer}};
}

MenuBarPart tightest(const GlyphInputs& inputs) {
  WindowKind kind = inputs.steer ? inputs.steer->kind : WindowKind::session();
  auto assessment = inputs.hasAssessments ? inputs.steerAssessment : std::nullopt;
  return MenuBarPart{MenuBarPart::Ring{std::move(kind), assessment, inputs.steer}};
}

// The widest text of each kind, written by the same formats.
std::string guideFor(MenuBarItem item) {
  constexpr double kLongestSessionReset = 4 * 3600 + 59 * 60;
  constexpr double kLongestWeekReset = 6 * 86400 + 23 * 3600;
  switch (item) {
    case MenuBarItem::sessionPercent:
    case MenuBarItem::weekPercent: return Format::percent(100);
    case MenuBarItem::sessionReset: return Format::duration(kLongestSessionReset);
    case MenuBarItem::weekReset: return Format::duration(kLongestWeekReset);
    case MenuBarItem::ovelFactor: return Format::factor(OvelSteer{WindowKind::session(), 0.88, RateBasis::recent});
    case MenuBarItem::sessionsLeft: return Format::sessionsLeft(9.9);
    default: return {};
  }
}

std::optional<MenuBarPart> text(std::optional<std::string> value, MenuBarItem item, WindowKind window) {
  if (!value) return std::nullopt;
  return MenuBarPart{MenuBarPart::Text{std::move(*value), guideFor(item), std::move(window)}};
}

std::optional<std::string> percentOf(const std::optional<WindowAssessment>& a) {
  if (!a) return std::nullopt;
  return Format::percent(a->window.usedPercent);
}

std::optional<std::string> resetOf(const std::optional<WindowAssessment>& a, Date now) {
  if (!a || !a->window.resetsAt) return std::nullopt;
  return Format::duration(secondsBetween(*a->window.resetsAt, now));
}

std::optional<std::string> factorOf(const std::optional<OvelSteer>& steer) {
  if (!steer) return std::nullopt;
  return Format::factor(*steer);
}

std::optional<std::string> sessionsLeftOf(const GlyphInputs& in) {
  if (!in.sessionWeekRatio || !in.week) return std::nullopt;
  return Format::sessionsLeft(in.sessionWeekRatio->sessionsLeft(in.week->window.usedPercent));
}

std::optional<MenuBarPart> partFor(MenuBarItem item, const GlyphInputs& in) {
  switch (item) {
    case MenuBarItem::tightestRing: return tightest(in);
    case MenuBarItem::sessionRing: return ringOf(WindowKind::session(), in.session);
    case MenuBarItem::weekRing: return ringOf(WindowKind::week(), in.week);
    case MenuBarItem::sessionPercent: return text(percentOf(in.session), item, WindowKind::session());
    case MenuBarItem::weekPercent: return text(percentOf(in.week), item, WindowKind::week());
    case MenuBarItem::sessionReset: return text(resetOf(in.session, in.now), item, WindowKind::session());
    case MenuBarItem::weekReset: return text(resetOf(in.week, in.now), item, WindowKind::week());
    case MenuBarItem::ovelFactor:
      return text(factorOf(in.steer), item, in.steer ? in.steer->kind : WindowKind::session());
    // The sessions that the week has room for.
    case MenuBarItem::sessionsLeft: return text(sessionsLeftOf(in), item, WindowKind::week());
  }
  return std::nullopt;
}

GlyphInputs inputsOf(const UsageModel& model) {
  return GlyphInputs{model.session(),          model.week(),
                     model.steer(),            model.steerAssessment(),
                     !model.assessments().empty(), model.sessionWeekRatio(),
                     model.now()};
}

template <class Field>
std::string joined(const std::vector<MenuBarPart::Text>& texts, Field field) {
  std::string result;
  for (const auto& text : texts) {
    if (!result.empty()) result += kLabelSeparator;
    result += text.*field;
  }
  return result;
}

}  // namespace

std::string TrayItem::label() const { return joined(texts, &MenuBarPart::Text::text); }

std::string TrayItem::labelGuide() const { return joined(texts, &MenuBarPart::Text::guide); }

std::string TrayItem::toolTipText() const {
  struct Line {
    WindowKind window;
    std::vector<MenuBarPart::Text> texts;
  };
  std::vector<Line> lines{{ring.kind, {}}};
  for (const auto& text : texts) {
    auto line = std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return l.window == text.window; });
    if (line == lines.end()) lines.push_back({text.window, {text}});
    else line->texts.push_back(text);
  }
  // A ring without texts of its own window names its used figure.
  if (lines.front().texts.empty() && ring.assessment)
    lines.front().texts.push_back({Format::percent(ring.assessment->window.usedPercent), {}, ring.kind});
  std::string result;
  for (const Line& line : lines) {
    if (line.texts.empty()) continue;
    if (!result.empty()) result += '\n';
    result += line.window.title() + ": " + joined(line.texts, &MenuBarPart::Text::text);
  }
  return result;
}

std::vector<MenuBarPart> MenuBarGlyph::parts(const std::vector<MenuBarItem>& items, const UsageModel& model) {
  return parts(items, inputsOf(model));
}

std::vector<MenuBarPart> MenuBarGlyph::parts(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs) {
  std::vector<MenuBarPart> result;
  for (MenuBarItem item : items)
    if (auto part = partFor(item, inputs)) result.push_back(std::move(*part));
  if (result.empty()) result.push_back(tightest(inputs));
  return result;
}

bool MenuBarGlyph::isTemplate(const std::vector<MenuBarPart>& parts, bool tint) {
  return std::none_of(parts.begin(), parts.end(), [tint](const MenuBarPart& p) { return isTinted(p, tint); });
}

std::vector<double> MenuBarGlyph::layout(const std::vector<MenuBarPart>& parts, double& width) {
  std::vector<double> edges;
  double x = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) x += parts[i - 1].isRing() && !parts[i].isRing() ? kGapAfterRing : kGap;
    edges.push_back(x);
    x += parts[i].isRing() ? kRingSide : textWidth(std::get<MenuBarPart::Text>(parts[i].content).text);
  }
  width = std::max(x, 1.0);
  return edges;
}

QImage MenuBarGlyph::image(const std::vector<MenuBarPart>& parts, GlyphStyle style, bool tint, const QColor& base,
                           double devicePixelRatio) {
  double width = 0;
  std::vector<double> edges = layout(parts, width);
  double height = imageHeight();
  QImage image(QSize(static_cast<int>(std::ceil(width * devicePixelRatio)),
                     static_cast<int>(std::ceil(height * devicePixelRatio))),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(Qt::transparent);

  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QFont font = glyphFont();
  painter.setFont(font);
  QFontMetricsF metrics(font);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (const auto* label = std::get_if<MenuBarPart::Text>(&parts[i].content)) {
      painter.setPen(base);
      double top = (height - (metrics.ascent() + metrics.descent())) / 2;
      drawTabular(painter, QPointF(edges[i], top + metrics.ascent()), QString::fromStdString(label->text), metrics);
      continue;
    }
    const auto& ring = std::get<MenuBarPart::Ring>(parts[i].content);
    painter.save();
    painter.translate(edges[i], (height - kRingSide) / 2);
    DayRing::draw(painter, ringMarks(ring, style, kRingSide),
                  tintOf(ring, tint, appearanceOfText(base)).value_or(base));
    painter.restore();
  }
  return image;
}

GlyphLook GlyphLook::of(const Preferences& preferences, std::optional<Appearance> panel) {
  return {preferences.glyphStyle(), preferences.colorWhenAtRisk(), panel};
}

QColor GlyphLook::base() const { return panel == Appearance::light ? Qt::black : Qt::white; }

std::vector<TrayItem> MenuBarGlyph::trayItems(const std::vector<MenuBarItem>& items, const UsageModel& model) {
  return trayItems(items, inputsOf(model));
}

std::vector<TrayItem> MenuBarGlyph::trayItems(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs) {
  std::vector<TrayItem> result;
  std::vector<MenuBarPart::Text> leading;
  for (auto& part : parts(items, inputs)) {
    if (auto* ring = std::get_if<MenuBarPart::Ring>(&part.content)) result.push_back({std::move(*ring), {}});
    else if (result.empty()) leading.push_back(std::get<MenuBarPart::Text>(std::move(part.content)));
    else result.back().texts.push_back(std::get<MenuBarPart::Text>(std::move(part.content)));
  }
  if (result.empty()) result.push_back({std::get<MenuBarPart::Ring>(tightest(inputs).content), {}});
  result.front().texts.insert(result.front().texts.begin(), leading.begin(), leading.end());
  return result;
}

QImage MenuBarGlyph::trayIcon(const MenuBarPart::Ring& ring, const GlyphLook& look, int pixels) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  auto marks = ringMarks(ring, look.style, pixels);
  QColor base = look.base();
  QColor opposite = base.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black);
  const Halo& halo = look.panel ? kThinHalo : kCarryingHalo;
  double width = halo.widthAt22 * pixels / 22;
  QPainter painter(&image);
  // Dimmed marks get a fainter halo than solid ones: on a panel of the
  // marks' own tone the ring then reads as it does on the other.
  painter.setOpacity(halo.dimmedAlpha);
  painter.drawImage(0, 0, haloLayer(marks, 0, kSolid - 0.01, opposite, image.size(), width));
  painter.setOpacity(halo.solidAlpha);
  painter.drawImage(0, 0, haloLayer(marks, kSolid, kSolid, opposite, image.size(), width));
  painter.setOpacity(1);
  DayRing::draw(painter, marks, tintOf(ring, look.tint, appearanceOfText(base)).value_or(base));
  return image;
}

std::vector<PaintedTrayItem> MenuBarGlyph::paintedTrayItems(const Preferences& preferences, const UsageModel& model,
                                                             std::optional<Appearance> panel) {
  GlyphLook look = GlyphLook::of(preferences, panel);
  std::vector<PaintedTrayItem> result;
  for (TrayItem& item : trayItems(preferences.menuBarItems(), model)) {
    auto paint = [ring = item.ring, look](int pixels) { return trayIcon(ring, look, pixels); };
    result.push_back({std::move(item), std::move(paint)});
  }
  return result;
}

}  // namespace ovel
