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

QFont glyphFont() { return QFontDatabase::systemFont(QFontDatabase::GeneralFont); }

double textWidth(const std::string& text) {
  return std::ceil(QFontMetricsF(glyphFont()).horizontalAdvance(QString::fromStdString(text)));
}

double imageHeight() {
  QFontMetricsF metrics(glyphFont());
  return std::max(std::ceil(metrics.ascent() + metrics.descent()), kRingSide);
}

std::optional<QColor> tintOf(const MenuBarPart& part, bool tint) {
  const auto* ring = std::get_if<MenuBarPart::Ring>(&part.content);
  if (!tint || !ring || !ring->assessment) return std::nullopt;
  if (ring->assessment->status == OvelStatus::limited) return Theme::systemRed();
  if (ring->assessment->status == OvelStatus::atRisk) return Theme::systemOrange();
  return std::nullopt;
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

std::optional<MenuBarPart> text(std::optional<std::string> value) {
  if (!value) return std::nullopt;
  return MenuBarPart{std::move(*value)};
}

std::optional<std::string> percentOf(const std::optional<WindowAssessment>& a) {
  if (!a) return std::nullopt;
  return Format::percent(a->window.usedPercent);
}

std::optional<std::string> resetOf(const std::optional<WindowAssessment>& a, Date now) {
  if (!a || !a->window.resetsAt) return std::nullopt;
  return Format::duration(secondsBetween(*a->window.resetsAt, now));
}

std::optional<MenuBarPart> partFor(MenuBarItem item, const GlyphInputs& in) {
  switch (item) {
    case MenuBarItem::tightestRing: return tightest(in);
    case MenuBarItem::sessionRing: return ringOf(WindowKind::session(), in.session);
    case MenuBarItem::weekRing: return ringOf(WindowKind::week(), in.week);
    case MenuBarItem::sessionPercent: return text(percentOf(in.session));
    case MenuBarItem::weekPercent: return text(percentOf(in.week));
    case MenuBarItem::sessionReset: return text(resetOf(in.session, in.now));
    case MenuBarItem::weekReset: return text(resetOf(in.week, in.now));
    case MenuBarItem::ovelFactor:
      if (!in.steer) return std::nullopt;
      return MenuBarPart{Format::factor(*in.steer)};
    case MenuBarItem::sessionsLeft:
      if (!in.sessionWeekRatio || !in.week) return std::nullopt;
      return MenuBarPart{Format::sessionsLeft(in.sessionWeekRatio->sessionsLeft(in.week->window.usedPercent))};
  }
  return std::nullopt;
}

}  // namespace

std::vector<MenuBarPart> MenuBarGlyph::parts(const std::vector<MenuBarItem>& items, const UsageModel& model) {
  GlyphInputs inputs{model.session(),          model.week(),
                     model.steer(),            model.steerAssessment(),
                     !model.assessments().empty(), model.sessionWeekRatio(),
                     model.now()};
  return parts(items, inputs);
}

std::vector<MenuBarPart> MenuBarGlyph::parts(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs) {
  std::vector<MenuBarPart> result;
  for (MenuBarItem item : items)
    if (auto part = partFor(item, inputs)) result.push_back(std::move(*part));
  if (result.empty()) result.push_back(tightest(inputs));
  return result;
}

bool MenuBarGlyph::isTemplate(const std::vector<MenuBarPart>& parts, bool tint) {
  return std::none_of(parts.begin(), parts.end(), [tint](const MenuBarPart& p) { return tintOf(p, tint).has_value(); });
}

std::vector<double> MenuBarGlyph::layout(const std::vector<MenuBarPart>& parts, double& width) {
  std::vector<double> edges;
  double x = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) x += parts[i - 1].isRing() && !parts[i].isRing() ? kGapAfterRing : kGap;
    edges.push_back(x);
    x += parts[i].isRing() ? kRingSide : textWidth(std::get<std::string>(parts[i].content));
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
    if (const auto* label = std::get_if<std::string>(&parts[i].content)) {
      painter.setPen(base);
      double top = (height - (metrics.ascent() + metrics.descent())) / 2;
      painter.drawText(QPointF(edges[i], top + metrics.ascent()), QString::fromStdString(*label));
      continue;
    }
    const auto& ring = std::get<MenuBarPart::Ring>(parts[i].content);
    std::optional<double> used;
    if (style != GlyphStyle::steer && ring.assessment) used = ring.assessment->window.usedPercent;
    auto even = ring.assessment ? ring.assessment->evenOvelPercent : std::nullopt;
    auto marks = DayRing::marks(kRingSide, used, !ring.kind.isSession(), DayRing::center(style, ring.steer, even));
    painter.save();
    painter.translate(edges[i], (height - kRingSide) / 2);
    DayRing::draw(painter, marks, tintOf(parts[i], tint).value_or(base));
    painter.restore();
  }
  return image;
}

}  // namespace ovel
