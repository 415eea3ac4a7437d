#include "platform/SleepWatcher.h"

namespace ovel {

SleepWatcher::SleepWatcher(QObject* parent) : SleepWatcher(QDBusConnection::systemBus(), parent) {}

SleepWatcher::SleepWatcher(QDBusConnection bus, QObject* parent) : QObject(parent) {
  watching_ = bus.isConnected() &&
              bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                          QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                          SLOT(prepareForSleep(bool)));
}

void SleepWatcher::prepareForSleep(bool starting) {
  if (!starting) emit didWake();
}

}  // namespace ovel
