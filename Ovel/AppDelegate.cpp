#include "AppDelegate.h"

#include <QApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>

#include "Snapshot.h"
#include "core/engine/EngineConstants.h"
#include "core/engine/OvelPaths.h"
#include "dashboard/DashboardView.h"
#include "model/DefaultsStore.h"
#include "model/Demo.h"
#include "model/Format.h"
#include "model/Log.h"
#include "model/UsageModel.h"
#include "platform/AutostartLoginItem.h"
#include "platform/PopoverHost.h"
#include "platform/SleepWatcher.h"
#include "platform/WindowFrames.h"
#include "popover/PopoverView.h"
#include "settings/GeneralTab.h"
#include "settings/SettingsView.h"
#include "tray/MenuBarGlyph.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kShowDashboardDelay = 1000;
constexpr int kShowPopoverDelay = 4000;

// Marks for a light or a dark panel, or for one whose tone nothing tells.
std::optional<Appearance> appearanceOf(PanelTone tone) {
  switch (tone) {
    case PanelTone::light: return Appearance::light;
    case PanelTone::dark: return Appearance::dark;
    case PanelTone::unknown: break;
  }
  return std::nullopt;
}

// What the settings window says of a shortcut that could not be taken;
// nothing where there is no X server to take it from.
QString hotKeyProblemText(const HotKey* hotKey) {
  switch (hotKey ? hotKey->problem() : HotKey::Problem::none) {
    case HotKey::Problem::heldElsewhere:
      return QStringLiteral("Ctrl+Alt+P is in use by another program, so it can't open Ovel.");
    case HotKey::Problem::noSuchKey: return QStringLiteral("Ctrl+Alt+P can't open Ovel: the keyboard has no P key.");
    case HotKey::Problem::none:
    case HotKey::Problem::noX11: break;
  }
  return {};
}

}  // namespace

DesktopServices DesktopServices::standard() {
  DesktopServices services;
  services.makeStatusItem = []() -> std::unique_ptr<StatusItem> {
    // Off screen there is no tray to dock in.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return nullptr;
    return std::make_unique<TrayStatusItem>();
  };
  services.makeNotificationCenter = [] {
    return FreedesktopNotificationCenter::create(QDBusConnection::sessionBus(), QStringLiteral("ovel"),
                                                 QIcon(QStringLiteral(":/ovel.svg")).pixmap(64).toImage());
  };
  services.makeLoginItem = [](const AppBundle& bundle) -> std::unique_ptr<LoginItem> {
    if (!bundle.identifier) return nullptr;
    return std::make_unique<AutostartLoginItem>(bundle.executable, *bundle.identifier);
  };
  services.watchWake = [](std::function<void()> onWake) {
    auto watcher = std::make_unique<SleepWatcher>();
    QObject::connect(watcher.get(), &SleepWatcher::didWake, watcher.get(), std::move(onWake));
    return watcher;
  };
  services.registerHotKey = [](std::function<void()> action) {
    return std::make_unique<HotKey>('p', HotKey::kControl | HotKey::kAlt, std::move(action));
  };
  services.makeModelServices = [] { return AppServices::standard(); };
  services.makeDefaults = [] { return std::make_unique<SettingsDefaultsStore>(); };
  services.makeWindowSettings = [] { return openUserSettings(); };
  return services;
}

void AppDelegate::identifyApplication() {
  QGuiApplication::setApplicationName(QStringLiteral("Ovel"));
  QGuiApplication::setOrganizationName(QStringLiteral("Ovel"));
  QGuiApplication::setDesktopFileName(QStringLiteral("ovel"));
  // The installed theme icon, else the one built in.
  QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ovel"), QIcon(QStringLiteral(":/ovel.svg"))));
}

AppDelegate::AppDelegate(std::vector<std::string> arguments, AppBundle bundle, DesktopServices services)
    : arguments_(std::move(arguments)), bundle_(std::move(bundle)), services_(std::move(services)) {
  defaults_ = services_.makeDefaults();
  preferences_ = std::make_unique<Preferences>(*defaults_);
  integrations_ = std::make_unique<Integrations>(bundle_, services_.makeLoginItem(bundle_));
  // A notification centre only for a packaged application. A click on a
  // notice brings Ovel up as a second start does.
  if (bundle_.identifier) center_ = services_.makeNotificationCenter();
  if (center_) center_->setOpenAction(weakly(&AppDelegate::reopen));
  notifier_ = std::make_unique<Notifier>(center_.get());
  windowSettings_ = services_.makeWindowSettings();
  popover_ = std::make_unique<PopoverHost>();
  desktopAppearance_ = DesktopAppearance::shared();
  connect(desktopAppearance_.get(), &DesktopAppearance::changed, this, &AppDelegate::followDesktopAppearance);
  followDesktopAppearance();
}

