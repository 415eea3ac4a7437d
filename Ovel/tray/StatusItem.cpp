#include "tray/StatusItem.h"

#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QIconEngine>
#include <QMenu>
#include <QPaintDevice>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "model/Log.h"
#include "tray/PanelAppearance.h"
#include "tray/StatusNotifierItem.h"
#include "tray/XEmbedTray.h"

namespace ovel {
namespace {

using namespace std::chrono_literals;

// XEmbed icons: how often and how many times the panel around them is
// looked at once the tray has embedded them, and for how many of those looks
// the first icons are held back (transparent) so they never show in the
// wrong tone. Held until then too: Qt shows none before.
constexpr auto kLookInterval = 100ms;
constexpr int kLooks = 100;
constexpr int kHeldLooks = 10;
// A panel that restarts has its host back within this; one that left for
// good leaves the icons to an XEmbed tray.
constexpr auto kHostAbsence = 3s;

// Paints the icon at exactly the size and pixel ratio asked, never scaled.
class PaintedIconEngine final : public QIconEngine {
 public:
  explicit PaintedIconEngine(std::function<QImage(int)> paint) : paint_(std::move(paint)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    double ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    int logical = std::min(rect.width(), rect.height());
    QImage image = paint_(static_cast<int>(std::lround(logical * ratio)));
    image.setDevicePixelRatio(ratio);
    QPoint corner = rect.topLeft() + QPoint((rect.width() - logical) / 2, (rect.height() - logical) / 2);
    painter->drawImage(corner, image);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) override {
    QPixmap pixmap = QPixmap::fromImage(
        paint_(static_cast<int>(std::lround(std::min(size.width(), size.height()) * scale))));
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
  }
  QIconEngine* clone() const override { return new PaintedIconEngine(paint_); }
  QString key() const override { return QStringLiteral("ovel-painted"); }

 private:
  std::function<QImage(int)> paint_;
};

QString joinedToolTip(const StatusItemContent& content) {
  if (content.toolTipText.isEmpty()) return content.toolTipTitle;
  return content.toolTipTitle + QLatin1Char('\n') + content.toolTipText;
}

// An XEmbed tray paints its own background around an icon: the corners of
// the slot, outside the ring, show the panel. Absent when they disagree (a
// picture or a gradient) or cannot be read.
std::optional<QColor> panelAround(const QRect& icon) {
  constexpr int kCorner = 2;
  constexpr int kAgreement = 24;
  QScreen* screen = QGuiApplication::screenAt(icon.center());
  if (!screen || icon.width() < 4 * kCorner || icon.height() < 4 * kCorner) return std::nullopt;
  QImage shot = screen->grabWindow(0, icon.x(), icon.y(), icon.width(), icon.height()).toImage();
  if (shot.isNull()) return std::nullopt;
  int right = shot.width() - kCorner, bottom = shot.height() - kCorner;
  double red = 0, green = 0, blue = 0;
  int lightest = 0, darkest = 255, count = 0;
  for (QPoint corner : {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)})
    for (int dy = 0; dy < kCorner; ++dy)
      for (int dx = 0; dx < kCorner; ++dx) {
        QColor pixel = shot.pixelColor(corner + QPoint(dx, dy));
        red += pixel.redF(), green += pixel.greenF(), blue += pixel.blueF();
        lightest = std::max(lightest, pixel.lightness());
        darkest = std::min(darkest, pixel.lightness());
        ++count;
      }
  if (lightest - darkest > kAgreement) return std::nullopt;
  return QColor::fromRgbF(static_cast<float>(red / count), static_cast<float>(green / count),
                          static_cast<float>(blue / count));
}

QIcon blankIcon() {
  return QIcon(new PaintedIconEngine([](int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
  }));
}

std::vector<ScreenScale> screenScales() {
  std::vector<ScreenScale> scales;
  for (QScreen* screen : QGuiApplication::screens()) scales.push_back({screen->geometry(), screen->devicePixelRatio()});
  return scales;
}

// Where a host says a click was; (0, 0) from one that does not know.
std::optional<QPoint> clickedAt(QPoint device) {
  if (device.isNull()) return std::nullopt;
  return logicalFromDevice(device, screenScales());
}

}  // namespace

