#include "menubar/MenuBarGlyph.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>

#include "Format.h"
#include "ui/Theme.h"
#include "UsageModel.h"

namespace ovel {
namespace {

constexpr double kRingSide = 16;
constexpr double kSegments = 7;
constexpr double kSegmentTrim = 4.5;
constexpr double kTrackAlpha = 0.3;
constexpr double kClosedSweep = 359.6;
constexpr double kDashAlpha = 0.45;
constexpr double kGapAfterRing = 3;
constexpr double kGap = 6;

// 0 at twelve o'clock, clockwise on screen.
QPointF onCircle(QPointF c, double distance, double degrees) {
  double radians = degrees * M_PI / 180;
  return {c.x() + distance * std::sin(radians), c.y() - distance * std::cos(radians)};
}

QPainterPath arc(QPointF c, double radius, double from, double to) {
  QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
  QPainterPath path;
  // Qt counts degrees from three o'clock, counter-clockwise on screen.
  path.arcMoveTo(box, 90 - from);
  path.arcTo(box, 90 - from, -(to - from));
  return path;
}

QPainterPath line(QPointF from, QPointF to) {
  QPainterPath path(from);
  path.lineTo(to);
  return path;
}

std::optional<DayRing::Mark> centerMark(QPointF c, double u, const DayRing::Center& center) {
  using Case = DayRing::Center::Case;
  switch (center.centerCase) {
    case Case::evenOvel: {
      double angle = center.value <= 0 ? 0 : std::min(center.value, 100.0) * 3.6;
      return DayRing::Mark{line(onCircle(c, 1.6 * u, angle), onCircle(c, 4.1 * u, angle)),
                           DayRing::Stroke{1.5 * u, Qt::RoundCap}, 1.0};
    }
    case Case::arrow: {
      QPainterPath arrow(QPointF(-3.4 * u, 0));
      arrow.lineTo(3.4 * u, 0);
      double arm = 2.4 * u * std::cos(M_PI / 4);
      arrow.moveTo(3.4 * u - arm, -arm);
      arrow.lineTo(3.4 * u, 0);
      arrow.lineTo(3.4 * u - arm, arm);
      QTransform transform;
      transform.translate(c.x(), c.y());
      transform.rotate(-center.value);
      return DayRing::Mark{transform.map(arrow), DayRing::Stroke{1.6 * u, Qt::RoundCap}, 1.0};
    }
    case Case::stop: {
      QPainterPath square;
      square.addRoundedRect(QRectF(c.x() - 2.5 * u, c.y() - 2.5 * u, 5 * u, 5 * u), 1.1 * u, 1.1 * u);
      return DayRing::Mark{square, DayRing::Fill{}, 1.0};
    }
    case Case::dash:
      return DayRing::Mark{line({c.x() - 2.6 * u, c.y()}, {c.x() + 2.6 * u, c.y()}),
                           DayRing::Stroke{1.6 * u, Qt::RoundCap}, kDashAlpha};
    case Case::none:
      break;
  }
  return std::nullopt;
}

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

std::vector<DayRing::Mark> DayRing::marks(double side, std::optional<double> used, bool segmented, Center center) {
  double u = side / 18;
  QPointF c(side / 2, side / 2);
  double radius = 6.4 * u;
  Stroke roundStroke{2.2 * u, Qt::RoundCap};
  Stroke buttStroke{2.2 * u, Qt::FlatCap};
  std::optional<double> sweep;
  if (used) sweep = *used <= 0 ? 0 : std::min(*used, 100.0) * 3.6;

  std::vector<Mark> result;
  if (!segmented) {
    result.push_back({arc(c, radius, 0, 360), roundStroke, kTrackAlpha});
    if (sweep && *sweep > 0) result.push_back({arc(c, radius, 0, *sweep >= kClosedSweep ? 360 : *sweep), roundStroke, 1.0});
  } else {
    for (int i = 0; i < kSegments; ++i) {
      double start = i * 360 / kSegments + kSegmentTrim;
      double end = (i + 1) * 360 / kSegments - kSegmentTrim;
      result.push_back({arc(c, radius, start, end), buttStroke, kTrackAlpha});
      if (sweep && start < *sweep) result.push_back({arc(c, radius, start, std::min(end, *sweep)), buttStroke, 1.0});
    }
  }
  if (auto mark = centerMark(c, u, center)) result.push_back(std::move(*mark));
  return result;
}

DayRing::Center DayRing::center(GlyphStyle style, const std::optional<OvelSteer>& steer,
                                std::optional<double> evenOvel) {
  if (style == GlyphStyle::usage) return evenOvel ? Center::evenOvel(*evenOvel) : Center::none();
  if (!steer) return Center::dash();
  if (steer->factor <= 0) return Center::stop();
  return Center::arrow(steer->angleDegrees());
}

void DayRing::draw(QPainter& painter, const std::vector<Mark>& marks, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  for (const Mark& mark : marks) {
    QColor shade = color;
    shade.setAlphaF(static_cast<float>(mark.alpha));
    if (const auto* stroke = std::get_if<Stroke>(&mark.style)) {
      painter.setPen(QPen(shade, stroke->width, Qt::SolidLine, stroke->cap, Qt::RoundJoin));
      painter.setBrush(Qt::NoBrush);
    } else {
      painter.setPen(Qt::NoPen);
      painter.setBrush(shade);
    }
    painter.drawPath(mark.path);
  }
  painter.restore();
}

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
