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

  // Names the running application ("Ovel", desktop entry "ovel") and gives
  // every window the application icon. It sets no display name, which Qt
  // would append to every window title ("Ovel Settings \u2014 Ovel").
  static void identifyApplication();

  // <exe dir>/../libexec/ovel/ovel-bridge (installed), then
  // <exe dir>/ovel-bridge (build tree).
  std::vector<std::filesystem::path> relayCandidates() const;
};

}  // namespace ovel
