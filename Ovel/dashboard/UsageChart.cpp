#include "dashboard/UsageChart.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/engine/EngineConstants.h"
#include "model/Format.h"
#include "ui/TextView.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

constexpr double kAreaOpacity = 0.12;
constexpr double kLimitRuleOpacity = 0.5;
constexpr double kLegendLimitOpacity = 0.6;
constexpr double kNowRuleOpacity = 0.5;
constexpr double kDotSide = 6;  // a symbol of 36 square points
constexpr double kNowLabelGap = 2;
constexpr double kDotLabelGap = 3;
constexpr double kAxisLabelGap = 4;
// How far (in points) a drawn line may stray from the readings, to spare
// stroking points that would not show.
constexpr double kLineTolerance = 0.25;
constexpr int kLegendSpacing = 14;
constexpr int kChartSpacing = 10;
constexpr int kSwatchWidth = 18;
constexpr int kSwatchHeight = 6;
constexpr int kKeySpacing = 5;

ThemeColor gray() { return ThemeColor::fixed(QColor::fromRgbF(0.557f, 0.557f, 0.576f)); }

QFont labelFont() { return Theme::font(TextStyle::caption2); }

double lineHeight(const QFont& font) { return std::ceil(QFontMetricsF(font).lineSpacing()); }

QString percentLabel(double value) { return QString::number(static_cast<long long>(value)) + QLatin1Char('%'); }

// A text centred on `x` with its bottom (or top) at `y`, kept inside `bounds`.
QRectF labelBox(const QString& text, const QFont& font, double x, double y, bool above, const QRectF& bounds) {
  QFontMetricsF metrics(font);
  QRectF box(0, 0, metrics.horizontalAdvance(text) + 2, lineHeight(font));
  box.moveCenter({x, 0});
  box.moveTop(above ? y - box.height() : y);
  if (box.left() < bounds.left()) box.moveLeft(bounds.left());
  if (box.right() > bounds.right()) box.moveRight(bounds.right());
  return box;
}

}  // namespace

const StrokeStyle UsageChart::kUsedStyle{2, Qt::FlatCap, {}};
const StrokeStyle UsageChart::kEvenStyle{1, Qt::RoundCap, {1, 3}};
const StrokeStyle UsageChart::kProjectionStyle{1.5, Qt::FlatCap, {5, 4}};
const StrokeStyle UsageChart::kLimitStyle{1, Qt::FlatCap, {}};

// The chart area above the legend.
class UsageChart::Plot final : public QWidget {
 public:
  explicit Plot(const UsageChart& chart) : chart_(chart) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  // What the grid and its labels depend on; they are drawn again only when
  // one of these changes, which a new reading seldom does.
  struct AxesKey {
    QSize size;
    qreal pixelRatio;
    Date start;
    Date end;
    double ceiling;
    QRgb separator;
    QRgb label;
    std::string zone;

    bool operator==(const AxesKey&) const = default;
  };

  const QPixmap& axes(const ChartScale& scale, qreal pixelRatio);
  void paintAxes(QPainter& painter, const ChartScale& scale) const;
  void paintMarks(QPainter& painter, const ChartScale& scale, const QColor& tint) const;
  void paintAnnotations(QPainter& painter, const ChartScale& scale, const QColor& tint) const;

  const UsageChart& chart_;
  std::optional<AxesKey> axesKey_;
  QPixmap axes_;
};

LegendKey::LegendKey(const QString& label, ThemeColor color, StrokeStyle style, QWidget* parent)
    : QWidget(parent),
      label_(label),
      color_(std::move(color)),
      style_(std::move(style)),
      text_(new TextView(label, labelFont(), ThemeColor::of(ColorRole::secondary))) {
  text_->setSingleLine();
  auto* row = new QHBoxLayout(this);
  // The swatch is painted in the margin before the label.
  row->setContentsMargins(kSwatchWidth + kKeySpacing, 0, 0, 0);
  row->addWidget(text_);
}

