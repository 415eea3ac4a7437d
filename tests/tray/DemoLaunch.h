// The application's delegate started on a demo scenario with the real
// desktop services, its preferences in memory and its window frames in a
// folder of the test's own.
#pragma once

#include <QSettings>

#include <memory>

#include "AppDelegate.h"
#include "support/TestSupport.h"

namespace ovel::test {

inline std::unique_ptr<AppDelegate> launchDemo(const TempDir& dir, const char* scenario,
                                               DesktopServices services = DesktopServices::standard()) {
  services.makeDefaults = [] { return std::make_unique<MemoryDefaultsStore>(); };
  services.makeWindowSettings = [&dir] {
    return std::make_unique<QSettings>(QString::fromStdString((dir / "windows.conf").string()), QSettings::IniFormat);
  };
  auto delegate = std::make_unique<AppDelegate>(std::vector<std::string>{"Ovel", "--demo", scenario},
                                                AppBundle{QStringLiteral("ovel"), dir / "bin/Ovel"},
                                                std::move(services));
  delegate->applicationDidFinishLaunching();
  return delegate;
}

}  // namespace ovel::test
