#include "dashboard/InsightsSection.h"

#include <QStringList>
#include <QVBoxLayout>

#include "model/UsageModel.h"
#include "ui/FindingRow.h"
#include "ui/SectionLabel.h"
#include "ui/TextView.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kPadding = 16;
constexpr int kSpacing = 10;
constexpr int kPercentWidth = 38;

}  // namespace

QString InsightsSection::periodHeading(const UsageInsights::Period& period) {
  QStringList parts{QString::fromStdString(period.label)};
  if (period.requests) parts << QString::number(*period.requests) + QStringLiteral(" requests");
  if (period.sessions) parts << QString::number(*period.sessions) + QStringLiteral(" sessions");
  return parts.join(QStringLiteral(" \u00B7 "));
}

InsightsSection::InsightsSection(UsageModel& model, QWidget* parent)
    : Card(kPadding, kSpacing, parent), model_(model), periods_(new QVBoxLayout) {
  periods_->setContentsMargins(0, 0, 0, 0);
  periods_->setSpacing(kSpacing);
  column()->addWidget(new TextView(QStringLiteral("What's using your quota"), Theme::font(TextStyle::headline)));
  column()->addLayout(periods_);
  connect(&model_, &UsageModel::insightsChanged, this, &InsightsSection::refresh);
  refresh();
}

// Runs only when the insights changed: the model signals real changes only.
void InsightsSection::refresh() {
  const auto& insights = model_.insights();
  clearLayout(periods_);
  if (!insights || insights->periods.empty()) {
    periods_->addWidget(new TextView(QStringLiteral("No findings yet."), Theme::font(TextStyle::caption),
                                     ThemeColor::of(ColorRole::secondary)));
  } else {
    for (const auto& period : insights->periods) {
      periods_->addWidget(new SectionLabel(periodHeading(period)));
      for (const auto& finding : FindingRow::first(period, kFindingLimit))
        periods_->addWidget(new FindingRow(finding, TextStyle::callout, kPercentWidth));
    }
  }
  relayoutUpwards(this);
}

}  // namespace ovel
