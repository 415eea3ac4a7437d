// The local activity of the last days, held in time order, and the questions
// the engine and the views ask of it: weight in a time range, shares by
// project or model family, and weight per time bucket. An immutable value;
// every query is a pure function of the events and its arguments. Copies
// share the events, so a summary is handed on without copying them.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine/Activity.h"
#include "core/support/Time.h"

namespace ovel {

class ActivitySummary {
 public:
  // One group's share of the weight.
  struct Slice {
    std::string name;  // project, model family, or "Other"
    double weight = 0;
    double share = 0;  // fraction of the total, 0 to 1

    const std::string& id() const { return name; }
    bool operator==(const Slice&) const = default;
  };

  // The summed weight of one time bucket [start, start + width).
  struct Bucket {
    Date start;
    double weight = 0;

    Date id() const { return start; }
    bool operator==(const Bucket&) const = default;
  };

  ActivitySummary() = default;
  // Sorts by timestamp, oldest first; equal timestamps keep their given order.
  explicit ActivitySummary(std::vector<ActivityEvent> events);

  const std::vector<ActivityEvent>& events() const;
  // Whether the two share their events (then they are equal without a look).
  bool sharesEventsWith(const ActivitySummary& other) const { return events_ == other.events_; }
  std::optional<Date> lastEventAt() const;

  // The events with since <= timestamp < until, as a view on the stored
  // list; empty when until <= since.
  std::span<const ActivityEvent> events(Date since, Date until) const;
  double weight(Date since, Date until) const;

  // Shares of the events at or after since (no upper bound), heaviest first,
  // at most limit named slices and then "Other" for any remaining weight.
  // Empty when the total weight is not positive. Groups of equal weight
  // keep the order in which they first appear.
  std::vector<Slice> projects(Date since, std::size_t limit) const;
  std::vector<Slice> models(Date since, std::size_t limit) const;

  // "claude-opus-4-1" -> "Opus": the first piece that is not "claude",
  // "us", "anthropic" or all digits, capitalised; the identifier unchanged
  // when every piece is skipped.
  static std::string modelFamily(std::string_view model);

  // ceil((to - from) / bucket) buckets from `from`, each with the weight of
  // the events before `to` that fall inside it. Empty unless to > from and
  // bucket > 0, and when the count would exceed kMaxTimelineBuckets.
  std::vector<Bucket> timeline(Date from, Date to, double bucket) const;

  bool operator==(const ActivitySummary& other) const;

 private:
  template <class KeyOf>
  std::vector<Slice> slices(Date since, std::size_t limit, KeyOf keyOf) const;

  std::shared_ptr<const std::vector<ActivityEvent>> events_;  // null when there are none
};

}  // namespace ovel
