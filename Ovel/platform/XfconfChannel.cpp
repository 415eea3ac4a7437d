#include "platform/XfconfChannel.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

#include "model/Log.h"

namespace ovel {
namespace {

const QString kXfconf = QStringLiteral("org.xfce.Xfconf");
const QString kXfconfPath = QStringLiteral("/org/xfce/Xfconf");
const QString kXfconfInterface = QStringLiteral("org.xfce.Xfconf");
// Settings change in bursts (a dialog writes several keys): read once after.
constexpr std::chrono::milliseconds kRereadDelay(100);

}  // namespace

QVariant withoutDBusVariants(QVariant value) {
  while (value.metaType() == QMetaType::fromType<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
  return value;
}

XfconfChannel::XfconfChannel(QString channel, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), channel_(std::move(channel)), bus_(bus), reread_(new QTimer(this)) {
  reread_->setSingleShot(true);
  reread_->setInterval(kRereadDelay);
  connect(reread_, &QTimer::timeout, this, &XfconfChannel::read);
  if (!bus_.isConnected() || !bus_.interface()) {
    answered_ = true;
    return;
  }
  auto* watch = new QDBusServiceWatcher(kXfconf, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watch, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) { serviceChanged(!owner.isEmpty()); });
  for (const char* member : {"PropertyChanged", "PropertyRemoved"})
    bus_.connect(kXfconf, kXfconfPath, kXfconfInterface, QLatin1String(member), this,
                 SLOT(propertyChanged(QDBusMessage)));
  serviceChanged(bus_.interface()->isServiceRegistered(kXfconf));
}

XfconfChannel::~XfconfChannel() = default;

QVariant XfconfChannel::valueOf(const QVariantMap& properties, const QString& property) {
  return withoutDBusVariants(properties.value(property));
}

QVariantList XfconfChannel::listOf(const QVariant& wrapped) {
  QVariant value = withoutDBusVariants(wrapped);
  QVariantList list;
  if (value.metaType() == QMetaType::fromType<QDBusArgument>()) value.value<QDBusArgument>() >> list;
  else list = value.toList();
  for (QVariant& element : list) element = withoutDBusVariants(element);
  return list;
}

void XfconfChannel::serviceChanged(bool running) {
  if (running) read();
  else take({});
}

void XfconfChannel::propertyChanged(const QDBusMessage& message) {
  if (!message.arguments().isEmpty() && message.arguments().front().toString() == channel_) reread_->start();
}

void XfconfChannel::read() {
  auto call = QDBusMessage::createMethodCall(kXfconf, kXfconfPath, kXfconfInterface,
                                             QStringLiteral("GetAllProperties"));
  call << channel_ << QStringLiteral("/");
  // Read while it runs, never started for the reading: should it have just
  // gone, the call fails instead.
  call.setAutoStartService(false);
  pending_ = std::make_unique<QObject>();
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), pending_.get());
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    QDBusPendingReply<QVariantMap> reply = *finished;
    // A channel without properties answers with an error.
    if (reply.isError()) qCDebug(logDesktop).noquote() << "xfconf" << channel_ << ":" << reply.error().message();
    take(reply.isError() ? QVariantMap() : reply.value());
  });
}

void XfconfChannel::take(QVariantMap properties) {
  answered_ = true;
  properties_ = std::move(properties);
  emit changed();
}

}  // namespace ovel
