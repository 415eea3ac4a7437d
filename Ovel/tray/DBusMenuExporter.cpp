#include "tray/DBusMenuExporter.h"

#include <QDBusAbstractAdaptor>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTimer>

#include "model/Log.h"

namespace ovel {

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item) {
  argument.beginStructure();
  argument << item.id << item.properties;
  argument.beginArray(qMetaTypeId<QDBusVariant>());
  for (const DBusMenuLayoutItem& child : item.children) argument << QDBusVariant(QVariant::fromValue(child));
  argument.endArray();
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item) {
  argument.beginStructure();
  argument >> item.id >> item.properties;
  argument.beginArray();
  item.children.clear();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    DBusMenuLayoutItem node;
    child.variant().value<QDBusArgument>() >> node;
    item.children.append(node);
  }
  argument.endArray();
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item) {
  argument.beginStructure();
  argument << item.id << item.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item) {
  argument.beginStructure();
  argument >> item.id >> item.properties;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event) {
  argument.beginStructure();
  argument << event.id << event.eventId << event.data << event.timestamp;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event) {
  argument.beginStructure();
  argument >> event.id >> event.eventId >> event.data >> event.timestamp;
  argument.endStructure();
  return argument;
}

namespace {

void registerTypes() {
  static const bool once = [] {
    qDBusRegisterMetaType<DBusMenuLayoutItem>();
    qDBusRegisterMetaType<DBusMenuItemProperties>();
    qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<DBusMenuEventList>();
    return true;
  }();
  (void)once;
}

}  // namespace

class DBusMenuAdaptor final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ version)
  Q_PROPERTY(QString TextDirection READ textDirection)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

 public:
  explicit DBusMenuAdaptor(DBusMenuExporter* menu) : QDBusAbstractAdaptor(menu), menu_(menu) {
    setAutoRelaySignals(false);
    connect(menu, &DBusMenuExporter::layoutUpdated, this, &DBusMenuAdaptor::LayoutUpdated);
  }

  uint version() const { return 3; }
  QString textDirection() const { return QStringLiteral("ltr"); }
  QString status() const { return QStringLiteral("normal"); }
  QStringList iconThemePath() const { return {}; }

 public slots:
  // Every property goes out, whatever the host names: there are few.
  uint GetLayout(int parentId, int recursionDepth, const QStringList&, ovel::DBusMenuLayoutItem& layout) {
    layout = menu_->layout(parentId, recursionDepth);
    return menu_->revision();
  }
  ovel::DBusMenuItemPropertiesList GetGroupProperties(const QList<int>& ids, const QStringList&) {
    return menu_->properties(ids);
  }
  QDBusVariant GetProperty(int id, const QString& name, const QDBusMessage& call) {
    auto found = menu_->properties({id});
    QVariant value = found.isEmpty() ? QVariant() : found.front().properties.value(name);
    if (found.isEmpty()) refuse(call, QStringLiteral("no menu item %1").arg(id));
    else if (!value.isValid()) refuse(call, QStringLiteral("no property %1 of menu item %2").arg(name).arg(id));
    return QDBusVariant(value);
  }
  void Event(int id, const QString& eventId, const QDBusVariant&, uint) { menu_->handleEvent(id, eventId); }
  // Spelled as a list, not by its alias: QtDBus looks parameter types up by
  // the name written here, and skips a method whose name it does not know.
  QList<int> EventGroup(const QList<ovel::DBusMenuEvent>& events) {
    QList<int> unknown;
    for (const DBusMenuEvent& event : events)
      if (!menu_->handleEvent(event.id, event.eventId)) unknown.append(event.id);
    return unknown;
  }
  bool AboutToShow(int) { return false; }
  QList<int> AboutToShowGroup(const QList<int>&, QList<int>& idErrors) {
    idErrors.clear();
    return {};
  }

 signals:
  void LayoutUpdated(uint revision, int parent);

 private:
  // Answers `call` with an error: no value at all cannot go out, and without
  // a reply the caller waits for its timeout.
  void refuse(const QDBusMessage& call, const QString& why) {
    call.setDelayedReply(true);
    menu_->connection().send(call.createErrorReply(QDBusError::InvalidArgs, why));
  }

  DBusMenuExporter* menu_;
};

const QString DBusMenuExporter::kPath = QStringLiteral("/MenuBar");

DBusMenuExporter::DBusMenuExporter(QDBusConnection connection, std::vector<MenuAction> actions, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), actions_(std::move(actions)) {
  registerTypes();
  new DBusMenuAdaptor(this);
  if (connection_.isConnected() && !connection_.registerObject(kPath, this, QDBusConnection::ExportAdaptors))
    qCWarning(logTray).noquote() << "couldn't offer the tray menu:" << connection_.lastError().message();
}

DBusMenuExporter::~DBusMenuExporter() { connection_.unregisterObject(kPath); }

void DBusMenuExporter::setActions(std::vector<MenuAction> actions) {
  actions_ = std::move(actions);
  emit layoutUpdated(++revision_, 0);
}

QVariantMap DBusMenuExporter::propertiesOf(int id) const {
  if (id == 0) return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
  const MenuAction& action = actions_[static_cast<std::size_t>(id - 1)];
  if (action.text.isEmpty()) return {{QStringLiteral("type"), QStringLiteral("separator")}};
  // An underscore marks a mnemonic; a literal one is doubled.
  QString label = action.text;
  label.replace(QLatin1Char('_'), QStringLiteral("__"));
  return {{QStringLiteral("label"), label}, {QStringLiteral("enabled"), true}, {QStringLiteral("visible"), true}};
}

DBusMenuLayoutItem DBusMenuExporter::layout(int parentId, int depth) const {
  bool known = parentId >= 0 && parentId <= static_cast<int>(actions_.size());
  if (!known) return DBusMenuLayoutItem{parentId, {}, {}};
  DBusMenuLayoutItem node{parentId, propertiesOf(parentId), {}};
  if (parentId == 0 && depth != 0)
    for (int id = 1; id <= static_cast<int>(actions_.size()); ++id) node.children.append({id, propertiesOf(id), {}});
  return node;
}

DBusMenuItemPropertiesList DBusMenuExporter::properties(const QList<int>& ids) const {
  DBusMenuItemPropertiesList result;
  for (int id : ids)
    if (id >= 0 && id <= static_cast<int>(actions_.size())) result.append({id, propertiesOf(id)});
  return result;
}

bool DBusMenuExporter::handleEvent(int id, const QString& eventId) {
  if (id < 0 || id > static_cast<int>(actions_.size())) return false;
  // The root hears that the menu opened or closed, and does nothing.
  if (id == 0) return true;
  auto run = actions_[static_cast<std::size_t>(id - 1)].run;
  if (eventId == QLatin1String("clicked") && run) QTimer::singleShot(0, this, std::move(run));
  return true;
}

}  // namespace ovel

#include "DBusMenuExporter.moc"