QPoint logicalFromDevice(QPoint device, const std::vector<ScreenScale>& screens) {
  for (const ScreenScale& screen : screens) {
    QPoint corner = screen.geometry.topLeft();
    QRect devicePixels(corner, (QSizeF(screen.geometry.size()) * screen.ratio).toSize());
    if (screen.ratio <= 0 || !devicePixels.contains(device)) continue;
    QPoint offset = device - corner;
    return corner + QPoint(static_cast<int>(std::floor(offset.x() / screen.ratio)),
                           static_cast<int>(std::floor(offset.y() / screen.ratio)));
  }
  return device;
}

TrayStatusItem::TrayStatusItem(QObject* parent)
    : StatusItem(parent),
      menu_(std::make_unique<QMenu>()),
      panel_(std::make_unique<PanelAppearance>()),
      settling_(new QTimer(this)),
      panelLook_(new QTimer(this)),
      trayWatch_(new XEmbedTrayWatch(this)),
      hostAway_(new QTimer(this)),
      replies_(std::make_unique<QObject>()) {
  settling_->setSingleShot(true);
  settling_->setInterval(kSettleTime);
  connect(settling_, &QTimer::timeout, this, &TrayStatusItem::syncItems);
  connect(panel_.get(), &PanelAppearance::changed, this, &StatusItem::panelAppearanceChanged);
  connect(panel_.get(), &PanelAppearance::settled, this, &TrayStatusItem::syncItems);
  panelLook_->setInterval(kLookInterval);
  connect(panelLook_, &QTimer::timeout, this, &TrayStatusItem::lookAtPanel);
  // Seen in a native event filter: acted on once Qt has seen it too.
  connect(trayWatch_, &XEmbedTrayWatch::trayStarted, this, &TrayStatusItem::trayStarted, Qt::QueuedConnection);
  connect(trayWatch_, &XEmbedTrayWatch::iconEmbedded, this, &TrayStatusItem::iconEmbedded, Qt::QueuedConnection);
  hostAway_->setSingleShot(true);
  hostAway_->setInterval(kHostAbsence);
  connect(hostAway_, &QTimer::timeout, this, &TrayStatusItem::leaveForXEmbed);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    qCWarning(logTray).noquote() << "no session bus: only an XEmbed tray can show Ovel:" << bus.lastError().message();
    return;
  }
  auto* watch = new QDBusServiceWatcher(StatusNotifierItem::kWatcherService, bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watch, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) { watcherChanged(owner); });
  using Item = StatusNotifierItem;
  bus.connect(Item::kWatcherService, Item::kWatcherPath, Item::kWatcherInterface,
              QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostRegistered()));
  bus.connect(Item::kWatcherService, Item::kWatcherPath, Item::kWatcherInterface,
              QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(hostUnregistered()));
  auto owner = bus.interface()->serviceOwner(StatusNotifierItem::kWatcherService);
  if (owner.isValid()) watcherChanged(owner.value());
}

TrayStatusItem::~TrayStatusItem() {
  // The items show the menu: they go first.
  notifierItems_.clear();
  trayIcons_.clear();
}

bool TrayStatusItem::hasButton() const { return useNotifier_ ? notifierShown() : trayWatch_->trayRuns(); }

void TrayStatusItem::setItems(std::vector<StatusItemContent> items) {
  contents_ = std::move(items);
  syncItems();
}

void TrayStatusItem::setMenuActions(std::vector<MenuAction> actions) {
  actions_ = actions;
  menu_->clear();
  for (auto& action : actions) {
    if (action.text.isEmpty()) menu_->addSeparator();
    else connect(menu_->addAction(action.text), &QAction::triggered, menu_.get(), std::move(action.run));
  }
  for (auto& item : notifierItems_) item->setMenuActions(actions_);
}

