// Reads the text of Claude Code's `/usage` command: limit windows and the
// insights sections. Pure: lines it cannot read are skipped, values it cannot
// read are absent, and nothing ever fails as a whole.
//
// Reset times are resolved against `now` in a time zone: the one named in
// parentheses after the time when the tz database knows it, else the system
// zone. `systemZone` names that zone (an IANA id); empty means the machine's
// own ($TZ when set and known, else /etc/localtime).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine/UsageState.h"
#include "core/engine/WindowModel.h"
#include "core/support/Time.h"

namespace ovel {

struct UsageCommandParser {
  UsageCommandParser() = delete;

  struct Result {
    std::vector<UsageWindow> windows;       // in text order, duplicates kept
    std::optional<UsageInsights> insights;  // absent when no period header was found
    bool isSubscription = false;            // "subscription" in any case, or a window found
    bool operator==(const Result&) const = default;
  };

  static Result parse(std::string_view text, Date now, std::string_view systemZone = {});

  // "Current <label>: <n>% ... resets <time>"; the "Current " in any case.
  static std::optional<UsageWindow> parseWindowLine(std::string_view line, Date now, std::string_view systemZone = {});
  static std::optional<WindowKind> windowKind(std::string_view label);
  static std::optional<double> leadingPercent(std::string_view text);
  // "3pm", "9:30am", "15", "Mar 6 at 9:30am", "Nov 20, 1:30pm",
  // "Jan 2, 2027, 9am", each optionally followed by "(<zone>)".
  static std::optional<Date> parseResetTime(std::string_view text, Date now, std::string_view systemZone = {});
  static std::optional<int> monthNumber(std::string_view name);

  // "Last 7d · 1,234 requests · 56 sessions".
  static std::optional<UsageInsights::Period> parsePeriodHeader(std::string_view line);
  // "Top skills: code-review 12%, tests 8.5%" with the prefix "Top skills:".
  static std::optional<std::vector<UsageInsights::Share>> parseShares(std::string_view line, std::string_view prefix);
  // "30% of your usage came from subagents", or "34%  Compact before ...".
  static std::optional<UsageInsights::Finding> parseFinding(std::string_view line);

  // True when the first non-empty line begins with "Total cost:" or
  // "Estimated cost:": the session cost block, which is all that /usage
  // prints for a user without a subscription.
  static bool isCostBlock(std::string_view text);
};

}  // namespace ovel
