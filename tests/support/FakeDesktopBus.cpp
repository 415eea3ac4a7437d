#include "support/FakeDesktopBus.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

#include <algorithm>

#include "support/TestDesktop.h"

namespace ovel::test {
namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

int nextConnection() {
  static int count = 0;
  return ++count;
}

}  // namespace

ServedName::ServedName(const char* kind)
    : connectionName_(QStringLiteral("fake-%1-%2").arg(QLatin1String(kind)).arg(nextConnection())),
      connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)) {}

ServedName::~ServedName() {
  if (!service_.isEmpty()) connection_.unregisterService(service_);
  if (!path_.isEmpty()) connection_.unregisterObject(path_);
  QDBusConnection::disconnectFromBus(connectionName_);
}

bool ServedName::serve(const QString& service, const QString& path, QObject* object) {
  path_ = path;
  service_ = service;
  return connection_.registerObject(path, object, QDBusConnection::ExportAdaptors) &&
         connection_.registerService(service);
}

class FakeWatcherAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)

 public:
  explicit FakeWatcherAdaptor(FakeStatusNotifierHost* host) : QDBusAbstractAdaptor(host), host_(host) {}

  QStringList items() const { return host_->liveItems(); }
  bool hostRegistered() const {
    host_->countHostQuery();
    return host_->hostRegistered();
  }
  int protocolVersion() const { return 0; }

 public slots:
  void RegisterStatusNotifierItem(const QString& service) {
    host_->registerItem(service);
    emit StatusNotifierItemRegistered(service);
  }
  void RegisterStatusNotifierHost(const QString&) {}

 signals:
  void StatusNotifierItemRegistered(const QString& service);
  void StatusNotifierItemUnregistered(const QString& service);
  void StatusNotifierHostRegistered();
  void StatusNotifierHostUnregistered();

 private:
  FakeStatusNotifierHost* host_;
};

FakeStatusNotifierHost::FakeStatusNotifierHost(bool hostRegistered) : bus_("watcher"), hostRegistered_(hostRegistered) {
  new FakeWatcherAdaptor(this);
  ready_ = bus_.serve(kWatcherService, QStringLiteral("/StatusNotifierWatcher"), this);
  for (const char* member : {"NewIcon", "NewToolTip", "NewTitle", "NewStatus", "XAyatanaNewLabel"})
    bus_.connection().connect(QString(), QString::fromLatin1(kItemPath), QString::fromLatin1(kItemInterface),
                              QString::fromLatin1(member), this, SLOT(itemSignal(QDBusMessage)));
}

QStringList FakeStatusNotifierHost::liveItems() const {
  QStringList live;
  for (const QString& service : registered_)
    if (!live.contains(service) && bus_.connection().interface()->isServiceRegistered(service)) live << service;
  return live;
}

QStringList FakeStatusNotifierHost::shownItems() const {
  QStringList shown = liveItems();
  std::reverse(shown.begin(), shown.end());
  return shown;
}

void FakeStatusNotifierHost::registerItem(const QString& service) { registered_ << service; }

void FakeStatusNotifierHost::setHostRegistered(bool registered) {
  hostRegistered_ = registered;
  bus_.connection().send(QDBusMessage::createSignal(
      QStringLiteral("/StatusNotifierWatcher"), kWatcherService,
      registered ? QStringLiteral("StatusNotifierHostRegistered") : QStringLiteral("StatusNotifierHostUnregistered")));
}

void FakeStatusNotifierHost::itemSignal(const QDBusMessage& message) {
  QString from = message.service();
  for (const QString& service : registered_)
    if (bus_.connection().interface()->serviceOwner(service).value() == from) from = service;
  signals_.push_back({from, message.member(), message.arguments()});
}

std::optional<QDBusMessage> FakeStatusNotifierHost::call(const QString& service, const QString& path,
                                                         const QString& interface, const QString& method,
                                                         const QVariantList& arguments) {
  auto reply = answer(service, path, interface, method, arguments);
  if (!reply || reply->type() != QDBusMessage::ReplyMessage) return std::nullopt;
  return reply;
}

