// The last day's activity hour by hour: a bar per hourly bucket, every one
// at least a point tall so that a quiet hour still shows, over five fixed
// time labels from "−24h" to "now".
#pragma once

#include <QStringList>
#include <QWidget>

#include <vector>

#include "core/engine/ActivitySummary.h"
#include "ui/ActivityBars.h"

namespace ovel {

class DayActivityStrip final : public QWidget {
 public:
  explicit DayActivityStrip(QWidget* parent = nullptr);

  // `end` is not before `start`; the host passes the 24 hours up to now.
  void setBuckets(const std::vector<ActivitySummary::Bucket>& buckets, Date start, Date end);

  // The heaviest bucket, never under kLeastPeak, so that the scale never
  // collapses on a quiet day.
  static double peak(const std::vector<ActivitySummary::Bucket>& buckets);
  // Each bar in the middle of its hour, at least 1/44 of the peak tall;
  // hours with activity stronger than the empty ones.
  static ActivityPlot plot(const std::vector<ActivitySummary::Bucket>& buckets, Date start, Date end);
  static const QStringList& labels();

  static constexpr int kHeight = 44;
  static constexpr double kBarWidth = 8;
  static constexpr double kLeastPeak = 0.0001;
  static constexpr double kBusyOpacity = 0.55;
  static constexpr double kIdleOpacity = 0.3;

 private:
  ActivityBars* bars_;
};

}  // namespace ovel
