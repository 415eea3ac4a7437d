// The program entry: a tray application with no main window of its own.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppDelegate.h"
#include "Snapshot.h"
#include "core/engine/OvelPaths.h"
#include "core/support/FileIO.h"
#include "model/Demo.h"
#include "model/Log.h"
#include "platform/InstanceLock.h"
#include "platform/QuitSignals.h"
#include "platform/RunningInstance.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ovel::AppDelegate::identifyApplication();
  QApplication::setApplicationVersion(QStringLiteral(OVEL_VERSION));
  // Closing the dashboard or the settings must not end a tray application.
  QApplication::setQuitOnLastWindowClosed(false);

  std::vector<std::string> arguments;
  for (const QString& argument : QApplication::arguments()) arguments.push_back(argument.toStdString());

  // Two copies appending to one history would lose lines when either
  // rewrites it. Only a demo writes nothing there; a snapshot of real data
  // runs the model, which does. Started again, Ovel brings the running copy
  // forward and goes; a snapshot leaves the running copy alone and fails.
  std::optional<ovel::InstanceLock> lock;
  std::unique_ptr<ovel::RunningInstance> instance;
  if (!ovel::Demo::requested(arguments)) {
    bool snapshot = ovel::Snapshot::directory(arguments).has_value();
    lock.emplace(ovel::OvelPaths::root());
    if (!snapshot && lock->isHeldElsewhere() && ovel::RunningInstance::activate(ovel::OvelPaths::root())) return 0;
    if (!lock->isHeld()) {
      std::fprintf(stderr, "%s\n", lock->error().c_str());
      return 1;
    }
    // A snapshot soon quits: a later start is not handed to it.
    if (!snapshot) instance = std::make_unique<ovel::RunningInstance>(ovel::OvelPaths::root());
    if (instance && !instance->isListening())
      qCWarning(ovel::logDesktop) << "not on the session bus: a second start cannot bring this one forward";
    // Whatever a write that was killed halfway left beside our files.
    ovel::removeStaleTemporaries(ovel::OvelPaths::root());
  }

  // From here on a logout or a stop quits as the tray's Quit does: a
  // prune's rewrite finishes and the window places are saved.
  ovel::QuitSignals quitSignals([](int signal) {
    qCInfo(ovel::logApp).nospace() << "quitting on SIG" << sigabbrev_np(signal);
    QApplication::quit();
  });
  ovel::AppDelegate delegate(arguments, ovel::AppBundle::current(), ovel::DesktopServices::standard());
  if (instance)
    QObject::connect(instance.get(), &ovel::RunningInstance::activated, &delegate, &ovel::AppDelegate::reopen);
  QObject::connect(&app, &QApplication::aboutToQuit, &delegate, [&delegate] { delegate.applicationWillTerminate(); });
  delegate.applicationDidFinishLaunching();
  return app.exec();
}
