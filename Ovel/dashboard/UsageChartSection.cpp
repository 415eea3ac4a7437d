#include "dashboard/UsageChartSection.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

#include "dashboard/UsageChart.h"
#include "model/UsageModel.h"
#include "ui/SegmentedControl.h"
#include "ui/TextView.h"
#include "ui/ViewSupport.h"

namespace ovel {

UsageChartSection::UsageChartSection(UsageModel& model, QWidget* parent)
    : QWidget(parent), model_(model), picker_(new SegmentedControl), chart_(new UsageChart) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  auto* heading = new QHBoxLayout;
  heading->setContentsMargins(0, 0, 0, 0);
  // The heading keeps its words on one line; a picker of long window
  // titles gives way instead, cutting its titles.
  heading_ = new TextView(QStringLiteral("Usage over this window"), Theme::font(TextStyle::headline));
  heading_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  heading->addWidget(heading_, 0, Qt::AlignVCenter);
  heading->addStretch();
  picker_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  picker_->setAccessibleName(QStringLiteral("Window"));
  heading->addWidget(picker_, 0, Qt::AlignVCenter);
  column->addLayout(heading);
  chart_->setFixedHeight(kChartHeight);
  column->addWidget(chart_);
  connect(picker_, &SegmentedControl::activated, this, [this](int index) { pick(index); });
  refresh();
}

WindowKind UsageChartSection::chartSelection(const std::optional<WindowKind>& chartKind,
                                             const std::optional<WindowAssessment>& steerAssessment) {
  if (chartKind) return *chartKind;
  if (steerAssessment) return steerAssessment->window.kind;
  return WindowKind::session();
}

const WindowAssessment* UsageChartSection::selectedAssessment(const WindowKind& kind,
                                                              std::span<const WindowAssessment> assessments) {
  auto found = std::find_if(assessments.begin(), assessments.end(),
                            [&](const WindowAssessment& a) { return a.window.kind == kind; });
  return found == assessments.end() ? nullptr : &*found;
}

void UsageChartSection::pick(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= kinds_.size()) return;
  chartKind_ = kinds_[static_cast<std::size_t>(index)];
  refresh();
}

void UsageChartSection::refresh() {
  const auto& assessments = model_.assessments();
  std::vector<WindowKind> kinds;
  QStringList titles;
  for (const WindowAssessment& a : assessments) {
    kinds.push_back(a.window.kind);
    titles << QString::fromStdString(a.window.kind.title());
  }
  if (kinds != kinds_) {
    kinds_ = std::move(kinds);
    picker_->setTitles(titles);
  }
  WindowKind selection = chartSelection(chartKind_, model_.steerAssessment());
  auto entry = std::find(kinds_.begin(), kinds_.end(), selection);
  picker_->setCurrentIndex(entry == kinds_.end() ? -1 : static_cast<int>(entry - kinds_.begin()));
  const WindowAssessment* selected = selectedAssessment(selection, assessments);
  if (chart_->isHidden() == (selected != nullptr)) {
    chart_->setVisible(selected != nullptr);
    relayoutUpwards(this);
  }
  if (selected) chart_->setData(*selected, model_.samples(selected->window), model_.now(), kCeiling);
}

}  // namespace ovel
