// The probe's reading of claude's JSON answer: a result, or an error whose
// payload is text of at most 300 characters.
#include "FuzzTarget.h"
#include "core/claude/UsageCommandProbe.h"
#include "core/support/JSONValue.h"

namespace ovel {

OVEL_FUZZ_TARGET(ProbeAnswer) {
  try {
    auto result = UsageCommandProbe::interpret(input, dateFromSeconds1970(1772560800), "UTC");
    fuzz::check(!result.windows.empty(), "a result without windows");
  } catch (const ProbeError& error) {
    fuzz::check(isValidUtf8(error.payload()), "a payload that is not UTF-8");
    // 300 characters of at most 4 bytes each, or 300 bytes each turned into U+FFFD.
    fuzz::check(error.payload().size() <= 300 * 4 + 300 * 3, "a payload longer than its cut");
  }
}

}  // namespace ovel
