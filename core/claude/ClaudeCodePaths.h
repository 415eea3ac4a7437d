// Where Claude Code keeps its files, by the rule Claude Code itself uses.
#pragma once

#include <filesystem>

namespace ovel {

inline constexpr const char* kClaudeConfigDirVariable = "CLAUDE_CONFIG_DIR";

// $CLAUDE_CONFIG_DIR, tilde-expanded, else ~/.claude. An empty value counts
// as unset, as it does for Claude Code: taken literally it would name the
// current folder. Worked out on every call.
std::filesystem::path claudeConfigDirectory();

}  // namespace ovel
