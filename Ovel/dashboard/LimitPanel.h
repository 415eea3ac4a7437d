// A limit window on the dashboard. LimitPanel shows it in full: title and
// status, the used percentage with the reset time, the usage bar, the
// verdict, the steering line and, unless the window is limited, the
// burn-rate table that compares five horizons with the sustainable rate.
// CompactLimitPanel is the small card of a window that is not shown in full,
// and answers a tap.
#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/engine/OvelEngine.h"
#include "ui/DayRing.h"
#include "ui/ResetLines.h"
#include "ui/ThemeColor.h"

namespace ovel {

class Card;
class DayRingView;
class OvelBar;
class StatusPill;
class TextView;

// The small steering ring of a panel, drawn only for a steer whose factor is
// above 0: its arrow alone, orange while easing off, else the brand colour.
struct PanelSteer {
  OvelSteer steer;
  DayRing::Center center;
  bool segmented = false;
  ThemeColor tint = ThemeColor::brand();

  static std::optional<PanelSteer> of(const WindowAssessment& assessment);
};

// Points per hour that fill a whole rate bar: twice the sustainable rate
// (which then falls mid-bar), else the largest reading; at least 0.0001.
double rateScale(std::optional<double> sustainable, std::span<const RateReading> rates);

// What one row of the rate table shows.
struct RateRow {
  QString label;                            // "Now", "1 h", "5 h", "24 h", "Window avg"
  std::optional<double> fill;               // the share of the bar filled, at most 1; none without a rate
  bool tick = false;                        // the sustainable rate's mark, mid-bar
  bool above = false;                       // burning faster than the sustainable rate
  ThemeColor accent = ThemeColor::brand();  // of the fill
  std::string rateText;                     // "12%/h", "= avg" or "—"
  ThemeColor rateColor = ThemeColor::of(ColorRole::secondary);
  std::string multipleText;  // "×0.50", "idle", or empty
  ThemeColor multipleColor = ThemeColor::of(ColorRole::secondary);

  static RateRow of(const RateReading& reading, std::optional<double> sustainable, double scale,
                    const WindowKind& kind);
};

// Where a rate bar's pieces lie in a bar `width` wide: a 6-point track
// centred in the 10-point view, the fill (never narrower than 3 points) and
// the 1.5-point tick reaching 2 points beyond the track at either edge.
struct RateBarGeometry {
  static constexpr double kViewHeight = 10;
  static constexpr double kTrackHeight = 6;
  static constexpr double kMinimumFill = 3;
  static constexpr double kTickWidth = 1.5;

  QRectF track;
  std::optional<QRectF> fill;
  std::optional<QRectF> tick;

  static RateBarGeometry of(double width, std::optional<double> fill, bool tick);
};

class LimitPanel final : public QWidget {
 public:
  explicit LimitPanel(QWidget* parent = nullptr);

  // `rates` are the rows of the rate table, in order.
  void setData(const WindowAssessment& assessment, std::span<const RateReading> rates, Date now);

  const WindowAssessment& assessment() const { return assessment_; }
  TextView* titleText() const { return title_; }
  TextView* figureText() const { return figure_; }
  QWidget* steeringLine() const { return steeringLine_; }
  QWidget* rateTable() const { return rateTable_; }
  QWidget* sustainableHeader() const { return sustainableHeader_; }
  TextView* sustainableText() const { return sustainableText_; }
  TextView* resetsText() const { return resets_; }
  TextView* inText() const { return in_; }
  TextView* plannedText() const { return planned_; }
  // The rate and multiple texts of the table's rows, in order.
  std::vector<TextView*> rateTexts() const;

 private:
  class RateTable;

  void setRates(std::span<const RateReading> rates);

  WindowAssessment assessment_;
  Card* card_;
  TextView* title_;
  StatusPill* pill_;
  TextView* figure_;
  QWidget* resetBlock_;
  TextView* resets_;
  TextView* in_;
  TextView* planned_;
  OvelBar* bar_;
  TextView* verdict_;
  QWidget* steeringLine_;
  DayRingView* ring_;
  TextView* headline_;
  QWidget* divider_;
  QWidget* rateTable_;
  TextView* sustainableText_;
  QWidget* sustainableHeader_;
  RateTable* rows_;
};

class CompactLimitPanel final : public QWidget {
  Q_OBJECT

 public:
  explicit CompactLimitPanel(QWidget* parent = nullptr);

  void setData(const WindowAssessment& assessment, Date now);

  const WindowAssessment& assessment() const { return assessment_; }
  QWidget* steerBox() const { return steerBox_; }
  TextView* resetsText() const { return resets_; }
  TextView* timesText() const { return times_; }

 signals:
  // A click anywhere on the card, or Space or Enter while it has the focus.
  void tapped();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  WindowAssessment assessment_;
  TextView* title_;
  StatusPill* pill_;
  TextView* figure_;
  TextView* resets_;
  QWidget* steerBox_;
  TextView* times_;
  DayRingView* ring_;
  OvelBar* bar_;
  TextView* verdict_;
};

}  // namespace ovel
