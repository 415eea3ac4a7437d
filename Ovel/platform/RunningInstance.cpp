#include "platform/RunningInstance.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>

namespace ovel {
namespace fs = std::filesystem;
namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");
// The running copy answers from its event loop, which may be busy a moment.
constexpr int kAnswerTimeout = 10000;

// Where the interface lives: the bus name with its dots as slashes.
QString objectPath(const QString& service) {
  return QLatin1Char('/') + QString(service).replace(QLatin1Char('.'), QLatin1Char('/'));
}

bool waitForOwner(const QDBusConnection& bus, const QString& service, std::chrono::milliseconds wait) {
  QDBusServiceWatcher watcher(service, bus, QDBusServiceWatcher::WatchForRegistration);
  QEventLoop loop;
  QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
  QTimer::singleShot(wait, &loop, &QEventLoop::quit);
  // Asked once the watch is on, so a name taken in between is not missed.
  if (bus.interface()->isServiceRegistered(service)) return true;
  loop.exec();
  return bus.interface()->isServiceRegistered(service);
}

}  // namespace

QString RunningInstance::serviceName(const fs::path& dataDirectory) {
  std::error_code ignored;
  fs::path path = fs::weakly_canonical(fs::absolute(dataDirectory, ignored), ignored);
  if (path.empty()) path = dataDirectory;
  QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(path.string()), QCryptographicHash::Sha256);
  return QStringLiteral("org.ovel.Ovel.d") + QString::fromLatin1(digest.left(8).toHex());
}

RunningInstance::RunningInstance(const fs::path& dataDirectory, QDBusConnection bus)
    : bus_(std::move(bus)), service_(serviceName(dataDirectory)) {
  listening_ = bus_.isConnected() &&
               bus_.registerObject(objectPath(service_), this, QDBusConnection::ExportScriptableSlots) &&
               bus_.registerService(service_);
}

RunningInstance::~RunningInstance() {
  if (!bus_.isConnected()) return;
  bus_.unregisterService(service_);
  bus_.unregisterObject(objectPath(service_));
}

void RunningInstance::Activate(const QVariantMap& platformData) {
  Q_UNUSED(platformData);
  emit activated();
}

bool RunningInstance::activate(const fs::path& dataDirectory, std::chrono::milliseconds wait, QDBusConnection bus) {
  if (!bus.isConnected()) return false;
  QString service = serviceName(dataDirectory);
  if (!waitForOwner(bus, service, wait)) return false;
  auto call = QDBusMessage::createMethodCall(service, objectPath(service), kInterface, QStringLiteral("Activate"));
  call << QVariantMap();
  return bus.call(call, QDBus::Block, kAnswerTimeout).type() == QDBusMessage::ReplyMessage;
}

}  // namespace ovel
