// One limit window over its span: the used percentage so far as a tinted
// area under a line, the even-spend line, the projection to the reset at the
// current burn rate (cut where it leaves the top), the 100 % rule, a rule at
// now and, when the limit comes before the reset, a dot at that moment with
// its time; a legend of four keys below.
#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/engine/History.h"
#include "core/engine/OvelEngine.h"
#include "ui/ChartScale.h"
#include "ui/ThemeColor.h"

namespace ovel {

class TextView;

// A short stroke in a colour and style, then its label.
class LegendKey final : public QWidget {
 public:
  LegendKey(const QString& label, ThemeColor color, StrokeStyle style, QWidget* parent = nullptr);

  void setColor(ThemeColor color);
  const QString& label() const { return label_; }
  const ThemeColor& color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString label_;
  ThemeColor color_;
  StrokeStyle style_;
  TextView* text_;
};

class UsageChart final : public QWidget {
 public:
  static const StrokeStyle kUsedStyle;
  static const StrokeStyle kEvenStyle;
  static const StrokeStyle kProjectionStyle;
  static const StrokeStyle kLimitStyle;
  static constexpr std::array<double, 5> kPercentMarks = {0, 25, 50, 75, 100};
  static constexpr int kDesiredTimeMarks = 5;

  explicit UsageChart(QWidget* parent = nullptr);

  // `ceiling` (0 or more) is the top of the percent scale.
  void setData(const WindowAssessment& assessment, std::vector<HistorySample> samples, Date now, double ceiling);

  // The x extent: one window length ending at the reset, else the hour up
  // to now.
  static std::pair<Date, Date> xDomain(const WindowAssessment& assessment, Date now);
  // The samples and the current reading (which wins a tie in time), inside
  // the domain, in time order.
  static std::vector<ChartPoint> points(const WindowAssessment& assessment, std::span<const HistorySample> samples,
                                        Date now);
  // The far end of the projection from (now, used): at the horizon (the
  // planned reset when one cuts the window short, else the reset), or where
  // it reaches the ceiling first. None without a reset time or projection,
  // and none while the use already stands at or above the ceiling.
  static std::optional<ChartPoint> projectionEnd(const WindowAssessment& assessment, Date now, double ceiling);
  // From 0 % at the window's start to 100 % at its reset; none without one.
  static std::optional<std::array<ChartPoint, 2>> evenLine(const WindowAssessment& assessment);
  struct LimitDot {
    ChartPoint point;
    std::string label;  // "limit ~3:45 PM"
  };
  // Where the limit is expected before the reset, unless already limited.
  static std::optional<LimitDot> limitDot(const WindowAssessment& assessment, Date now);

  // The plot inside a chart area of `size`: room above for the annotations,
  // on the right for the percent labels and below for the time labels.
  static QRectF plotRect(QSizeF size);

  const std::vector<LegendKey*>& legend() const { return legend_; }
  const std::vector<ChartPoint>& shownPoints() const { return points_; }

 private:
  class Plot;
  friend class Plot;

  WindowAssessment assessment_;
  Date now_;
  double ceiling_ = 110;
  std::vector<ChartPoint> points_;
  Plot* plot_;
  std::vector<LegendKey*> legend_;
};

}  // namespace ovel
