#include "dashboard/DayActivityStrip.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

#include "core/engine/EngineConstants.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

constexpr int kSpacing = 3;

}  // namespace

DayActivityStrip::DayActivityStrip(QWidget* parent) : QWidget(parent), bars_(new ActivityBars(kBarWidth, 0)) {
  setAccessibleName(QStringLiteral("Activity over the last 24 hours"));
  bars_->setFixedHeight(kHeight);
  auto* labelRow = new QHBoxLayout;
  labelRow->setContentsMargins(0, 0, 0, 0);
  QFont font = Theme::withFixedDigits(Theme::font(TextStyle::caption2));
  for (const QString& text : labels()) {
    if (labelRow->count() > 0) labelRow->addStretch(1);
    auto* label = new TextView(text, font, ThemeColor::of(ColorRole::tertiary));
    label->setSingleLine();
    labelRow->addWidget(label);
  }
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(kSpacing);
  column->addWidget(bars_);
  column->addLayout(labelRow);
}

void DayActivityStrip::setBuckets(const std::vector<ActivitySummary::Bucket>& buckets, Date start, Date end) {
  bars_->setPlot(plot(buckets, start, end));
}

const QStringList& DayActivityStrip::labels() {
  static const QStringList texts = {QStringLiteral("\u221224h"), QStringLiteral("\u221218h"),
                                    QStringLiteral("\u221212h"), QStringLiteral("\u22126h"), QStringLiteral("now")};
  return texts;
}

double DayActivityStrip::peak(const std::vector<ActivitySummary::Bucket>& buckets) {
  double heaviest = 0;
  for (const auto& bucket : buckets) heaviest = std::max(heaviest, bucket.weight);
  return std::max(heaviest, kLeastPeak);
}

ActivityPlot DayActivityStrip::plot(const std::vector<ActivitySummary::Bucket>& buckets, Date start, Date end) {
  ActivityPlot plot{{}, start, end, peak(buckets)};
  double least = plot.top / kHeight;
  for (const auto& bucket : buckets) {
    plot.bars.push_back({addSeconds(bucket.start, kHour / 2), std::max(bucket.weight, least),
                         bucket.weight > 0 ? kBusyOpacity : kIdleOpacity});
  }
  return plot;
}

}  // namespace ovel
