// integration.json: what reads writes back the same.
#include "FuzzTarget.h"
#include "core/claude/StatusLineIntegration.h"

namespace ovel {

OVEL_FUZZ_TARGET(IntegrationRecord) {
  auto record = StatusLineIntegration::Record::decoded(input);
  if (!record) return;
  fuzz::check(StatusLineIntegration::Record::decoded(record->encoded()) == record,
              "integration.json does not read back");
}

}  // namespace ovel
