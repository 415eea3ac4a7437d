// The top of the application: it owns every long-lived object, builds the
// status item and its popover, opens the settings and dashboard windows,
// registers the hot key, follows the system waking up, redraws the status
// item and lets the notifier evaluate after every recompute, and reads the
// command line (demo data, snapshots, windows to open after launch).
#pragma once

#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Notifier.h"
#include "core/engine/History.h"
#include "core/engine/ResetPlan.h"
#include "model/AppBundle.h"
#include "model/AppServices.h"
#include "model/Integrations.h"
#include "model/LoginItem.h"
#include "model/Preferences.h"
#include "platform/DesktopAppearance.h"
#include "platform/HotKey.h"
#include "platform/NotificationCenter.h"
#include "tray/StatusItem.h"

namespace ovel {

class PopoverHost;
class UsageModel;

// The desktop facilities the delegate uses, so that tests can give fakes.
struct DesktopServices {
  std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
  std::function<std::unique_ptr<NotificationCenter>()> makeNotificationCenter;  // null: none
  std::function<std::unique_ptr<LoginItem>(const AppBundle&)> makeLoginItem;
  // Calls `onWake` whenever the system wakes; the result lives as long.
  std::function<std::unique_ptr<QObject>(std::function<void()> onWake)> watchWake;
  // Ctrl+Alt+P; null where the desktop has no such thing.
  std::function<std::unique_ptr<HotKey>(std::function<void()> action)> registerHotKey;
  std::function<AppServices()> makeModelServices;
  std::function<std::unique_ptr<DefaultsStore>()> makeDefaults;
  std::function<std::unique_ptr<QSettings>()> makeWindowSettings;

  // The real ones: tray, D-Bus notifications, XDG autostart, logind, X11.
  static DesktopServices standard();
};

class AppDelegate final : public QObject {
  Q_OBJECT

 public:
  AppDelegate(std::vector<std::string> arguments, AppBundle bundle, DesktopServices services);
  ~AppDelegate() override;

  // Names the running application ("Ovel", desktop entry "ovel") and gives
  // every window the application icon. It sets no display name, which Qt
  // would append to every window title ("Ovel Settings \u2014 Ovel").
  static void identifyApplication();

  // The start-up sequence; runs once the event loop is about to start.
  void applicationDidFinishLaunching();
  void applicationWillTerminate();

  // Opens under the first tray item (the hot key), or under `anchor`.
  void togglePopover();
  void togglePopover(const QRect& anchor);
  // A click on tray item `item`: toggles the popover, or moves it there
  // from under another item.
  void itemClicked(const QRect& anchor, int item);
  // Ovel was started again, or a notice was clicked: the popover comes up,
  // or the dashboard where there is no tray item to open it under.
  void reopen();
  // Ctrl+Alt+P: toggles the popover, or opens the dashboard where there is
  // no tray item to open the popover under.
  void hotKeyPressed();
  void openSettings();
  void openDashboard();
  void didWake();

  // Built on first use, once.
  UsageModel& model();
  Preferences& preferences() { return *preferences_; }
  Integrations& integrations() { return *integrations_; }
  StatusItem* statusItem() const { return statusItem_.get(); }
  PopoverHost* popover() const { return popover_.get(); }
  QWidget* settingsWindow() const { return settingsWindow_; }
  QWidget* dashboardWindow() const { return dashboardWindow_; }
  // "Ovel" without a headline, else "Ovel — " and its verdict.
  QString toolTip();
  // The status of a snapshot run: set once its images are written.
  std::function<void(int status)> onSnapshotFinished;

 private:
  // `action` on this delegate while it lives; nothing once it is gone.
  std::function<void()> weakly(void (AppDelegate::*action)());
  void modelDidChange();
  void updateStatusItem();
  void observePreferences();
  void followDesktopAppearance();
  void showPopover(const QRect& anchor, int item);
  // Whether a tray shows an item the popover can open under.
  bool hasTrayButton() const;
  void evaluateNotifications();
  bool hasArgument(const char* flag) const;

  std::vector<std::string> arguments_;
  AppBundle bundle_;
  DesktopServices services_;
  std::unique_ptr<DefaultsStore> defaults_;
  std::unique_ptr<Preferences> preferences_;
  std::unique_ptr<Integrations> integrations_;
  std::unique_ptr<NotificationCenter> center_;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<QSettings> windowSettings_;
  std::unique_ptr<HistoryStore> historyStore_;
  std::unique_ptr<UsageModel> model_;
  std::unique_ptr<StatusItem> statusItem_;
  std::unique_ptr<PopoverHost> popover_;
  // The tray item the popover opened under.
  int popoverItem_ = 0;
  QPointer<QWidget> settingsWindow_;
  QPointer<QWidget> dashboardWindow_;
  std::unique_ptr<HotKey> hotKey_;
  std::unique_ptr<QObject> wakeWatch_;
  // What the windows draw in, light or dark.
  std::shared_ptr<DesktopAppearance> desktopAppearance_;
};

}  // namespace ovel
