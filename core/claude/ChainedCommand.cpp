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
    auto decoded = StatusLineIntegration::Record::decoded(bytes);
    const JSONValue::Object* statusLine = decoded && decoded->originalStatusLine
                                              ? decoded->originalStatusLine->asObject()
                                              : nullptr;
    auto found = statusLine ? statusLine->find("command") : JSONValue::Object::const_iterator();
    const std::string* command = statusLine && found != statusLine->end() ? found->second.asString() : nullptr;
    if (command && !StatusLineIntegration::namesRelay(*command)) chained.command = *command;
  } catch (const std::exception&) { chained.command.reset(); }
  return chained;
}

}  // namespace ovel
