// The application's delegate started (on a demo scenario, or on no data at
// all) with the real desktop services, its preferences in memory and its
// window frames in a folder of the test's own.
#pragma once

#include <QSettings>

#include <memory>

#include "AppDelegate.h"
#include "support/TestSupport.h"

namespace ovel::test {

// Started with `arguments` after the program's name.
inline std::unique_ptr<AppDelegate> launchApp(const TempDir& dir, std::vector<std::string> arguments,
                                              DesktopServices services = DesktopServices::standard()) {
  services.makeDefaults = [] { return std::make_unique<MemoryDefaultsStore>(); };
  services.makeWindowSettings = [&dir] {
    return std::make_unique<QSettings>(QString::fromStdString((dir / "windows.conf").string()), QSettings::IniFormat);
  };
  arguments.insert(arguments.begin(), "Ovel");
  auto delegate = std::make_unique<AppDelegate>(
      std::move(arguments), AppBundle{QStringLiteral("ovel"), dir / "bin/Ovel"}, std::move(services));
  delegate->applicationDidFinishLaunching();
  return delegate;
}

inline std::unique_ptr<AppDelegate> launchDemo(const TempDir& dir, const char* scenario,
                                               DesktopServices services = DesktopServices::standard()) {
  return launchApp(dir, {"--demo", scenario}, std::move(services));
}

}  // namespace ovel::test