void LegendKey::setColor(ThemeColor color) {
  if (color == color_) return;
  color_ = std::move(color);
  update();
}

void LegendKey::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(style_.pen(color_.resolve(palette())));
  double middle = (height() - kSwatchHeight) / 2.0 + kSwatchHeight / 2.0;
  painter.drawLine(QPointF(1, middle), QPointF(kSwatchWidth - 1, middle));
}

UsageChart::UsageChart(QWidget* parent) : QWidget(parent), plot_(new Plot(*this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(kChartSpacing);
  column->addWidget(plot_, 1);
  auto* keys = new QHBoxLayout;
  keys->setSpacing(kLegendSpacing);
  ThemeColor tint = ThemeColor::brand();
  legend_ = {
      new LegendKey(QStringLiteral("used"), tint, kUsedStyle),
      new LegendKey(QStringLiteral("at this ovel"), tint, kProjectionStyle),
      new LegendKey(QStringLiteral("even ovel"), gray(), kEvenStyle),
      new LegendKey(QStringLiteral("limit"), ThemeColor::systemRed().withAlpha(kLegendLimitOpacity), kLimitStyle)};
  for (LegendKey* key : legend_) keys->addWidget(key);
  keys->addStretch();
  column->addLayout(keys);
}

void UsageChart::setData(const WindowAssessment& assessment, std::vector<HistorySample> samples, Date now,
                         double ceiling) {
  assessment_ = assessment;
  now_ = now;
  ceiling_ = std::max(ceiling, 0.0);
  points_ = points(assessment, samples, now);
  ThemeColor tint = ThemeColor::status(assessment.status);
  legend_[0]->setColor(tint);
  legend_[1]->setColor(tint);
  plot_->update();
}

std::pair<Date, Date> UsageChart::xDomain(const WindowAssessment& assessment, Date now) {
  if (const auto& reset = assessment.window.resetsAt)
    return {addSeconds(*reset, -assessment.window.kind.duration()), *reset};
  return {addSeconds(now, -kHour), now};
}

std::vector<ChartPoint> UsageChart::points(const WindowAssessment& assessment, std::span<const HistorySample> samples,
                                           Date now) {
  auto [start, end] = xDomain(assessment, now);
  auto inside = [&](Date time) { return time >= start && time <= end; };
  std::vector<ChartPoint> points;
  points.reserve(samples.size() + 1);
  for (const HistorySample& sample : samples)
    if (inside(sample.observedAt)) points.push_back({sample.observedAt, sample.usedPercent});
  const UsageWindow& current = assessment.window;
  if (inside(current.observedAt)) points.push_back({current.observedAt, current.usedPercent});
  // Stable, so that of points at one time the later one given stays last.
  std::stable_sort(points.begin(), points.end(),
                   [](const ChartPoint& a, const ChartPoint& b) { return a.time < b.time; });
  std::vector<ChartPoint> merged;
  merged.reserve(points.size());
  for (const ChartPoint& point : points) {
    if (!merged.empty() && merged.back().time == point.time) merged.back() = point;
    else merged.push_back(point);
  }
  return merged;
}

std::optional<ChartPoint> UsageChart::projectionEnd(const WindowAssessment& assessment, Date now, double ceiling) {
  const auto& projected = assessment.projectedAtReset;
  if (!assessment.window.resetsAt || !projected) return std::nullopt;
  double used = assessment.window.usedPercent;
  // Above the chart already, the cut would fall at or before now and draw
  // the line backwards in time.
  if (used >= ceiling) return std::nullopt;
  // The engine projects to the planned reset when one cuts the window
  // short; ending there keeps the line's slope the burn rate.
  Date end = *assessment.horizon();
  double p = *projected;
  if (ceiling < p && used < p) {
    double fraction = (ceiling - used) / (p - used);
    return ChartPoint{addSeconds(now, fraction * secondsBetween(end, now)), ceiling};
  }
  return ChartPoint{end, p};
}

std::optional<std::array<ChartPoint, 2>> UsageChart::evenLine(const WindowAssessment& assessment) {
  const auto& reset = assessment.window.resetsAt;
  if (!reset) return std::nullopt;
  return std::array<ChartPoint, 2>{ChartPoint{addSeconds(*reset, -assessment.window.kind.duration()), 0},
                                   ChartPoint{*reset, 100}};
}

std::optional<UsageChart::LimitDot> UsageChart::limitDot(const WindowAssessment& assessment, Date now) {
  if (!assessment.timeToLimit || assessment.status == OvelStatus::limited) return std::nullopt;
  Date at = addSeconds(now, *assessment.timeToLimit);
  return LimitDot{{at, 100}, "limit ~" + Format::clock(at, now)};
}

QRectF UsageChart::plotRect(QSizeF size) {
  QFont font = labelFont();
  double line = lineHeight(font);
  double gutter = std::ceil(QFontMetricsF(font).horizontalAdvance(QStringLiteral("100%"))) + 2 * kAxisLabelGap;
  double top = line + kNowLabelGap;
  double bottom = line + kAxisLabelGap;
  return {0, top, std::max(size.width() - gutter, 1.0), std::max(size.height() - top - bottom, 1.0)};
}

void UsageChart::Plot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  auto [start, end] = xDomain(chart_.assessment_, chart_.now_);
  ChartScale scale(plotRect(size()), start, end, 0, chart_.ceiling_);
  QColor tint = ThemeColor::status(chart_.assessment_.status).resolve(palette());
  painter.drawPixmap(0, 0, axes(scale, painter.device()->devicePixelRatioF()));
  painter.save();
  // Values above the ceiling are cut at the top edge; the lines at 0 keep
  // their whole width.
  painter.setClipRect(scale.plot().adjusted(-1, 0, 1, 2));
  paintMarks(painter, scale, tint);
  painter.restore();
  paintAnnotations(painter, scale, tint);
}

