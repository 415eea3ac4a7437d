#include "core/engine/UsageState.h"

#include <nlohmann/json.hpp>

namespace ovel {
using nlohmann::json;

namespace {

void putCount(json& object, const char* key, const std::optional<long long>& count) {
  if (count) object[key] = *count;
}

std::optional<long long> takeCount(const json& object, const char* key) {
  auto found = object.find(key);
  if (found == object.end() || found->is_null()) return std::nullopt;
  if (!found->is_number_integer())
    throw json::type_error::create(302, std::string("\"") + key + "\" must be an integer", &object);
  return found->get<long long>();
}

template <typename Filter>
std::optional<Date> latestObservation(const std::map<WindowKind, UsageWindow>& windows, Filter include) {
  std::optional<Date> latest;
  for (const auto& [kind, window] : windows)
    if (include(window) && (!latest || window.observedAt > *latest)) latest = window.observedAt;
  return latest;
}

}  // namespace

void to_json(json& object, const UsageInsights::Finding& finding) {
  object = json{{"percent", finding.percent}, {"text", finding.text}};
}

void from_json(const json& object, UsageInsights::Finding& finding) {
  object.at("percent").get_to(finding.percent);
  object.at("text").get_to(finding.text);
}

void to_json(json& object, const UsageInsights::Share& share) {
  object = json{{"name", share.name}, {"percent", share.percent}};
}

void from_json(const json& object, UsageInsights::Share& share) {
  object.at("name").get_to(share.name);
  object.at("percent").get_to(share.percent);
}

void to_json(json& object, const UsageInsights::Period& period) {
  object = json{{"label", period.label},
                {"findings", period.findings},
                {"topSkills", period.topSkills},
                {"topSubagents", period.topSubagents}};
  putCount(object, "requests", period.requests);
  putCount(object, "sessions", period.sessions);
}

void from_json(const json& object, UsageInsights::Period& period) {
  object.at("label").get_to(period.label);
  period.requests = takeCount(object, "requests");
  period.sessions = takeCount(object, "sessions");
  object.at("findings").get_to(period.findings);
  object.at("topSkills").get_to(period.topSkills);
  object.at("topSubagents").get_to(period.topSubagents);
}

void to_json(json& object, const UsageInsights& insights) {
  object = json{{"periods", insights.periods}, {"observedAt", secondsSince1970(insights.observedAt)}};
}

void from_json(const json& object, UsageInsights& insights) {
  object.at("periods").get_to(insights.periods);
  insights.observedAt = dateFromSeconds1970(object.at("observedAt").get<double>());
}

void UsageState::merge(const std::vector<UsageWindow>& readings, Date now) {
  for (const auto& reading : readings) mergeOne(reading, now);
}

void UsageState::mergeOne(const UsageWindow& reading, Date now) {
  const WindowKind& kind = reading.kind;
  auto stored = windows_.find(kind);
  if (stored == windows_.end()) {
    windows_.emplace(kind, reading);
    return;
  }
  UsageWindow& believed = stored->second;
  // An equal observation time still counts as news. One from before the
  // believed reading is not, unless the clock that stamped that one has come
  // back since; the rules below still judge its percentage.
  if (believed.observedAt > reading.observedAt &&
      !stampedBeforeTheClockCameBack(believed.observedAt, reading.observedAt, now))
    return;
  if (!reading.isSameInstance(believed)) {
    pendingDrops_.erase(kind);
    expectingReset_.erase(kind);
    believed = reading;
    return;
  }
  if (reading.usedPercent >= believed.usedPercent) {
    pendingDrops_.erase(kind);
    believed = reading;
    return;
  }
  double heldPercent = believed.usedPercent;
  bool believable = acceptsDrop(reading, believed);
  believed = reading;
  // A fall that is not believed still moves the observation forward.
  if (!believable) believed.usedPercent = heldPercent;
}

bool UsageState::acceptsDrop(const UsageWindow& reading, const UsageWindow& believed) {
  const WindowKind& kind = reading.kind;
  if (believed.usedPercent - reading.usedPercent < resetDrop) return false;
  if (expectingReset_.erase(kind) > 0) {
    pendingDrops_.erase(kind);
    return true;
  }
  auto pending = pendingDrops_.find(kind);
  if (pending != pendingDrops_.end()) {
    const UsageWindow& earlier = pending->second;
    bool waitedLongEnough = addSeconds(earlier.observedAt, kDropConfirmationWait) <= reading.observedAt;
    bool closeToEarlier = reading.usedPercent >= earlier.usedPercent - kDropConfirmationTolerance;
    if (waitedLongEnough && closeToEarlier) {
      pendingDrops_.erase(pending);
      return true;
    }
  }
  pendingDrops_.insert_or_assign(kind, reading);
  return false;
}

void UsageState::expectReset(const std::vector<WindowKind>& kinds) {
  expectingReset_.insert(kinds.begin(), kinds.end());
}

void UsageState::setInsights(std::optional<UsageInsights> insights) {
  if (insights) insights_ = std::move(insights);
}

std::vector<UsageWindow> UsageState::current(Date now) const {
  std::vector<UsageWindow> result;
  result.reserve(windows_.size());
  for (const auto& [kind, window] : windows_) {
    UsageWindow shown = window;
    if (shown.hasReset(now)) {
      shown.usedPercent = 0;
      shown.resetsAt.reset();
    }
    result.push_back(std::move(shown));
  }
  return result;
}

std::optional<Date> UsageState::lastObservedAt() const {
  return latestObservation(windows_, [](const UsageWindow&) { return true; });
}

std::optional<Date> UsageState::lastObserved(DataSource source) const {
  return latestObservation(windows_, [source](const UsageWindow& window) { return window.source == source; });
}

}  // namespace ovel
