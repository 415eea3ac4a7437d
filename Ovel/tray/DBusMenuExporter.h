// A flat menu of a few actions over com.canonical.dbusmenu, the menu that
// StatusNotifierItem hosts draw themselves (GNOME's extension, XFCE, KDE).
// Item 0 is the root; the actions are items 1, 2, … in order.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QVariantMap>

#include <vector>

#include "tray/StatusItem.h"

namespace ovel {

// One node of the menu's layout, (ia{sv}av) on the bus.
struct DBusMenuLayoutItem {
  int id = 0;
  QVariantMap properties;
  QList<DBusMenuLayoutItem> children;
};

// One item's properties, (ia{sv}).
struct DBusMenuItemProperties {
  int id = 0;
  QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

// One event of a group, (isvu).
struct DBusMenuEvent {
  int id = 0;
  QString eventId;
  QDBusVariant data;
  uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

class DBusMenuExporter final : public QObject {
  Q_OBJECT

 public:
  static const QString kPath;

  // Serves the menu at kPath on `connection` while it lives.
  DBusMenuExporter(QDBusConnection connection, std::vector<MenuAction> actions, QObject* parent = nullptr);
  ~DBusMenuExporter() override;

  void setActions(std::vector<MenuAction> actions);
  const QDBusConnection& connection() const { return connection_; }

  // What the interface reads and does.
  uint revision() const { return revision_; }
  DBusMenuLayoutItem layout(int parentId, int depth) const;
  DBusMenuItemPropertiesList properties(const QList<int>& ids) const;
  // Runs a "clicked" action soon, outside the bus call; false for an
  // unknown item. The root (0) takes every event and does nothing.
  bool handleEvent(int id, const QString& eventId);

 signals:
  void layoutUpdated(uint revision, int parent);

 private:
  QVariantMap propertiesOf(int id) const;

  QDBusConnection connection_;
  std::vector<MenuAction> actions_;
  uint revision_ = 1;
};

}  // namespace ovel

Q_DECLARE_METATYPE(ovel::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(ovel::DBusMenuItemProperties)
Q_DECLARE_METATYPE(ovel::DBusMenuEvent)