const QPixmap& UsageChart::Plot::axes(const ChartScale& scale, qreal pixelRatio) {
  const QPalette& colors = palette();
  AxesKey key{size(),
              pixelRatio,
              scale.start(),
              scale.end(),
              chart_.ceiling_,
              Theme::role(ColorRole::separator, colors).rgba(),
              Theme::role(ColorRole::secondary, colors).rgba(),
              Format::timeZone()};
  if (key == axesKey_) return axes_;
  axes_ = QPixmap(size() * pixelRatio);
  axes_.setDevicePixelRatio(pixelRatio);
  axes_.fill(Qt::transparent);
  QPainter painter(&axes_);
  painter.setRenderHint(QPainter::Antialiasing);
  paintAxes(painter, scale);
  axesKey_ = key;
  return axes_;
}

void UsageChart::Plot::paintAxes(QPainter& painter, const ChartScale& scale) const {
  const QPalette& colors = palette();
  const QRectF& plot = scale.plot();
  std::string zone = Format::timeZone();
  TimeMarks marks = timeMarks(scale.start(), scale.end(), kDesiredTimeMarks, zone);
  QPainterPath grid;
  for (double value : kPercentMarks) {
    grid.moveTo(plot.left(), scale.y(value));
    grid.lineTo(plot.right(), scale.y(value));
  }
  for (Date mark : marks.marks) {
    grid.moveTo(scale.x(mark), plot.top());
    grid.lineTo(scale.x(mark), plot.bottom());
  }
  painter.strokePath(grid, QPen(Theme::role(ColorRole::separator, colors), 1));

  QFont font = labelFont();
  painter.setFont(font);
  painter.setPen(Theme::role(ColorRole::secondary, colors));
  for (double value : kPercentMarks) {
    QRectF box(plot.right() + kAxisLabelGap, scale.y(value) - lineHeight(font) / 2, width() - plot.right(),
               lineHeight(font));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, percentLabel(value));
  }
  // Time labels stay clear of the percent labels' column on the right.
  QRectF timeBounds(QPointF(rect().left(), rect().top()), QPointF(plot.right(), rect().bottom()));
  for (Date mark : marks.marks) {
    QString text = QString::fromStdString(Format::axisMark(mark, marks.step >= kDay));
    painter.drawText(labelBox(text, font, scale.x(mark), plot.bottom() + kAxisLabelGap / 2, false, timeBounds),
                     Qt::AlignCenter, text);
  }
}

