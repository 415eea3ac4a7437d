// A notification server of the tests' own: it answers as
// org.freedesktop.Notifications on the private session bus, from a bus
// connection of its own, and records what it is asked to show.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace ovel::test {

struct Notice {
  QString appName;
  uint replacesId;
  QString icon;
  QString summary;
  QString body;
  QStringList actions;
  QVariantMap hints;
  int timeout;
};

class FakeNotificationServer final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  explicit FakeNotificationServer(QStringList capabilities = {QStringLiteral("body")});
  // Leaves the bus: the name has no owner afterwards.
  ~FakeNotificationServer() override;

  bool started() const { return started_; }
  std::vector<Notice> notices;

  // A click on notice number `id` (from 1, in the order they came), as a
  // server tells of it: the action, then the notice's closing.
  void click(uint id, const QString& action = QStringLiteral("default"));

 signals:
  void ActionInvoked(uint id, const QString& actionKey);
  void NotificationClosed(uint id, uint reason);

 public slots:
  QStringList GetCapabilities();
  QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);
  uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int timeout);

 private:
  QStringList capabilities_;
  QDBusConnection bus_;
  bool started_ = false;
};

}  // namespace ovel::test