QRect TrayStatusItem::anchor() const {
  // The first XEmbed icon stands at the left.
  if (!trayIcons_.empty()) return trayIcons_.front()->geometry();
  return lastClick_;
}

PanelTone TrayStatusItem::panelTone() const { return panel_->tone(); }

std::optional<StatusItem::Place> TrayStatusItem::itemAt(QPoint point) const {
  // A StatusNotifierItem host draws its items itself and never says where.
  for (std::size_t i = 0; i < trayIcons_.size(); ++i)
    if (QRect place = trayIcons_[i]->geometry(); place.contains(point)) return Place{static_cast<int>(i), place};
  return std::nullopt;
}

std::vector<QRect> TrayStatusItem::itemGeometries() const {
  std::vector<QRect> result;
  for (const auto& icon : trayIcons_) result.push_back(icon->geometry());
  return result;
}

void TrayStatusItem::watcherChanged(const QString& owner) {
  watcherRuns_ = !owner.isEmpty();
  hostKnown_ = !watcherRuns_;
  hostRegistered_ = false;
  if (watcherRuns_) {
    // Items wait for a watcher that went away; a new one is told of them
    // in the order they were made, so that hosts place them as before.
    registerNotifierItems(0);
    askWhetherAHostIsRegistered();
    // Icons that no tray shows lose nothing by waiting with the watcher.
    if (!useNotifier_ && (trayIcons_.empty() || !trayWatch_->trayRuns())) useStatusNotifier();
  }
  chooseTray();
}

void TrayStatusItem::askWhetherAHostIsRegistered() {
  auto call = QDBusMessage::createMethodCall(StatusNotifierItem::kWatcherService, StatusNotifierItem::kWatcherPath,
                                             QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  call << StatusNotifierItem::kWatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
  // Only the latest answer counts.
  replies_ = std::make_unique<QObject>();
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), replies_.get());
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    QDBusPendingReply<QDBusVariant> reply = *finished;
    finished->deleteLater();
    // Asked again when a host leaves: the last one gone takes the button.
    if (reply.isError()) qCWarning(logTray).noquote() << "couldn't ask the tray for a host:" << reply.error().message();
    hostKnown_ = true;
    hostRegistered_ = !reply.isError() && reply.value().variant().toBool();
    chooseTray();
  });
}

void TrayStatusItem::hostRegistered() {
  // Newer than any answer on its way.
  replies_ = std::make_unique<QObject>();
  hostKnown_ = true;
  hostRegistered_ = true;
  chooseTray();
}

void TrayStatusItem::hostUnregistered() { askWhetherAHostIsRegistered(); }

void TrayStatusItem::chooseTray() {
  if (notifierShown()) {
    hostAway_->stop();
    wantsXEmbed_ = false;
    useStatusNotifier();
    hostSeen_ = true;
    return;
  }
  // Icons in an XEmbed tray stay there until a host shows items; the
  // watcher's answer may yet be on its way.
  if (!useNotifier_ || !hostKnown_) return;
  // A host that showed the items may be a panel that restarts.
  if (hostSeen_) {
    if (!hostAway_->isActive()) hostAway_->start();
    return;
  }
  leaveForXEmbed();
}

void TrayStatusItem::leaveForXEmbed() {
  if (!useNotifier_ || notifierShown()) return;
  if (trayWatch_->trayRuns()) useXEmbed();
  else wantsXEmbed_ = true;
}

void TrayStatusItem::useStatusNotifier() {
  if (useNotifier_) return;
  useNotifier_ = true;
  hostSeen_ = false;
  trayIcons_.clear();
  trayIconKeys_.clear();
  panelLook_->stop();
  panel_->setSeenPanel(std::nullopt);
  syncItems();
}

