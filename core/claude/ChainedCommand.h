// The user's own status-line command as the relay runs it. It comes from
// the integration record only when no one but the user could have written
// the record (FileTrust): otherwise anyone who can write the data folder
// could run commands as the user at the next status-line refresh. The
// application asks the same before it connects and when it shows whether
// the user's status line is kept.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/support/FileTrust.h"

namespace ovel {

struct ChainedCommand {
  // The saved "statusLine" object's string "command", unless it names the
  // relay (an empty command counts); absent when there is none to run.
  std::optional<std::string> command;
  // Why a record that is there may not be used: absent when it was read, or
  // when there is no record at all.
  std::optional<Untrusted> refusal;

  // Never throws.
  static ChainedCommand read(const std::filesystem::path& record, uid_t user = ::geteuid()) noexcept;
};

}  // namespace ovel
