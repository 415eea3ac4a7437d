// The dashboard's card of the last day's local activity: the hourly strip,
// then the shares by project and by model family.
#pragma once

#include <vector>

#include "core/engine/ActivitySummary.h"
#include "ui/Card.h"

namespace ovel {

class DayActivityStrip;
class ShareList;
class TextView;
class UsageModel;

class ActivitySection final : public Card {
  Q_OBJECT

 public:
  explicit ActivitySection(UsageModel& model, QWidget* parent = nullptr);

  // What the card shows of the day that ends at `now`.
  struct Content {
    Date start;
    Date end;
    std::vector<ActivitySummary::Slice> projects;
    std::vector<ActivitySummary::Slice> models;
    std::vector<ActivitySummary::Bucket> buckets;
  };
  static Content content(const ActivitySummary& activity, Date now);

  static constexpr std::size_t kProjectLimit = 5;
  static constexpr std::size_t kModelLimit = 4;

  TextView* emptyText() const { return empty_; }
  DayActivityStrip* strip() const { return strip_; }
  ShareList* projects() const { return projects_; }
  ShareList* models() const { return models_; }

 private:
  void refresh();

  UsageModel& model_;
  TextView* empty_;
  QWidget* filled_;  // the strip and both share lists
  DayActivityStrip* strip_;
  ShareList* projects_;
  ShareList* models_;
};

}  // namespace ovel