void TrayStatusItem::useXEmbed() {
  qCDebug(logTray).noquote() << "no StatusNotifierItem host shows the items: they go to the XEmbed tray";
  hostAway_->stop();
  wantsXEmbed_ = false;
  useNotifier_ = false;
  notifierItems_.clear();
  syncItems();
}

void TrayStatusItem::trayStarted() {
  if (useNotifier_) {
    if (wantsXEmbed_) leaveForXEmbed();
  }
  // A tray that starts again may sit on a panel of another colour.
  else if (!trayIcons_.empty())
    lookAtPanelAnew();
}

int TrayStatusItem::positionOf(int index, int count, bool notifier) { return notifier ? count - 1 - index : index; }

int TrayStatusItem::positionOf(std::size_t index) const {
  std::size_t count = useNotifier_ ? notifierItems_.size() : trayIcons_.size();
  return positionOf(static_cast<int>(index), static_cast<int>(count), useNotifier_);
}

void TrayStatusItem::syncItems() {
  // Hosts draw what they read first: the items wait for the panel's tone.
  if (useNotifier_ && !panel_->isSettled()) return;
  Step step = stepTowardsTheLayout();
  if (step != Step::none) settling_->start();
  if (!useNotifier_) {
    syncTrayIcons();
    return;
  }
  syncNotifierItems();
  // Hosts read an item once it registers: it has its content by then.
  if (step == Step::added && watcherRuns_) notifierItems_.back()->registerWithWatcher();
}

TrayStatusItem::Step TrayStatusItem::stepTowardsTheLayout() {
  // The layout's last change is taken up once the hosts have settled.
  if (settling_->isActive()) return Step::none;
  std::size_t count = contents_.size();
  std::size_t shown = useNotifier_ ? notifierItems_.size() : trayIcons_.size();
  if (shown == count) return Step::none;
  if (shown > count) {
    if (useNotifier_) {
      notifierItems_.pop_back();
    } else {
      trayIcons_.pop_back();
      trayIconKeys_.pop_back();
    }
    return Step::removed;
  }
  if (useNotifier_) notifierItems_.push_back(makeNotifierItem(static_cast<int>(shown)));
  else addTrayIcon();
  return Step::added;
}

void TrayStatusItem::syncNotifierItems() {
  for (std::size_t i = 0; i < notifierItems_.size(); ++i) {
    auto position = static_cast<std::size_t>(positionOf(i));
    // Items beyond the layout wait to go, showing what they showed.
    if (position >= contents_.size()) continue;
    notifierItems_[i]->setPosition(static_cast<int>(position));
    notifierItems_[i]->setContent(contents_[position]);
  }
}

void TrayStatusItem::addTrayIcon() {
  auto icon = std::make_unique<QSystemTrayIcon>();
  icon->setContextMenu(menu_.get());
  QSystemTrayIcon* raw = icon.get();
  // Each press on the icon is a click. Qt pairs two quick presses at one
  // place into a double click whatever window took the first: the press
  // that closed the popover and the next one on the icon come as a
  // DoubleClick alone, with no Trigger.
  connect(raw, &QSystemTrayIcon::activated, this, [this, raw](QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
    auto place = std::find_if(trayIcons_.begin(), trayIcons_.end(),
                              [raw](const auto& icon) { return icon.get() == raw; });
    emit activated(raw->geometry(), positionOf(static_cast<std::size_t>(place - trayIcons_.begin())));
  });
  trayIcons_.push_back(std::move(icon));
  trayIconKeys_.emplace_back();
  if (!panel_->hasSeenPanel() && !panelLook_->isActive()) lookAtPanelAnew();
}

