#include "core/claude/ChainedCommand.h"

#include "core/claude/StatusLineIntegration.h"

namespace ovel {

ChainedCommand ChainedCommand::read(const std::filesystem::path& record, uid_t user) noexcept {
  ChainedCommand chained;
  try {
    std::string bytes;
    if (auto refused = readTrustedFile(record, bytes, StatusLineIntegration::kRecordSizeLimit, user)) {
      if (refused->reason != Untrusted::Reason::missing) chained.refusal = std::move(refused);
      return chained;
    }
    if (auto decoded = StatusLineIntegration::Record::decoded(bytes))
      chained.command = StatusLineIntegration::commandToChain(*decoded);
  } catch (const std::exception&) { chained.command.reset(); }
  return chained;
}

}  // namespace ovel
