#include "core/engine/ActivitySummary.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "core/engine/EngineConstants.h"

namespace ovel {
namespace {

constexpr std::string_view kOtherSlice = "Other";

bool isSkippedModelPiece(std::string_view piece) {
  if (piece == "claude" || piece == "us" || piece == "anthropic") return true;
  return std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

ActivitySummary::ActivitySummary(std::vector<ActivityEvent> events) {
  if (events.empty()) return;
  auto earlier = [](const ActivityEvent& a, const ActivityEvent& b) { return a.timestamp < b.timestamp; };
  // The scanner hands over sorted events: then a look is all it costs.
  if (!std::is_sorted(events.begin(), events.end(), earlier)) std::stable_sort(events.begin(), events.end(), earlier);
  events_ = std::make_shared<const std::vector<ActivityEvent>>(std::move(events));
}

const std::vector<ActivityEvent>& ActivitySummary::events() const {
  static const std::vector<ActivityEvent> kNone;
  return events_ ? *events_ : kNone;
}

bool ActivitySummary::operator==(const ActivitySummary& other) const {
  return sharesEventsWith(other) || events() == other.events();
}

std::optional<Date> ActivitySummary::lastEventAt() const {
  if (events().empty()) return std::nullopt;
  return events().back().timestamp;
}

std::span<const ActivityEvent> ActivitySummary::events(Date since, Date until) const {
  auto byTime = [](const ActivityEvent& event, Date date) { return event.timestamp < date; };
  const std::vector<ActivityEvent>& all = events();
  auto lower = std::lower_bound(all.begin(), all.end(), since, byTime);
  auto upper = std::lower_bound(all.begin(), all.end(), until, byTime);
  return {lower, std::max(upper, lower)};
}

double ActivitySummary::weight(Date since, Date until) const {
  double sum = 0;
  for (const ActivityEvent& event : events(since, until)) sum += event.weight();
  return sum;
}

template <class KeyOf>
std::vector<ActivitySummary::Slice> ActivitySummary::slices(Date since, std::size_t limit, KeyOf keyOf) const {
  // Groups in order of first appearance, so that equal sums keep that order.
  std::vector<Slice> groups;
  std::unordered_map<std::string, std::size_t> indexOfKey;
  double total = 0;
  for (const ActivityEvent& event : events(since, Date::max())) {
    std::string key = keyOf(event);
    auto [entry, isNew] = indexOfKey.try_emplace(key, groups.size());
    if (isNew) groups.push_back({std::move(key), 0, 0});
    double weight = event.weight();
    groups[entry->second].weight += weight;
    total += weight;
  }
  if (!(total > 0)) return {};

  std::stable_sort(groups.begin(), groups.end(), [](const Slice& a, const Slice& b) { return a.weight > b.weight; });
  double rest = 0;
  for (std::size_t i = limit; i < groups.size(); ++i) rest += groups[i].weight;
  groups.resize(std::min(limit, groups.size()));
  if (rest > 0) groups.push_back({std::string(kOtherSlice), rest, 0});
  for (Slice& slice : groups) slice.share = slice.weight / total;
  return groups;
}

std::vector<ActivitySummary::Slice> ActivitySummary::projects(Date since, std::size_t limit) const {
  return slices(since, limit, [](const ActivityEvent& event) { return event.project(); });
}

std::vector<ActivitySummary::Slice> ActivitySummary::models(Date since, std::size_t limit) const {
  return slices(since, limit, [](const ActivityEvent& event) { return modelFamily(event.model); });
}

std::string ActivitySummary::modelFamily(std::string_view model) {
  std::string lowered(model);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), asciiLower);
  std::string_view rest = lowered;
  while (!rest.empty()) {
    std::size_t dash = rest.find('-');
    std::string_view piece = rest.substr(0, dash);
    rest = dash == std::string_view::npos ? std::string_view{} : rest.substr(dash + 1);
    if (piece.empty() || isSkippedModelPiece(piece)) continue;
    std::string family(piece);
    family[0] = asciiUpper(family[0]);
    return family;
  }
  return std::string(model);
}

std::vector<ActivitySummary::Bucket> ActivitySummary::timeline(Date from, Date to, double bucket) const {
  if (!(to > from) || !(bucket > 0)) return {};
  double count = std::ceil(secondsBetween(to, from) / bucket);
  if (!(count <= static_cast<double>(kMaxTimelineBuckets))) return {};

  std::vector<Bucket> buckets(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < buckets.size(); ++i) buckets[i].start = addSeconds(from, static_cast<double>(i) * bucket);
  for (const ActivityEvent& event : events(from, to)) {
    double index = std::trunc(secondsBetween(event.timestamp, from) / bucket);
    if (index >= 0 && index < count) buckets[static_cast<std::size_t>(index)].weight += event.weight();
  }
  return buckets;
}

}  // namespace ovel
