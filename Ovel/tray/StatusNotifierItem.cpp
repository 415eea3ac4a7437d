#include "tray/StatusNotifierItem.h"

#include <QDBusAbstractAdaptor>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QtEndian>

#include <unistd.h>

#include "model/Log.h"
#include "tray/DBusMenuExporter.h"

namespace ovel {

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap) {
  argument.beginStructure();
  argument << pixmap.width << pixmap.height << pixmap.bytes;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap) {
  argument.beginStructure();
  argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip) {
  argument.beginStructure();
  argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.description;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip) {
  argument.beginStructure();
  argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.description;
  argument.endStructure();
  return argument;
}

StatusNotifierPixmap StatusNotifierPixmap::fromImage(const QImage& image) {
  QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  StatusNotifierPixmap pixmap{argb.width(), argb.height(), {}};
  pixmap.bytes.resize(static_cast<qsizetype>(argb.width()) * argb.height() * 4);
  auto* out = reinterpret_cast<quint32*>(pixmap.bytes.data());
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) *out++ = qToBigEndian(line[x]);
  }
  return pixmap;
}

QImage StatusNotifierPixmap::toImage() const {
  QImage image(width, height, QImage::Format_ARGB32);
  if (bytes.size() != static_cast<qsizetype>(width) * height * 4) return {};
  const auto* in = reinterpret_cast<const quint32*>(bytes.constData());
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) line[x] = qFromBigEndian(*in++);
  }
  return image;
}

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");

void registerTypes() {
  static const bool once = [] {
    qDBusRegisterMetaType<StatusNotifierPixmap>();
    qDBusRegisterMetaType<StatusNotifierPixmaps>();
    qDBusRegisterMetaType<StatusNotifierToolTip>();
    return true;
  }();
  (void)once;
}

// Every item gets a name of its own, never one an earlier item had.
int nextSerial() {
  static int serial = 0;
  return ++serial;
}

}  // namespace

class StatusNotifierItemAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ category)
  Q_PROPERTY(QString Id READ id)
  Q_PROPERTY(QString Title READ title)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(int WindowId READ windowId)
  Q_PROPERTY(QString IconName READ none)
  Q_PROPERTY(QString IconThemePath READ none)
  Q_PROPERTY(QList<ovel::StatusNotifierPixmap> IconPixmap READ iconPixmap)
  Q_PROPERTY(QString OverlayIconName READ none)
  Q_PROPERTY(QList<ovel::StatusNotifierPixmap> OverlayIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionIconName READ none)
  Q_PROPERTY(QList<ovel::StatusNotifierPixmap> AttentionIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionMovieName READ none)
  Q_PROPERTY(ovel::StatusNotifierToolTip ToolTip READ toolTip)
  Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
  Q_PROPERTY(QDBusObjectPath Menu READ menu)
  Q_PROPERTY(QString XAyatanaLabel READ label)
  Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)

 public:
  explicit StatusNotifierItemAdaptor(StatusNotifierItem* item) : QDBusAbstractAdaptor(item), item_(item) {
    setAutoRelaySignals(false);
    connect(item, &StatusNotifierItem::newTitle, this, &StatusNotifierItemAdaptor::NewTitle);
    connect(item, &StatusNotifierItem::newIcon, this, &StatusNotifierItemAdaptor::NewIcon);
    connect(item, &StatusNotifierItem::newToolTip, this, &StatusNotifierItemAdaptor::NewToolTip);
    connect(item, &StatusNotifierItem::newLabel, this, &StatusNotifierItemAdaptor::XAyatanaNewLabel);
  }

  QString category() const { return QStringLiteral("ApplicationStatus"); }
  QString id() const { return item_->id(); }
  QString title() const { return item_->title(); }
  QString status() const { return QStringLiteral("Active"); }
  int windowId() const { return 0; }
  QString none() const { return {}; }
  QList<StatusNotifierPixmap> iconPixmap() const { return item_->pixmaps(); }
  QList<StatusNotifierPixmap> noPixmaps() const { return {}; }
  StatusNotifierToolTip toolTip() const { return item_->toolTip(); }
  bool itemIsMenu() const { return false; }
  QDBusObjectPath menu() const { return QDBusObjectPath(DBusMenuExporter::kPath); }
  QString label() const { return item_->label(); }
  QString labelGuide() const { return item_->labelGuide(); }

 public slots:
  void Activate(int x, int y) { emit item_->activated({x, y}); }
  void SecondaryActivate(int, int) {}
  void ContextMenu(int x, int y) { emit item_->contextMenuRequested({x, y}); }
  void Scroll(int, const QString&) {}

 signals:
  void NewTitle();
  void NewIcon();
  void NewAttentionIcon();
  void NewOverlayIcon();
  void NewToolTip();
  void NewStatus(const QString& status);
  void XAyatanaNewLabel(const QString& label, const QString& guide);

 private:
  StatusNotifierItem* item_;
};

