#include "popover/BreakdownView.h"

#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

#include "core/engine/EngineConstants.h"
#include "model/UsageModel.h"
#include "ui/FindingRow.h"
#include "ui/SectionLabel.h"
#include "ui/SegmentedControl.h"
#include "ui/ShareRow.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr std::array<std::string_view, 3> kRangeNames = {"This session", "24h", "7 days"};

constexpr double kBarsPerRange = 36;
constexpr double kShortestBucket = 60;
constexpr int kHeaderSymbolSide = 10;
constexpr int kContentTop = 8;
constexpr int kContentSpacing = 10;
constexpr int kRowSpacing = 6;
constexpr int kFindingsTop = 4;
constexpr int kFindingPercentWidth = 30;

QString key(const char* name) { return QString::fromLatin1(name); }

std::string_view insightKey(BreakdownView::Range range) { return range == BreakdownView::Range::week ? "7d" : "24h"; }

QStringList rangeTitles() {
  QStringList titles;
  for (auto range : BreakdownView::kAllRanges) titles << QString::fromUtf8(rawValue(range).data());
  return titles;
}

int indexOf(BreakdownView::Range range) { return static_cast<int>(range); }

}  // namespace

std::string_view rawValue(BreakdownView::Range range) { return kRangeNames[static_cast<std::size_t>(range)]; }

std::optional<BreakdownView::Range> breakdownRangeFromRaw(std::string_view raw) {
  for (auto range : BreakdownView::kAllRanges)
    if (rawValue(range) == raw) return range;
  return std::nullopt;
}

ActivityPlot ActivityChart::plot(const std::vector<ActivitySummary::Bucket>& buckets) {
  ActivityPlot plot;
  if (buckets.empty()) return plot;
  plot.from = buckets.front().start;
  plot.to = buckets.back().start;
  for (const auto& bucket : buckets) {
    plot.bars.push_back({bucket.start, bucket.weight, kOpacity});
    plot.top = std::max(plot.top, bucket.weight);
  }
  return plot;
}

bool BreakdownView::storedExpanded(const DefaultsStore& defaults) {
  return defaults.object(key(kExpandedKey)).isValid() ? defaults.boolValue(key(kExpandedKey)) : true;
}

BreakdownView::Range BreakdownView::storedRange(const DefaultsStore& defaults) {
  auto stored = defaults.stringValue(key(kRangeKey));
  if (!stored) return Range::session;
  return breakdownRangeFromRaw(stored->toStdString()).value_or(Range::session);
}

Date BreakdownView::start(Range range, Date now, const std::optional<WindowAssessment>& session) {
  switch (range) {
    case Range::day: return addSeconds(now, -kDay);
    case Range::week: return addSeconds(now, -kWeekDuration);
    case Range::session: break;
  }
  if (session && session->window.resetsAt)
    return addSeconds(*session->window.resetsAt, -session->window.kind.duration());
  return addSeconds(now, -kSessionDuration);
}

double BreakdownView::bucketWidth(Date start, Date now) {
  return std::max(secondsBetween(now, start) / kBarsPerRange, kShortestBucket);
}

std::optional<UsageInsights::Period> BreakdownView::insightPeriod(Range range,
                                                                  const std::optional<UsageInsights>& insights) {
  if (!insights) return std::nullopt;
  auto wanted = insightKey(range);
  for (const auto& period : insights->periods)
    if (period.label.find(wanted) != std::string::npos) return period;
  return std::nullopt;
}

bool BreakdownView::showsChart(const std::vector<ActivitySummary::Bucket>& timeline) {
  return std::any_of(timeline.begin(), timeline.end(), [](const auto& bucket) { return bucket.weight > 0; });
}

