#include "ui/MenuBarRow.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "model/Format.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

constexpr double kRingSide = 16;
constexpr double kGapAfterRing = 3;
constexpr double kGap = 6;

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

MenuBarPart ringOf(WindowKind kind, const std::optional<WindowAssessment>& assessment) {
  std::optional<OvelSteer> steer = assessment ? assessment->steer() : std::nullopt;
  return MenuBarPart{MenuBarPart::Ring{std::move(kind), assessment, steer}};
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
    case MenuBarItem::tightestRing: return MenuBarPart{MenuBarRow::tightestRing(in)};
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

}  // namespace

MenuBarPart::Ring MenuBarRow::tightestRing(const GlyphInputs& inputs) {
  WindowKind kind = inputs.steer ? inputs.steer->kind : WindowKind::session();
  auto assessment = inputs.hasAssessments ? inputs.steerAssessment : std::nullopt;
  return MenuBarPart::Ring{std::move(kind), assessment, inputs.steer};
}

std::vector<MenuBarPart> MenuBarRow::parts(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs) {
  std::vector<MenuBarPart> result;
  for (MenuBarItem item : items)
    if (auto part = partFor(item, inputs)) result.push_back(std::move(*part));
  if (result.empty()) result.push_back(MenuBarPart{tightestRing(inputs)});
  return result;
}

bool MenuBarRow::isTemplate(const std::vector<MenuBarPart>& parts, bool tint) {
  return std::none_of(parts.begin(), parts.end(), [tint](const MenuBarPart& p) { return isTinted(p, tint); });
}

std::vector<double> MenuBarRow::layout(const std::vector<MenuBarPart>& parts, double& width) {
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

QImage MenuBarRow::image(const std::vector<MenuBarPart>& parts, GlyphStyle style, bool tint, const QColor& base,
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
    DayRing::draw(painter, ringMarks(ring, style, kRingSide), ringColor(ring, tint, base));
    painter.restore();
  }
  return image;
}

MenuBarRow::RingFace MenuBarRow::ringFace(const MenuBarPart::Ring& ring, GlyphStyle style) {
  std::optional<double> used;
  if (style != GlyphStyle::steer && ring.assessment) used = ring.assessment->window.usedPercent;
  auto even = ring.assessment ? ring.assessment->evenOvelPercent : std::nullopt;
  return {used, !ring.kind.isSession(), DayRing::center(style, ring.steer, even)};
}

std::vector<DayRing::Mark> MenuBarRow::ringMarks(const MenuBarPart::Ring& ring, GlyphStyle style, double side) {
  RingFace face = ringFace(ring, style);
  return DayRing::marks(side, face.used, face.segmented, face.center);
}

QColor MenuBarRow::ringColor(const MenuBarPart::Ring& ring, bool tint, const QColor& base) {
  return tintOf(ring, tint, appearanceOfText(base)).value_or(base);
}

}  // namespace ovel