void TrayStatusItem::syncTrayIcons() {
  bool held = iconsWaitForPanel();
  for (std::size_t i = 0; i < trayIcons_.size(); ++i) {
    auto position = static_cast<std::size_t>(positionOf(i));
    if (position >= contents_.size()) continue;
    const StatusItemContent& content = contents_[position];
    // A new icon repaints the slot (and on some trays the panel behind it):
    // only for one that shows something else.
    QString key = held ? QString() : content.iconKey;
    if (paintsAnew(key, trayIconKeys_[i])) {
      trayIcons_[i]->setIcon(held ? blankIcon() : QIcon(new PaintedIconEngine(content.paintIcon)));
      trayIconKeys_[i] = key;
    }
    QString toolTip = toolTipsShown_ ? joinedToolTip(content) : QString();
    if (toolTip != trayIcons_[i]->toolTip()) trayIcons_[i]->setToolTip(toolTip);
    // Shown only once it has an icon: an empty one would dock as a blank.
    trayIcons_[i]->show();
  }
}

void TrayStatusItem::setToolTipsShown(bool shown) {
  if (shown == toolTipsShown_) return;
  toolTipsShown_ = shown;
  for (auto& item : notifierItems_) item->setToolTipShown(shown);
  if (!useNotifier_) syncTrayIcons();
}

std::vector<QString> TrayStatusItem::notifierServices() const {
  std::vector<QString> services(notifierItems_.size());
  for (std::size_t i = 0; i < notifierItems_.size(); ++i)
    services[static_cast<std::size_t>(positionOf(i))] = notifierItems_[i]->service();
  return services;
}

void TrayStatusItem::registerNotifierItems(std::size_t from) {
  if (from >= notifierItems_.size()) return;
  // One after the other: each item's own connection could overtake another's.
  notifierItems_[from]->registerWithWatcher([this, from] {
    if (watcherRuns_) registerNotifierItems(from + 1);
  });
}

void TrayStatusItem::lookAtPanelAnew() {
  // Docking takes a moment, longer on a busy desktop: the looks begin once
  // the tray has embedded an icon, and the panel is seen once it shows
  // around it.
  panelLooksLeft_ = kLooks;
  panelLook_->stop();
  panel_->setSeenPanel(std::nullopt);
}

void TrayStatusItem::iconEmbedded() {
  if (useNotifier_ || trayIcons_.empty() || panel_->hasSeenPanel()) return;
  panelLooksLeft_ = kLooks;
  panelLook_->start();
}

bool TrayStatusItem::iconsWaitForPanel() const {
  return !panel_->hasSeenPanel() && panelLooksLeft_ > kLooks - kHeldLooks;
}

void TrayStatusItem::lookAtPanel() {
  if (useNotifier_ || trayIcons_.empty() || --panelLooksLeft_ <= 0) {
    panelLook_->stop();
    return;
  }
  QRect icon = trayIcons_.front()->geometry();
  if (auto seen = icon.isEmpty() ? std::nullopt : panelAround(icon)) {
    panelLook_->stop();
    panel_->setSeenPanel(seen);
    syncTrayIcons();
  } else if (panelLooksLeft_ == kLooks - kHeldLooks) {
    // Held back no longer: a panel that cannot be read gets the icons in
    // the tone the desktop tells.
    qCDebug(logTray).noquote() << "the panel around the tray icon could not be read yet";
    syncTrayIcons();
  }
}

std::unique_ptr<StatusNotifierItem> TrayStatusItem::makeNotifierItem(int index) {
  auto item = std::make_unique<StatusNotifierItem>(index, actions_);
  connect(item.get(), &StatusNotifierItem::activated, this, [this, index](QPoint at) {
    auto place = clickedAt(at);
    lastClick_ = place ? QRect(*place, QSize(1, 1)) : QRect();
    emit activated(lastClick_, positionOf(static_cast<std::size_t>(index)));
  });
  connect(item.get(), &StatusNotifierItem::contextMenuRequested, this, &TrayStatusItem::openMenu);
  item->setToolTipShown(toolTipsShown_);
  return item;
}

void TrayStatusItem::openMenu(QPoint at) { menu_->popup(clickedAt(at).value_or(QCursor::pos())); }

}  // namespace ovel