AppDelegate::~AppDelegate() {
  // Windows show the model: they go before it. The hot key needs no
  // applicationWillTerminate() here: destroyed, it gives itself back.
  delete settingsWindow_.data();
  delete dashboardWindow_.data();
  popover_.reset();
}

bool AppDelegate::hasArgument(const char* flag) const {
  return std::find(arguments_.begin(), arguments_.end(), flag) != arguments_.end();
}

UsageModel& AppDelegate::model() {
  if (!model_) {
    historyStore_ = std::make_unique<HistoryStore>(OvelPaths::history(), kHistoryRetention, kHistoryHeartbeat);
    model_ = std::make_unique<UsageModel>(*preferences_, *historyStore_, ResetPlanStore(OvelPaths::resetPlan()),
                                          OvelPaths::statusLineSnapshot(), services_.makeModelServices());
  }
  return *model_;
}

void AppDelegate::applicationDidFinishLaunching() {
  QPointer<AppDelegate> self(this);
  statusItem_ = services_.makeStatusItem();
  if (statusItem_) {
    connect(statusItem_.get(), &StatusItem::activated, this, &AppDelegate::itemClicked);
    connect(statusItem_.get(), &StatusItem::panelAppearanceChanged, this, &AppDelegate::updateStatusItem);
    statusItem_->setMenuActions({
        {QStringLiteral("Open Ovel"), weakly(&AppDelegate::togglePopover)},
        {QStringLiteral("Dashboard"), weakly(&AppDelegate::openDashboard)},
        {QStringLiteral("Settings"), weakly(&AppDelegate::openSettings)},
        {QString(), {}},
        {QStringLiteral("Quit Ovel"), [] { QApplication::quit(); }},
    });
  }
  // The items' tooltips would stay over the open popover, which holds the
  // pointer: they come back once it closes.
  connect(popover_.get(), &PopoverHost::closed, this, [this] {
    if (statusItem_) statusItem_->setToolTipsShown(true);
  });
  // The click that closed the popover never reaches the tray: on another
  // item it opens the popover there.
  connect(popover_.get(), &PopoverHost::dismissedByClick, this, [this](QPoint at) {
    auto place = statusItem_ ? statusItem_->itemAt(at) : std::nullopt;
    if (place && place->item != popoverItem_) showPopover(place->geometry, place->item);
  });

  UsageModel& usage = model();
  popover_->setContent(
      new PopoverView(usage, *integrations_, weakly(&AppDelegate::openSettings), weakly(&AppDelegate::openDashboard)));
  // A snapshot run renders and quits: the shortcut stays free for the
  // running copy.
  if (!Snapshot::directory(arguments_)) hotKey_ = services_.registerHotKey(weakly(&AppDelegate::hotKeyPressed));
  wakeWatch_ = services_.watchWake(weakly(&AppDelegate::didWake));
  connect(&usage, &UsageModel::changed, this, &AppDelegate::modelDidChange);
  integrations_->refresh();
  if (notifier_->hasCenter()) notifier_->requestAuthorization(weakly(&AppDelegate::evaluateNotifications));
  observePreferences();
  updateStatusItem();

  if (auto scenario = Demo::requested(arguments_)) usage.startDemo(Demo::make(*scenario, systemNow()));
  else usage.start();

  if (auto directory = Snapshot::directory(arguments_)) {
    Snapshot::run(usage, *integrations_, *preferences_, *directory, [self](std::vector<std::string> failed) {
      for (const std::string& file : failed) std::fprintf(stderr, "Ovel: couldn't write %s\n", file.c_str());
      int status = failed.empty() ? 0 : 1;
      if (self && self->onSnapshotFinished) self->onSnapshotFinished(status);
      else QApplication::exit(status);
    });
  }
  if (hasArgument("--show-dashboard")) QTimer::singleShot(kShowDashboardDelay, this, [this] { openDashboard(); });
  if (hasArgument("--show-popover")) QTimer::singleShot(kShowPopoverDelay, this, [this] { togglePopover(); });
}

void AppDelegate::applicationWillTerminate() {
  if (hotKey_) hotKey_->unregister();
  // Every sample is in the file already, unless an append failed; a
  // rewrite may still be under way.
  if (model_) model_->finishHistoryWrites();
  windowSettings_->sync();
  if (windowSettings_->status() != QSettings::NoError)
    qCWarning(logApp).noquote() << "couldn't save the window places in" << windowSettings_->fileName();
}

void AppDelegate::togglePopover() { togglePopover(statusItem_ ? statusItem_->anchor() : QRect()); }

