// What the application knows of itself as installed: its identity (absent
// when it runs unpackaged in tests) and where its executable lies, from
// which the relay to install is found.
#pragma once

#include <QString>

#include <filesystem>
#include <optional>
#include <vector>

namespace ovel {

struct AppBundle {
  std::optional<QString> identifier;  // the desktop-file name, "ovel"
  std::filesystem::path executable;

  // The running program, identified as "ovel".
  static AppBundle current();

  // <exe dir>/../libexec/ovel/ovel-bridge (installed), then
  // <exe dir>/ovel-bridge (build tree).
  std::vector<std::filesystem::path> relayCandidates() const;
};

}  // namespace ovel
