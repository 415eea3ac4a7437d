// The /usage text parser, in the system zone and in a zone with summer time.
#include "FuzzTarget.h"
#include "core/claude/UsageCommandParser.h"

namespace ovel {

OVEL_FUZZ_TARGET(UsageText) {
  const Date now = dateFromSeconds1970(1772560800);  // 2026-03-03T18:00:00Z
  for (const char* zone : {"UTC", "America/New_York"}) {
    auto result = UsageCommandParser::parse(input, now, zone);
    for (const auto& window : result.windows) {
      fuzz::check(window.source == DataSource::usageCommand && window.observedAt == now, "window stamp");
      fuzz::check(!window.resetsAt || isCalendarSeconds(secondsSince1970(*window.resetsAt)),
                  "a reset no calendar can show");
    }
    fuzz::check(result.isSubscription || result.windows.empty(), "windows without the subscription flag");
  }
}

}  // namespace ovel