void UsageChart::Plot::paintMarks(QPainter& painter, const ChartScale& scale, const QColor& tint) const {
  const WindowAssessment& a = chart_.assessment_;
  const QPalette& colors = palette();
  QColor grayColor = gray().resolve(colors);
  if (auto even = evenLine(a)) {
    painter.setPen(kEvenStyle.pen(grayColor));
    painter.drawLine(scale.map((*even)[0]), scale.map((*even)[1]));
  }
  if (auto end = projectionEnd(a, chart_.now_, chart_.ceiling_); end && a.window.resetsAt) {
    painter.setPen(kProjectionStyle.pen(tint));
    painter.drawLine(scale.map({chart_.now_, a.window.usedPercent}), scale.map(*end));
  }
  std::vector<ChartPoint> shown = thinToColumns(chart_.points_, scale);
  if (shown.size() > 1) {
    QPolygonF mapped;
    mapped.reserve(static_cast<qsizetype>(shown.size()));
    for (const ChartPoint& point : shown) mapped << scale.map(point);
    QPolygonF line = simplifyPolyline(mapped, kLineTolerance);
    QPolygonF area = line;
    area << QPointF(line.back().x(), scale.y(0)) << QPointF(line.front().x(), scale.y(0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::faded(tint, kAreaOpacity));
    // The line covers the area's only slanted edge, so the fill needs no
    // antialiasing, which costs much over a long history.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawPolygon(area);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(kUsedStyle.pen(tint));
    painter.drawPolyline(line);
  }
  const QRectF& plot = scale.plot();
  QColor limit = ThemeColor::systemRed().withAlpha(kLimitRuleOpacity).resolve(colors);
  painter.setPen(kLimitStyle.pen(limit));
  painter.drawLine(QPointF(plot.left(), scale.y(100)), QPointF(plot.right(), scale.y(100)));
  painter.setPen(QPen(Theme::faded(grayColor, kNowRuleOpacity), 1));
  double nowX = scale.x(chart_.now_);
  painter.drawLine(QPointF(nowX, plot.top()), QPointF(nowX, plot.bottom()));
  if (auto dot = limitDot(a, chart_.now_)) {
    QRectF circle(0, 0, kDotSide, kDotSide);
    circle.moveCenter(scale.map(dot->point));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawEllipse(circle);
    painter.setBrush(Qt::NoBrush);
  }
}

void UsageChart::Plot::paintAnnotations(QPainter& painter, const ChartScale& scale, const QColor& tint) const {
  const QRectF& plot = scale.plot();
  QFont font = labelFont();
  double nowX = scale.x(chart_.now_);
  if (nowX >= plot.left() && nowX <= plot.right()) {
    painter.setFont(font);
    painter.setPen(Theme::role(ColorRole::secondary, palette()));
    QString now = QStringLiteral("now");
    painter.drawText(labelBox(now, font, nowX, plot.top() - kNowLabelGap, true, rect()), Qt::AlignCenter, now);
  }
  if (auto dot = limitDot(chart_.assessment_, chart_.now_)) {
    QFont bold = Theme::font(TextStyle::caption2, QFont::DemiBold);
    QPointF at = scale.map(dot->point);
    QString text = QString::fromStdString(dot->label);
    painter.setFont(bold);
    painter.setPen(tint);
    painter.drawText(labelBox(text, bold, at.x(), at.y() - kDotSide / 2 - kDotLabelGap, true, rect()), Qt::AlignCenter,
                     text);
  }
}

}  // namespace ovel
