#include "dashboard/ActivitySection.h"

#include <QVBoxLayout>

#include "core/engine/EngineConstants.h"
#include "dashboard/DayActivityStrip.h"
#include "model/UsageModel.h"
#include "ui/SectionLabel.h"
#include "ui/ShareRow.h"
#include "ui/TextView.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kPadding = 16;
constexpr int kSpacing = 10;

}  // namespace

ActivitySection::Content ActivitySection::content(const ActivitySummary& activity, Date now) {
  Date start = addSeconds(now, -kDay);
  return {start, now, activity.projects(start, kProjectLimit), activity.models(start, kModelLimit),
          activity.timeline(start, now, kHour)};
}

ActivitySection::ActivitySection(UsageModel& model, QWidget* parent)
    : Card(kPadding, kSpacing, parent),
      model_(model),
      empty_(new TextView(QStringLiteral("No Claude Code activity on this computer in the last day."),
                          Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))),
      filled_(new QWidget),
      strip_(new DayActivityStrip),
      projects_(new ShareList(kSpacing)),
      models_(new ShareList(kSpacing)) {
  auto* parts = new QVBoxLayout(filled_);
  parts->setContentsMargins(0, 0, 0, 0);
  parts->setSpacing(kSpacing);
  parts->addWidget(strip_);
  parts->addWidget(new SectionLabel(QStringLiteral("By project")));
  parts->addWidget(projects_);
  parts->addWidget(new SectionLabel(QStringLiteral("By model")));
  parts->addWidget(models_);
  column()->addWidget(new TextView(QStringLiteral("Activity \u00B7 last 24h"), Theme::font(TextStyle::headline)));
  column()->addWidget(empty_);
  column()->addWidget(filled_);
  auto* gate = new RedrawGate(this, [this] { refresh(); });
  connect(&model_, &UsageModel::nowChanged, gate, &RedrawGate::poke);
  connect(&model_, &UsageModel::activityChanged, gate, &RedrawGate::poke);
  refresh();
}

void ActivitySection::refresh() {
  Content shown = content(model_.activity(), model_.now());
  empty_->setVisible(shown.projects.empty());
  filled_->setVisible(!shown.projects.empty());
  strip_->setBuckets(shown.buckets, shown.start, shown.end);
  projects_->setSlices(shown.projects);
  models_->setSlices(shown.models);
  relayoutUpwards(filled_);
}

}  // namespace ovel
