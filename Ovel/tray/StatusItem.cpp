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
// looked at once they dock, and for how many looks the first icons are held
// back (transparent) so they never show in the wrong tone.
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
      panelLook_(new QTimer(this)),
      trayWatch_(new XEmbedTrayWatch(this)),
      hostAway_(new QTimer(this)),
      replies_(std::make_unique<QObject>()) {
  connect(panel_.get(), &PanelAppearance::changed, this, &StatusItem::panelAppearanceChanged);
  connect(panel_.get(), &PanelAppearance::settled, this, &TrayStatusItem::syncItems);
  panelLook_->setInterval(kLookInterval);
  connect(panelLook_, &QTimer::timeout, this, &TrayStatusItem::lookAtPanel);
  // Seen in a native event filter: acted on once Qt has seen it too.
  connect(trayWatch_, &XEmbedTrayWatch::trayStarted, this, &TrayStatusItem::trayStarted, Qt::QueuedConnection);
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
    // Items wait for a watcher that went away; a new one is told of them,
    // the last one first, as they were made.
    for (auto item = notifierItems_.rbegin(); item != notifierItems_.rend(); ++item) (*item)->registerWithWatcher();
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

void TrayStatusItem::syncItems() {
  std::size_t count = contents_.size();
  if (useNotifier_) {
    // Hosts draw what they read first: the items wait for the panel's tone.
    if (!panel_->isSettled()) return;
    if (notifierItems_.size() == count) {
      for (std::size_t i = 0; i < count; ++i) notifierItems_[i]->setContent(contents_[i]);
      return;
    }
    // Hosts put a newer item to the left of the older ones (XFCE's and
    // GNOME's do), and XFCE keeps that place for the item's id. So a new
    // number of items makes every item anew, under ids of that number, and
    // registers the last one first.
    notifierItems_.clear();
    notifierItems_.resize(count);
    for (std::size_t i = count; i-- > 0;) notifierItems_[i] = makeNotifierItem(i);
    return;
  }
  syncTrayIcons();
}

void TrayStatusItem::syncTrayIcons() {
  std::size_t count = contents_.size();
  if (trayIcons_.size() > count) trayIcons_.resize(count);
  bool added = trayIcons_.size() < count;
  while (trayIcons_.size() < count) {
    auto icon = std::make_unique<QSystemTrayIcon>();
    icon->setContextMenu(menu_.get());
    QSystemTrayIcon* raw = icon.get();
    // A double click also sends a Trigger first; taking both would toggle twice.
    connect(raw, &QSystemTrayIcon::activated, this, [this, raw](QSystemTrayIcon::ActivationReason reason) {
      if (reason != QSystemTrayIcon::Trigger) return;
      auto place = std::find_if(trayIcons_.begin(), trayIcons_.end(),
                                [raw](const auto& icon) { return icon.get() == raw; });
      emit activated(raw->geometry(), static_cast<int>(place - trayIcons_.begin()));
    });
    trayIcons_.push_back(std::move(icon));
  }
  trayIconKeys_.resize(count);
  if (added && !panel_->hasSeenPanel() && !panelLook_->isActive()) lookAtPanelAnew();
  bool held = iconsWaitForPanel();
  for (std::size_t i = 0; i < count; ++i) {
    // A new icon repaints the slot (and on some trays the panel behind it):
    // only for one that shows something else.
    QString key = held ? QString() : contents_[i].iconKey;
    if (paintsAnew(key, trayIconKeys_[i])) {
      trayIcons_[i]->setIcon(held ? blankIcon() : QIcon(new PaintedIconEngine(contents_[i].paintIcon)));
      trayIconKeys_[i] = key;
    }
    if (QString toolTip = joinedToolTip(contents_[i]); toolTip != trayIcons_[i]->toolTip())
      trayIcons_[i]->setToolTip(toolTip);
    // Shown only once it has an icon: an empty one would dock as a blank.
    trayIcons_[i]->show();
  }
}

void TrayStatusItem::lookAtPanelAnew() {
  // Docking takes a moment; the panel is seen once it shows around the icon.
  panelLooksLeft_ = kLooks;
  panelLook_->start();
  panel_->setSeenPanel(std::nullopt);
}

bool TrayStatusItem::iconsWaitForPanel() const {
  return !panel_->hasSeenPanel() && panelLook_->isActive() && panelLooksLeft_ > kLooks - kHeldLooks;
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

std::unique_ptr<StatusNotifierItem> TrayStatusItem::makeNotifierItem(std::size_t position) {
  auto item = std::make_unique<StatusNotifierItem>(static_cast<int>(position), static_cast<int>(contents_.size()),
                                                   actions_);
  connect(item.get(), &StatusNotifierItem::activated, this, [this, position](QPoint at) {
    auto place = clickedAt(at);
    lastClick_ = place ? QRect(*place, QSize(1, 1)) : QRect();
    emit activated(lastClick_, static_cast<int>(position));
  });
  connect(item.get(), &StatusNotifierItem::contextMenuRequested, this, &TrayStatusItem::openMenu);
  // Hosts read the item once it registers: it has its content by then.
  item->setContent(contents_[position]);
  if (watcherRuns_) item->registerWithWatcher();
  return item;
}

void TrayStatusItem::openMenu(QPoint at) { menu_->popup(clickedAt(at).value_or(QCursor::pos())); }

}  // namespace ovel
