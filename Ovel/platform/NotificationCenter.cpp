#include "platform/NotificationCenter.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "model/Log.h"

namespace ovel {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QString escapeMarkup(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (QChar c : text) {
    if (c == u'&') escaped += QStringLiteral("&amp;");
    else if (c == u'<') escaped += QStringLiteral("&lt;");
    else if (c == u'>') escaped += QStringLiteral("&gt;");
    else escaped += c;
  }
  return escaped;
}

}  // namespace

std::unique_ptr<NotificationCenter> FreedesktopNotificationCenter::create(const QDBusConnection& bus,
                                                                          const QString& desktopEntry) {
  if (!bus.isConnected()) return nullptr;
  return std::make_unique<FreedesktopNotificationCenter>(bus, desktopEntry);
}

FreedesktopNotificationCenter::FreedesktopNotificationCenter(const QDBusConnection& bus, const QString& desktopEntry)
    : bus_(bus), desktopEntry_(desktopEntry) {}

void FreedesktopNotificationCenter::requestAuthorization(std::function<void(bool granted)> answer) {
  answer_ = std::move(answer);
  if (!watcher_) {
    watcher_ = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, &context_);
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, &context_,
                     [this](const QString&, const QString&, const QString& newOwner) { serverChanged(newOwner); });
  }
  ask();
}

void FreedesktopNotificationCenter::ask() {
  auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), &context_);
  // The watcher lives in the GUI thread, so its signal (and the answer) runs there.
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                   [this, question = ++question_](QDBusPendingCallWatcher* finished) {
                     QDBusPendingReply<QStringList> reply = *finished;
                     finished->deleteLater();
                     if (question != question_) return;
                     bool granted = !reply.isError();
                     if (!granted)
                       qCWarning(logNotify).noquote() << "no notification server:" << reply.error().message();
                     if (granted) bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
                     if (answer_) answer_(granted);
                   });
}

void FreedesktopNotificationCenter::serverChanged(const QString& newOwner) {
  bodyMarkup_.reset();
  if (!newOwner.isEmpty()) {
    ask();
    return;
  }
  ++question_;  // a reply still on its way speaks of the server that left
  if (answer_) answer_(false);
}

void FreedesktopNotificationCenter::add(const QString& id, const QString& title, const QString& body) {
  Q_UNUSED(id);  // the server numbers notices itself; replaces_id 0 always asks for a new one
  QVariantMap hints{
      {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
      {QStringLiteral("desktop-entry"), desktopEntry_},
  };
  auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  call << QStringLiteral("Ovel") << 0u << QString() << title << (bodyMarkup_.value_or(true) ? escapeMarkup(body) : body)
       << QStringList() << hints << -1;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), &context_);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_, [](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    if (finished->isError())
      qCWarning(logNotify).noquote() << "a notification was not shown:" << finished->error().message();
  });
}

}  // namespace ovel
