// What /usage reports besides the windows, and the merged current readings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Time.h"

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

}  // namespace ovel