void AppDelegate::hotKeyPressed() {
  // Without a tray item to open the popover under, the dashboard comes up,
  // as for a second start.
  if (hasTrayButton()) togglePopover();
  else openDashboard();
}

bool AppDelegate::hasTrayButton() const { return statusItem_ && statusItem_->hasButton(); }

void AppDelegate::togglePopover(const QRect& anchor) {
  if (popover_->isShown()) popover_->close();
  else showPopover(anchor, 0);
}

void AppDelegate::itemClicked(const QRect& anchor, int item) {
  if (popover_->isShown() && item == popoverItem_) popover_->close();
  else showPopover(anchor, item);
}

void AppDelegate::showPopover(const QRect& anchor, int item) {
  if (!hasTrayButton()) return;
  if (!popover_->isShown()) {
    model().refreshIfStale();
    integrations_->refresh();
  }
  popoverItem_ = item;
  statusItem_->setToolTipsShown(false);
  popover_->show(anchor);
}

void AppDelegate::reopen() {
  if (!hasTrayButton()) openDashboard();
  else if (!popover_->isShown()) togglePopover();
}

template <class MakeView>
static QWidget* windowOnce(QPointer<QWidget>& window, const WindowSetup& setup, QSettings& settings,
                           MakeView makeView) {
  if (!window) {
    window = makeView();
    WindowFrames::keep(window, setup, settings);
  }
  return window;
}

void AppDelegate::openSettings() {
  popover_->close();
  QWidget* window = windowOnce(settingsWindow_,
                               {QStringLiteral("Ovel Settings"),
                                SettingsView::kSize,
                                {480, 460},
                                QStringLiteral("OvelSettings"),
                                /*minimizable=*/false},
                               *windowSettings_, [this] {
                                 auto* view = new SettingsView(*preferences_, *integrations_, model());
                                 view->general()->setHotKeyProblem(hotKeyProblemText(hotKey_.get()));
                                 return view;
                               });
  WindowFrames::present(window);
}

void AppDelegate::openDashboard() {
  popover_->close();
  QWidget* window = windowOnce(
      dashboardWindow_, {QStringLiteral("Ovel"), {860, 640}, {720, 520}, QStringLiteral("OvelDashboard")},
      *windowSettings_,
      [this] { return new DashboardView(model(), *integrations_, weakly(&AppDelegate::openSettings), true); });
  WindowFrames::present(window);
}

void AppDelegate::didWake() { model().refreshIfStale(); }

std::function<void()> AppDelegate::weakly(void (AppDelegate::*action)()) {
  return [self = QPointer<AppDelegate>(this), action] {
    if (self) (self.data()->*action)();
  };
}

void AppDelegate::modelDidChange() {
  updateStatusItem();
  evaluateNotifications();
}

void AppDelegate::evaluateNotifications() {
  if (model().isDemo()) return;
  notifier_->evaluate(model().assessments(), *preferences_, model().now());
}

QString AppDelegate::toolTip() {
  auto headline = OvelEngine::headline(model().assessments());
  if (!headline) return QStringLiteral("Ovel");
  return QString::fromStdString("Ovel \u2014 " + Format::verdict(*headline, model().now()));
}

void AppDelegate::updateStatusItem() {
  if (!statusItem_) return;
  QString title = toolTip();
  // The panel's tone, as far as the desktop tells.
  auto panel = appearanceOf(statusItem_->panelTone());
  std::vector<StatusItemContent> contents;
  for (PaintedTrayItem& painted : MenuBarGlyph::paintedTrayItems(*preferences_, model(), panel)) {
    contents.push_back({std::move(painted.paintIcon), QString::fromStdString(painted.item.label()),
                        QString::fromStdString(painted.item.labelGuide()), title,
                        QString::fromStdString(painted.item.toolTipText()), std::move(painted.iconKey)});
  }
  statusItem_->setItems(std::move(contents));
}

void AppDelegate::followDesktopAppearance() {
  // Open windows repaint in the new palette; a platform theme's is kept.
  DesktopAppearance::offerPalette(Theme::palette(desktopAppearance_->appearance().value_or(Appearance::light)));
}

void AppDelegate::observePreferences() {
  // A burst of changes recomputes once.
  auto* recompute = new RedrawGate(this, [this] { model().recompute(); });
  connect(preferences_.get(), &Preferences::menuBarLayoutChanged, recompute, &RedrawGate::poke);
  connect(preferences_.get(), &Preferences::colorWhenAtRiskChanged, recompute, &RedrawGate::poke);
  connect(preferences_.get(), &Preferences::glyphStyleChanged, recompute, &RedrawGate::poke);
}

}  // namespace ovel
