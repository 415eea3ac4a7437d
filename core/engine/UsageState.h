// What /usage reports besides the windows, and the merged current readings.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "core/engine/EngineConstants.h"
#include "core/engine/WindowModel.h"
#include "core/support/Time.h"

namespace ovel {

struct UsageInsights {
  struct Finding {
    double percent = 0;
    std::string text;
    bool operator==(const Finding&) const = default;
  };
  struct Share {
    std::string name;
    double percent = 0;
    bool operator==(const Share&) const = default;
  };
  struct Period {
    std::string label;
    std::optional<long long> requests;
    std::optional<long long> sessions;
    std::vector<Finding> findings;
    std::vector<Share> topSkills;
    std::vector<Share> topSubagents;
    bool operator==(const Period&) const = default;
  };

  std::vector<Period> periods;
  Date observedAt;

  bool operator==(const UsageInsights&) const = default;
};

// Structured coding with the field names as keys and observedAt as seconds
// since 1970. Absent counts are left out, and read back as absent when
// missing or null; every other key is required. Decoding throws
// nlohmann::json::exception on a missing key or a value of the wrong type.
void to_json(nlohmann::json& json, const UsageInsights::Finding& finding);
void from_json(const nlohmann::json& json, UsageInsights::Finding& finding);
void to_json(nlohmann::json& json, const UsageInsights::Share& share);
void from_json(const nlohmann::json& json, UsageInsights::Share& share);
void to_json(nlohmann::json& json, const UsageInsights::Period& period);
void from_json(const nlohmann::json& json, UsageInsights::Period& period);
void to_json(nlohmann::json& json, const UsageInsights& insights);
void from_json(const nlohmann::json& json, UsageInsights& insights);

// The application's belief about the current reading of every window. The
// two sources arrive out of order and can briefly report too little, so a
// fall within one window instance is held back until it is expected (a
// redeemed reset) or confirmed by a second low reading a minute later.
// A plain value: kept in memory only, no locking.
class UsageState {
 public:
  // The least fall within one instance that can ever be believed.
  static constexpr double resetDrop = kResetDropPoints;

  // Folds the readings in one after another; a later one is judged against
  // what the earlier ones left. A reading older than the believed one is
  // ignored, unless the believed one was stamped by a clock that has since
  // come back (ahead of `now` and of the reading by more than a few
  // minutes): then the reading is taken.
  void merge(const std::vector<UsageWindow>& readings, Date now);
  // The next fall of at least resetDrop of these kinds is believed at once.
  void expectReset(const std::vector<WindowKind>& kinds);
  // Replaces the insights when a value is given; nothing keeps them.
  void setInsights(std::optional<UsageInsights> insights);

  // The believed windows in WindowKind order; one whose reset has passed at
  // `now` comes back at 0 % with no reset time.
  std::vector<UsageWindow> current(Date now) const;
  // The latest observation among the believed windows (pending drops do
  // not count).
  std::optional<Date> lastObservedAt() const;
  std::optional<Date> lastObserved(DataSource source) const;

  const std::map<WindowKind, UsageWindow>& windows() const { return windows_; }
  const std::optional<UsageInsights>& insights() const { return insights_; }
  // Per kind, the most recent low reading that is not (yet) believed.
  const std::map<WindowKind, UsageWindow>& pendingDrops() const { return pendingDrops_; }
  const std::set<WindowKind>& expectingReset() const { return expectingReset_; }

  bool operator==(const UsageState&) const = default;

 private:
  void mergeOne(const UsageWindow& reading, Date now);
  // Whether a fall from `believed` to `reading` is believed; may record or
  // clear the kind's pending drop and use up its expectation.
  bool acceptsDrop(const UsageWindow& reading, const UsageWindow& believed);

  std::map<WindowKind, UsageWindow> windows_;
  std::optional<UsageInsights> insights_;
  std::map<WindowKind, UsageWindow> pendingDrops_;
  std::set<WindowKind> expectingReset_;
};

}  // namespace ovel