const std::vector<int> StatusNotifierItem::kIconSizes = {16, 22, 24, 32, 44, 48, 64};
const QString StatusNotifierItem::kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString StatusNotifierItem::kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString StatusNotifierItem::kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

StatusNotifierItem::StatusNotifierItem(int index, std::vector<MenuAction> actions, QObject* parent)
    : QObject(parent),
      index_(index),
      serial_(nextSerial()),
      connectionName_(QStringLiteral("ovel-status-notifier-%1").arg(serial_)),
      service_(QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(serial_)),
      connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)) {
  registerTypes();
  new StatusNotifierItemAdaptor(this);
  menu_ = std::make_unique<DBusMenuExporter>(connection_, std::move(actions));
  if (!connection_.isConnected()) {
    qCWarning(logTray).noquote() << "no session bus for a tray item:" << connection_.lastError().message();
    return;
  }
  if (!connection_.registerObject(kItemPath, this, QDBusConnection::ExportAdaptors) ||
      !connection_.registerService(service_))
    qCWarning(logTray).noquote() << "couldn't offer the tray item" << service_ << ":"
                                 << connection_.lastError().message();
}

StatusNotifierItem::~StatusNotifierItem() {
  menu_.reset();
  connection_.unregisterObject(kItemPath);
  connection_.unregisterService(service_);
  QDBusConnection::disconnectFromBus(connectionName_);
}

bool StatusNotifierItem::isConnected() const { return connection_.isConnected(); }

QString StatusNotifierItem::id() const {
  return index_ == 0 ? QStringLiteral("ovel") : QStringLiteral("ovel-%1").arg(index_ + 1);
}

QString StatusNotifierItem::title() const {
  // XFCE's panel shows the title as the tooltip of an item that has none.
  if (!toolTipShown_) return {};
  return position_ == 0 ? QStringLiteral("Ovel") : QStringLiteral("Ovel %1").arg(position_ + 1);
}

void StatusNotifierItem::setPosition(int position) {
  if (position == position_) return;
  position_ = position;
  if (toolTipShown_) emit newTitle();
}

StatusNotifierToolTip StatusNotifierItem::toolTip() const {
  if (!toolTipShown_) return {};
  // Hosts read the description, and some the title, as markup.
  return {QString(), {}, toolTipTitle_.toHtmlEscaped(), toolTipText_.toHtmlEscaped()};
}

void StatusNotifierItem::setToolTipShown(bool shown) {
  if (shown == toolTipShown_) return;
  toolTipShown_ = shown;
  emit newTitle();
  emit newToolTip();
}

void StatusNotifierItem::setContent(const StatusItemContent& content) {
  // Every size, each with its halo, only for an icon that may differ.
  if (paintsAnew(content.iconKey, iconKey_)) {
    iconKey_ = content.iconKey;
    StatusNotifierPixmaps pixmaps;
    if (content.paintIcon)
      for (int size : kIconSizes) pixmaps.append(StatusNotifierPixmap::fromImage(content.paintIcon(size)));
    if (pixmaps != pixmaps_) {
      pixmaps_ = std::move(pixmaps);
      emit newIcon();
    }
  }
  if (content.toolTipTitle != toolTipTitle_ || content.toolTipText != toolTipText_) {
    toolTipTitle_ = content.toolTipTitle;
    toolTipText_ = content.toolTipText;
    // A hidden one stays empty: nothing to tell.
    if (toolTipShown_) emit newToolTip();
  }
  if (content.label != label_ || content.labelGuide != labelGuide_) {
    label_ = content.label;
    labelGuide_ = content.labelGuide;
    emit newLabel(label_, labelGuide_);
  }
}

void StatusNotifierItem::setMenuActions(std::vector<MenuAction> actions) { menu_->setActions(std::move(actions)); }

void StatusNotifierItem::registerWithWatcher(std::function<void()> answered) {
  auto call = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, kWatcherInterface,
                                             QStringLiteral("RegisterStatusNotifierItem"));
  call << service_;
  // Nothing to do with a refusal but say it: the item then shows nowhere.
  auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [service = service_, answered = std::move(answered)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            if (finished->isError())
              qCWarning(logTray).noquote() << "the tray did not take" << service << ":" << finished->error().message();
            if (answered) answered();
          });
}

}  // namespace ovel

#include "StatusNotifierItem.moc"
