// Desktop services of the tests' own on the private session bus: a
// StatusNotifierWatcher with a host that reads items as a panel would, and
// the desktop portal's appearance setting.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

namespace ovel::test {

// A bus connection of a fake's own, serving one object under one name while
// it lives and giving the name up when it goes, as a program that exits does.
class ServedName {
 public:
  explicit ServedName(const char* kind);
  ~ServedName();
  ServedName(const ServedName&) = delete;
  ServedName& operator=(const ServedName&) = delete;

  // Serves `object` (with its adaptors) at `path` under `service`.
  bool serve(const QString& service, const QString& path, QObject* object);
  QDBusConnection& connection() { return connection_; }
  const QDBusConnection& connection() const { return connection_; }

 private:
  QString connectionName_;
  QDBusConnection connection_;
  QString service_;
  QString path_;
};

// A message an item sent, with the service name it came from.
struct ItemSignal {
  QString service;
  QString member;
  QVariantList arguments;
};

class FakeStatusNotifierHost final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
  static constexpr const char* kItemPath = "/StatusNotifierItem";

  // Owns org.kde.StatusNotifierWatcher, with a host registered or, as KDE's
  // daemon runs one where no panel shows items, without.
  explicit FakeStatusNotifierHost(bool hostRegistered = true);
  // Gives the name up, as a watcher that exits does.
  ~FakeStatusNotifierHost() override = default;

  bool ready() const { return ready_; }
  // The services that registered, in the order they did.
  const QStringList& registered() const { return registered_; }
  // The item services whose names are still on the bus, in registration order.
  QStringList liveItems() const;
  // The items from left to right, placed as XFCE's and GNOME's hosts place
  // them: a newer item to the left of the older ones.
  QStringList shownItems() const;

  // Every property of an item's interface; absent when it did not answer.
  std::optional<QVariantMap> properties(const QString& service, const QString& path = kItemPath,
                                        const QString& interface = kItemInterface);
  // Calls a method of an item and waits for the answer; absent on error.
  std::optional<QDBusMessage> call(const QString& service, const QString& path, const QString& interface,
                                   const QString& method, const QVariantList& arguments = {});
  // The same, with an error as it came; absent when no answer came at all.
  std::optional<QDBusMessage> answer(const QString& service, const QString& path, const QString& interface,
                                     const QString& method, const QVariantList& arguments = {});
  // Waits for an answer from `service`, which it sends after everything it
  // sent before: those signals are all in itemSignals() then.
  bool roundTrip(const QString& service);
  // What the items sent since the host started, in order.
  const std::vector<ItemSignal>& itemSignals() const { return signals_; }
  // Waits for a signal of `member` from `service`, counting from `from`.
  bool waitForSignal(const QString& service, const QString& member, std::size_t from = 0);

  // Whether a host is registered with the watcher; a change says so, as a
  // panel that comes or goes does.
  bool hostRegistered() const { return hostRegistered_; }
  void setHostRegistered(bool registered);
  // How often a client asked the watcher whether a host is registered.
  int hostQueries() const { return hostQueries_; }
  // Called by the watcher interface.
  void countHostQuery() { ++hostQueries_; }

  // Called by the watcher interface.
  void registerItem(const QString& service);

 private slots:
  void itemSignal(const QDBusMessage& message);

 private:
  ServedName bus_;
  bool ready_ = false;
  bool hostRegistered_ = true;
  int hostQueries_ = 0;
  QStringList registered_;
  std::vector<ItemSignal> signals_;
};

// org.freedesktop.portal.Desktop's Settings, with only the colour scheme.
class FakePortal final : public QObject {
  Q_OBJECT

 public:
  explicit FakePortal(uint colorScheme);
  ~FakePortal() override = default;

  bool ready() const { return ready_; }
  uint colorScheme() const { return colorScheme_; }
  // Changes the value and says so, as the portal does.
  void setColorScheme(uint colorScheme);

 private:
  ServedName bus_;
  bool ready_ = false;
  uint colorScheme_;
};

// xfconfd with the channels "xfce4-panel", as XFCE's panel keeps it, and
// "xsettings", XFCE's appearance settings.
class FakeXfconf final : public QObject {
  Q_OBJECT

 public:
  explicit FakeXfconf(QVariantMap panelProperties, QVariantMap xsettingsProperties = {});
  ~FakeXfconf() override = default;

  bool ready() const { return ready_; }
  QVariantMap channel(const QString& name) const { return channels_.value(name); }
  // Changes a property and says so, as xfconfd does.
  void setPanelProperty(const QString& property, const QVariant& value);
  void setChannelProperty(const QString& channel, const QString& property, const QVariant& value);

 private:
  ServedName bus_;
  bool ready_ = false;
  QMap<QString, QVariantMap> channels_;
};

}  // namespace ovel::test
