// A whole transcript file through the scanner, read in one scan and again
// after more was appended.
#include <algorithm>

#include "FuzzTarget.h"
#include "core/claude/LocalActivityScanner.h"

namespace ovel {

OVEL_FUZZ_TARGET(TranscriptFile) {
  const Date now = dateFromSeconds1970(1748822400);  // 2025-06-02T00:00:00Z
  fuzz::scratchFile("projects/p/session.jsonl", input);
  LocalActivityScanner scanner(fuzz::scratchFolder() / "projects");
  auto check = [&](const std::vector<ActivityEvent>& events) {
    fuzz::check(std::is_sorted(events.begin(), events.end(),
                               [](const auto& a, const auto& b) { return a.timestamp < b.timestamp; }),
                "events out of order");
    for (const auto& event : events)
      fuzz::check(event.timestamp >= addSeconds(now, -scanner.lookback()), "an event before the look-back");
  };
  check(scanner.scan(now));
  std::string longer(input);
  longer += "\n";
  longer += input;
  fuzz::scratchFile("projects/p/session.jsonl", longer);
  check(scanner.scan(now));
}

}  // namespace ovel
