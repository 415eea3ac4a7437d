#include "tray/MenuBarGlyph.h"

#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "model/Format.h"
#include "model/Preferences.h"
#include "model/UsageModel.h"

namespace ovel {
namespace {

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
// A ring of dimmed marks only (no used arc and no steer: the track and the
// dash) is drawn no fainter than this on a panel of known tone, so that it
// stands 3:1 off a light panel (#CECECE and lighter) or a dark one
// (#505050 and darker). A ring with a solid mark keeps its track.
constexpr double kLegibleDimmed = 0.55;

// Black or white, whichever stands further from `marks`: the halo that
// outlines them.
QColor haloFor(const QColor& marks) {
  return Theme::contrast(marks, Qt::black) >= Theme::contrast(marks, Qt::white) ? QColor(Qt::black) : QColor(Qt::white);
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

GlyphLook GlyphLook::of(const Preferences& preferences, std::optional<Appearance> panel) {
  return {preferences.glyphStyle(), preferences.colorWhenAtRisk(), panel};
}

QColor GlyphLook::base() const { return panel == Appearance::light ? Qt::black : Qt::white; }

std::vector<TrayItem> MenuBarGlyph::trayItems(const std::vector<MenuBarItem>& items, const UsageModel& model) {
  return trayItems(items, GlyphInputs::of(model));
}

std::vector<TrayItem> MenuBarGlyph::trayItems(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs) {
  std::vector<TrayItem> result;
  std::vector<MenuBarPart::Text> leading;
  for (auto& part : MenuBarRow::parts(items, inputs)) {
    if (auto* ring = std::get_if<MenuBarPart::Ring>(&part.content)) result.push_back({std::move(*ring), {}});
    else if (result.empty()) leading.push_back(std::get<MenuBarPart::Text>(std::move(part.content)));
    else result.back().texts.push_back(std::get<MenuBarPart::Text>(std::move(part.content)));
  }
  if (result.empty()) result.push_back({MenuBarRow::tightestRing(inputs), {}});
  result.front().texts.insert(result.front().texts.begin(), leading.begin(), leading.end());
  return result;
}

QImage MenuBarGlyph::trayIcon(const MenuBarPart::Ring& ring, const GlyphLook& look, int pixels) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  auto marks = MenuBarRow::ringMarks(ring, look.style, pixels);
  QColor base = look.base();
  QColor color = MenuBarRow::ringColor(ring, look.tint, base);
  bool faint = std::all_of(marks.begin(), marks.end(), [](const DayRing::Mark& mark) { return mark.alpha < kSolid; });
  if (look.panel && faint)
    for (DayRing::Mark& mark : marks) mark.alpha = std::max(mark.alpha, kLegibleDimmed);
  // The solid marks of a tinted ring on a light panel are outlined dark,
  // as orange alone stands barely 2:1 off it; its faint track keeps the
  // halo of the panel's text, lest it turn brown.
  QColor dimmedHalo = haloFor(base), solidHalo = haloFor(color);
  const Halo& halo = look.panel ? kThinHalo : kCarryingHalo;
  double width = halo.widthAt22 * pixels / 22;
  QPainter painter(&image);
  // Dimmed marks get a fainter halo than solid ones: on a panel of the
  // marks' own tone the ring then reads as it does on the other.
  painter.setOpacity(halo.dimmedAlpha);
  painter.drawImage(0, 0, haloLayer(marks, 0, kSolid - 0.01, dimmedHalo, image.size(), width));
  painter.setOpacity(halo.solidAlpha);
  painter.drawImage(0, 0, haloLayer(marks, kSolid, kSolid, solidHalo, image.size(), width));
  painter.setOpacity(1);
  DayRing::draw(painter, marks, color);
  return image;
}

QString MenuBarGlyph::trayIconKey(const MenuBarPart::Ring& ring, const GlyphLook& look) {
  MenuBarRow::RingFace face = MenuBarRow::ringFace(ring, look.style);
  auto number = [](double value) { return QString::number(value, 'g', 17); };
  // The halo follows whether the panel's tone is known; the colours, its tone.
  return QStringList{face.used ? number(*face.used) : QStringLiteral("-"),
                     QString::number(face.segmented),
                     QString::number(static_cast<int>(face.center.centerCase)),
                     number(face.center.value),
                     QString::number(MenuBarRow::ringColor(ring, look.tint, look.base()).rgba(), 16),
                     look.panel ? QString::number(static_cast<int>(*look.panel)) : QStringLiteral("-")}
      .join(QLatin1Char('/'));
}

std::vector<PaintedTrayItem> MenuBarGlyph::paintedTrayItems(const Preferences& preferences, const UsageModel& model,
                                                            std::optional<Appearance> panel) {
  GlyphLook look = GlyphLook::of(preferences, panel);
  std::vector<PaintedTrayItem> result;
  for (TrayItem& item : trayItems(preferences.menuBarItems(), model)) {
    auto paint = [ring = item.ring, look](int pixels) { return trayIcon(ring, look, pixels); };
    QString key = trayIconKey(item.ring, look);
    result.push_back({std::move(item), std::move(paint), std::move(key)});
  }
  return result;
}

}  // namespace ovel
