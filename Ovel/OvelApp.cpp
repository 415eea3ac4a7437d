// The program entry: a tray application with no main window of its own.
#include <QApplication>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppDelegate.h"
#include "Demo.h"
#include "Snapshot.h"
#include "core/FileIO.h"
#include "core/OvelPaths.h"
#include "platform/InstanceLock.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Ovel"));
  QApplication::setOrganizationName(QStringLiteral("Ovel"));
  QApplication::setApplicationDisplayName(QStringLiteral("Ovel"));
  QApplication::setApplicationVersion(QStringLiteral(OVEL_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("ovel"));
  // Closing the dashboard or the settings must not end a tray application.
  QApplication::setQuitOnLastWindowClosed(false);

  std::vector<std::string> arguments;
  for (const QString& argument : QApplication::arguments()) arguments.push_back(argument.toStdString());

  // Two copies appending to one history would lose lines when either
  // rewrites it; demos and snapshots write nothing there.
  std::optional<ovel::InstanceLock> lock;
  if (!ovel::Demo::requested(arguments) && !ovel::Snapshot::directory(arguments)) {
    lock.emplace(ovel::OvelPaths::root());
    if (!lock->isHeld()) {
      std::fprintf(stderr, "%s\n", lock->error().c_str());
      return 1;
    }
    // Whatever a write that was killed halfway left beside our files.
    ovel::removeStaleTemporaries(ovel::OvelPaths::root());
  }

  ovel::AppDelegate delegate(arguments, ovel::AppBundle::current(), ovel::DesktopServices::standard());
  QObject::connect(&app, &QApplication::aboutToQuit, &delegate, [&delegate] { delegate.applicationWillTerminate(); });
  delegate.applicationDidFinishLaunching();
  return app.exec();
}