BreakdownView::BreakdownView(UsageModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      expanded_(storedExpanded(model.preferences().defaults())),
      range_(storedRange(model.preferences().defaults())),
      header_(new SymbolButton(Symbol::chevronRight, QString(), kHeaderSymbolSide)),
      content_(new QWidget),
      picker_(new SegmentedControl(rangeTitles())),
      chart_(new ActivityBars(ActivityChart::kBarWidth, ActivityChart::kBarWidth / 2)),
      projects_(new ShareList(kRowSpacing)),
      empty_(new TextView(QStringLiteral("No Claude Code activity on this computer in this range."),
                          Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))),
      findings_(new QWidget),
      findingRows_(new QVBoxLayout) {
  header_->setText(QStringLiteral("Where it's going"));
  header_->setAccessibleName(header_->text());
  header_->setTextFont(Theme::font(TextStyle::subheadline, QFont::DemiBold));
  header_->setColor(ThemeColor::of(ColorRole::primary));
  connect(header_, &SymbolButton::clicked, this, [this] { setExpanded(!expanded_); });

  picker_->setAccessibleName(QStringLiteral("Range"));
  connect(picker_, &SegmentedControl::activated, this,
          [this](int index) { setRange(kAllRanges[static_cast<std::size_t>(index)]); });
  chart_->setFixedHeight(ActivityChart::kHeight);
  chart_->setAccessibleName(QStringLiteral("Activity over time"));

  auto* findingsColumn = new QVBoxLayout(findings_);
  findingsColumn->setContentsMargins(0, kFindingsTop, 0, 0);
  findingsColumn->setSpacing(kRowSpacing);
  findingsColumn->addWidget(new SectionLabel(QStringLiteral("From Claude Code /usage")));
  findingRows_->setSpacing(kRowSpacing);
  findingsColumn->addLayout(findingRows_);

  auto* contentColumn = new QVBoxLayout(content_);
  contentColumn->setContentsMargins(0, kContentTop, 0, 0);
  contentColumn->setSpacing(kContentSpacing);
  for (QWidget* part : std::initializer_list<QWidget*>{picker_, chart_, projects_, empty_, findings_})
    contentColumn->addWidget(part);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(header_, 0, Qt::AlignLeft);
  column->addWidget(content_);

  auto* gate = new RedrawGate(this, [this] { refresh(); });
  for (auto signal : {&UsageModel::nowChanged, &UsageModel::activityChanged, &UsageModel::assessmentsChanged,
                      &UsageModel::insightsChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  picker_->setCurrentIndex(indexOf(range_));
  setExpanded(expanded_);
}

void BreakdownView::setExpanded(bool expanded) {
  if (expanded != storedExpanded(model_.preferences().defaults()))
    model_.preferences().defaults().setValue(key(kExpandedKey), expanded);
  expanded_ = expanded;
  header_->setSymbol(expanded ? Symbol::chevronDown : Symbol::chevronRight);
  // Shut, it let the ticks pass: it catches up before it shows.
  refresh();
  content_->setVisible(expanded);
  // The host sizes itself to its content: let it hear of the new height.
  relayoutUpwards(this);
}

void BreakdownView::setRange(Range range) {
  if (range != storedRange(model_.preferences().defaults()))
    model_.preferences().defaults().setValue(key(kRangeKey), QString::fromUtf8(rawValue(range).data()));
  range_ = range;
  picker_->setCurrentIndex(indexOf(range));
  refresh();
}

void BreakdownView::refresh() {
  // Nothing of it shows while it is shut.
  if (!expanded_) return;
  Date now = model_.now();
  Date from = start(range_, now, model_.session());
  auto timeline = model_.activity().timeline(from, now, bucketWidth(from, now));
  bool flipped = setShown(chart_, showsChart(timeline));
  chart_->setPlot(ActivityChart::plot(timeline));

  auto slices = model_.activity().projects(from, kProjectLimit);
  projects_->setSlices(slices);
  flipped |= setShown(projects_, !slices.empty());
  flipped |= setShown(empty_, slices.empty());
  flipped |= showFindings(insightPeriod(range_, model_.insights()));
  if (flipped) relayoutUpwards(content_);
}

bool BreakdownView::showFindings(const std::optional<UsageInsights::Period>& period) {
  auto first = period ? FindingRow::first(*period, kFindingLimit) : std::vector<UsageInsights::Finding>{};
  bool flipped = setShown(findings_, !first.empty());
  if (first == shownFindings_) return flipped;
  shownFindings_ = first;
  clearLayout(findingRows_);
  for (const auto& finding : first)
    findingRows_->addWidget(new FindingRow(finding, TextStyle::caption, kFindingPercentWidth));
  relayoutUpwards(findings_);
  return flipped;
}

}  // namespace ovel
