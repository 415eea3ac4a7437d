#include "support/FakeNotificationServer.h"

namespace ovel::test {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kConnection = QStringLiteral("fake-notifications");

}  // namespace

FakeNotificationServer::FakeNotificationServer(QStringList capabilities)
    : capabilities_(std::move(capabilities)),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection)) {
  started_ = bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
             bus_.registerService(kService);
}

FakeNotificationServer::~FakeNotificationServer() {
  bus_.unregisterService(kService);
  bus_.unregisterObject(kPath);
  QDBusConnection::disconnectFromBus(bus_.name());
}

QStringList FakeNotificationServer::GetCapabilities() { return capabilities_; }

QString FakeNotificationServer::GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
  vendor = QStringLiteral("Ovel tests");
  version = QStringLiteral("1");
  specVersion = QStringLiteral("1.2");
  return QStringLiteral("fake");
}

uint FakeNotificationServer::Notify(const QString& appName, uint replacesId, const QString& icon,
                                    const QString& summary, const QString& body, const QStringList& actions,
                                    const QVariantMap& hints, int timeout) {
  notices.push_back({appName, replacesId, icon, summary, body, actions, hints, timeout});
  return static_cast<uint>(notices.size());
}

void FakeNotificationServer::click(uint id, const QString& action) {
  emit ActionInvoked(id, action);
  // Closed by the user's click.
  emit NotificationClosed(id, 2);
}

}  // namespace ovel::test
