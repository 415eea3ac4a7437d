#include "core/claude/ClaudeCodePaths.h"

#include "core/engine/OvelPaths.h"

namespace ovel {

std::filesystem::path claudeConfigDirectory() {
  if (auto configured = nonEmptyEnvironment(kClaudeConfigDirVariable)) return expandTilde(*configured);
  return homeDirectory() / ".claude";
}

}  // namespace ovel
