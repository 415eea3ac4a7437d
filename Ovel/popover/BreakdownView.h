// "Where it's going", the collapsible section that closes the popover: over
// a range the user picks (this session, the last day, the week) it shows
// the weighted activity as bars, the top projects with their shares, and
// the first findings /usage reported for a matching period. Whether it is
// open and which range it shows are kept in the defaults store.
#pragma once

#include <QWidget>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "core/engine/ActivitySummary.h"
#include "core/engine/OvelEngine.h"
#include "core/engine/UsageState.h"
#include "model/DefaultsStore.h"
#include "ui/ActivityBars.h"

class QVBoxLayout;

namespace ovel {

class SegmentedControl;
class ShareList;
class SymbolButton;
class TextView;
class UsageModel;

class BreakdownView final : public QWidget {
  Q_OBJECT

 public:
  enum class Range { session, day, week };
  static constexpr std::array<Range, 3> kAllRanges = {Range::session, Range::day, Range::week};

  static constexpr const char* kExpandedKey = "breakdownExpanded";
  static constexpr const char* kRangeKey = "breakdownRange";
  static constexpr std::size_t kProjectLimit = 5;
  static constexpr std::size_t kFindingLimit = 3;

  // Reads its two settings from the model's preferences store.
  explicit BreakdownView(UsageModel& model, QWidget* parent = nullptr);

  bool isExpanded() const { return expanded_; }
  Range range() const { return range_; }
  // Each shows the change at once and stores it.
  void setExpanded(bool expanded);
  void setRange(Range range);

  // Open unless stored otherwise.
  static bool storedExpanded(const DefaultsStore& defaults);
  // A stored text that names no range reads as the session.
  static Range storedRange(const DefaultsStore& defaults);

  // Where the range begins: a day or a week back, or the start of the
  // session window (the last five hours when its reset time is unknown).
  static Date start(Range range, Date now, const std::optional<WindowAssessment>& session);
  // About 36 bars over the range, each at least a minute wide.
  static double bucketWidth(Date start, Date now);
  // The first period whose label holds the range's key ("24h", "7d").
  static std::optional<UsageInsights::Period> insightPeriod(Range range, const std::optional<UsageInsights>& insights);
  // Only a timeline with some weight in it is worth a chart.
  static bool showsChart(const std::vector<ActivitySummary::Bucket>& timeline);

  SymbolButton* header() const { return header_; }
  QWidget* content() const { return content_; }
  SegmentedControl* picker() const { return picker_; }
  ActivityBars* chart() const { return chart_; }
  ShareList* projects() const { return projects_; }
  TextView* emptyText() const { return empty_; }
  QWidget* findings() const { return findings_; }
  const std::vector<UsageInsights::Finding>& shownFindings() const { return shownFindings_; }

 private:
  // Brings the content up to date, only while it is open.
  void refresh();
  // Whether the findings' visibility flipped.
  bool showFindings(const std::optional<UsageInsights::Period>& period);

  UsageModel& model_;
  bool expanded_;
  Range range_;
  SymbolButton* header_;
  QWidget* content_;
  SegmentedControl* picker_;
  ActivityBars* chart_;
  ShareList* projects_;
  TextView* empty_;
  QWidget* findings_;
  QVBoxLayout* findingRows_;
  std::vector<UsageInsights::Finding> shownFindings_;
};

// "This session", "24h", "7 days": also the segments' titles.
std::string_view rawValue(BreakdownView::Range range);
std::optional<BreakdownView::Range> breakdownRangeFromRaw(std::string_view raw);

// The breakdown's bars: one per bucket, centred on its start, on a scale
// from the first bucket to the last and from 0 to the heaviest.
struct ActivityChart {
  ActivityChart() = delete;

  static ActivityPlot plot(const std::vector<ActivitySummary::Bucket>& buckets);

  static constexpr double kBarWidth = 5;
  static constexpr int kHeight = 32;
  static constexpr double kOpacity = 0.55;
};

}  // namespace ovel
