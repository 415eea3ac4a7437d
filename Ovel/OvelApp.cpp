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
#include "core/OvelPaths.h"
#include "platform/InstanceLock.h"
#include "platform/RunningInstance.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ovel::AppBundle::identifyApplication();
  QApplication::setApplicationVersion(QStringLiteral(OVEL_VERSION));
  // Closing the dashboard or the settings must not end a tray application.
  QApplication::setQuitOnLastWindowClosed(false);

  std::vector<std::string> arguments;
  for (const QString& argument : QApplication::arguments()) arguments.push_back(argument.toStdString());

  // Two copies appending to one history would lose lines when either
  // rewrites it; demos and snapshots write nothing there. Started again, Ovel
  // brings the running copy forward and goes.
  std::optional<ovel::InstanceLock> lock;
  std::unique_ptr<ovel::RunningInstance> instance;
  if (!ovel::Demo::requested(arguments) && !ovel::Snapshot::directory(arguments)) {
    lock.emplace(ovel::OvelPaths::root());
    if (lock->isHeldElsewhere() && ovel::RunningInstance::activate(ovel::OvelPaths::root())) return 0;
    if (!lock->isHeld()) {
      std::fprintf(stderr, "%s\n", lock->error().c_str());
      return 1;
    }
    instance = std::make_unique<ovel::RunningInstance>(ovel::OvelPaths::root());
  }

  ovel::AppDelegate delegate(arguments, ovel::AppBundle::current(), ovel::DesktopServices::standard());
  if (instance)
    QObject::connect(instance.get(), &ovel::RunningInstance::activated, &delegate, &ovel::AppDelegate::reopen);
  QObject::connect(&app, &QApplication::aboutToQuit, &delegate, [&delegate] { delegate.applicationWillTerminate(); });
  delegate.applicationDidFinishLaunching();
  return app.exec();
}