std::optional<QDBusMessage> FakeStatusNotifierHost::answer(const QString& service, const QString& path,
                                                           const QString& interface, const QString& method,
                                                           const QVariantList& arguments) {
  auto message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(arguments);
  // The item answers from this same thread: wait with the event loop running.
  QDBusPendingCall pending = bus_.connection().asyncCall(message);
  if (!waitUntil([&] { return pending.isFinished(); })) return std::nullopt;
  return pending.reply();
}

std::optional<QVariantMap> FakeStatusNotifierHost::properties(const QString& service, const QString& path,
                                                              const QString& interface) {
  auto reply = call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"),
                    {interface});
  if (!reply || reply->arguments().isEmpty()) return std::nullopt;
  QVariantMap result;
  qvariant_cast<QDBusArgument>(reply->arguments().front()) >> result;
  return result;
}

bool FakeStatusNotifierHost::roundTrip(const QString& service) {
  bool answered = properties(service).has_value();
  // The signals before the answer are on their way to their slot here.
  QCoreApplication::sendPostedEvents();
  return answered;
}

bool FakeStatusNotifierHost::waitForSignal(const QString& service, const QString& member, std::size_t from) {
  return waitUntil([&] {
    for (std::size_t i = from; i < signals_.size(); ++i)
      if (signals_[i].service == service && signals_[i].member == member) return true;
    return false;
  });
}

class FakePortalAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

 public:
  explicit FakePortalAdaptor(FakePortal* portal) : QDBusAbstractAdaptor(portal), portal_(portal) {}

 public slots:
  // The portal answers a variant inside a variant.
  QDBusVariant Read(const QString&, const QString&) {
    return QDBusVariant(QVariant::fromValue(QDBusVariant(portal_->colorScheme())));
  }

 signals:
  void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

 private:
  FakePortal* portal_;
};

FakePortal::FakePortal(uint colorScheme) : bus_("portal"), colorScheme_(colorScheme) {
  new FakePortalAdaptor(this);
  ready_ = bus_.serve(kPortalService, kPortalPath, this);
}

void FakePortal::setColorScheme(uint colorScheme) {
  colorScheme_ = colorScheme;
  auto* adaptor = findChild<FakePortalAdaptor*>();
  emit adaptor->SettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
                               QDBusVariant(colorScheme));
}

class FakeXfconfAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.xfce.Xfconf")

 public:
  explicit FakeXfconfAdaptor(FakeXfconf* xfconf) : QDBusAbstractAdaptor(xfconf), xfconf_(xfconf) {}

 public slots:
  QVariantMap GetAllProperties(const QString& channel, const QString&) { return xfconf_->channel(channel); }

 signals:
  void PropertyChanged(const QString& channel, const QString& property, const QDBusVariant& value);

 private:
  FakeXfconf* xfconf_;
};

FakeXfconf::FakeXfconf(QVariantMap panelProperties, QVariantMap xsettingsProperties)
    : bus_("xfconf"),
      channels_{{QStringLiteral("xfce4-panel"), std::move(panelProperties)},
                {QStringLiteral("xsettings"), std::move(xsettingsProperties)}} {
  new FakeXfconfAdaptor(this);
  ready_ = bus_.serve(QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"), this);
}

void FakeXfconf::setPanelProperty(const QString& property, const QVariant& value) {
  setChannelProperty(QStringLiteral("xfce4-panel"), property, value);
}

void FakeXfconf::setChannelProperty(const QString& channel, const QString& property, const QVariant& value) {
  channels_[channel][property] = value;
  emit findChild<FakeXfconfAdaptor*>()->PropertyChanged(channel, property, QDBusVariant(value));
}

}  // namespace ovel::test

#include "FakeDesktopBus.moc"
