// One item for a StatusNotifierItem host (KDE's tray, GNOME's AppIndicator
// extension, XFCE's status tray): the org.kde.StatusNotifierItem interface
// with the Ayatana label, and its menu over com.canonical.dbusmenu. Each item
// has a bus connection and a name of its own, which is how hosts tell several
// items of one program apart: a host calls every name at the one path
// /StatusNotifierItem, and takes an item away only when its name goes.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QImage>
#include <QMetaType>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "tray/StatusItem.h"

namespace ovel {

class DBusMenuExporter;

// An icon as the protocol carries it: ARGB32 in network byte order.
struct StatusNotifierPixmap {
  int width = 0;
  int height = 0;
  QByteArray bytes;

  static StatusNotifierPixmap fromImage(const QImage& image);
  QImage toImage() const;
  bool operator==(const StatusNotifierPixmap&) const = default;
};
using StatusNotifierPixmaps = QList<StatusNotifierPixmap>;

struct StatusNotifierToolTip {
  QString iconName;
  StatusNotifierPixmaps pixmaps;
  QString title;
  QString description;
};

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip);

class StatusNotifierItem final : public QObject {
  Q_OBJECT

 public:
  // The pixel sizes offered to hosts: their usual slots, once and twice over.
  static const std::vector<int> kIconSizes;
  // Where the watcher that items register with answers.
  static const QString kWatcherService;
  static const QString kWatcherPath;
  static const QString kWatcherInterface;

  // `index` counts the program's items from 0 in the order they were made.
  // It makes the item's id, which hosts that keep their items' places key
  // them by (XFCE's), so an item made again for that index takes the
  // place it had.
  StatusNotifierItem(int index, std::vector<MenuAction> actions, QObject* parent = nullptr);
  ~StatusNotifierItem() override;

  // False when the session bus could not be reached.
  bool isConnected() const;
  QString service() const { return service_; }

  // Where the item stands in the layout, from 0: it makes the title.
  void setPosition(int position);
  // Tells hosts of what changed, and of nothing when nothing did.
  void setContent(const StatusItemContent& content);
  // Hidden, the tooltip is empty, and so is the title, which hosts show
  // in its place.
  void setToolTipShown(bool shown);
  void setMenuActions(std::vector<MenuAction> actions);
  // Asks the watcher to show the item (again, after a restart of it);
  // `answered` runs once the watcher has answered.
  void registerWithWatcher(std::function<void()> answered = {});

  // What the interface reads.
  QString id() const;
  QString title() const;
  const StatusNotifierPixmaps& pixmaps() const { return pixmaps_; }
  StatusNotifierToolTip toolTip() const;
  const QString& label() const { return label_; }
  const QString& labelGuide() const { return labelGuide_; }

 signals:
  void activated(QPoint at);
  void contextMenuRequested(QPoint at);
  // Relayed over the bus.
  void newTitle();
  void newIcon();
  void newToolTip();
  void newLabel(const QString& label, const QString& guide);

 private:
  int index_;
  int position_ = 0;
  int serial_;
  QString connectionName_;
  QString service_;
  QDBusConnection connection_;
  std::unique_ptr<DBusMenuExporter> menu_;
  StatusNotifierPixmaps pixmaps_;
  QString iconKey_;
  QString toolTipTitle_;
  QString toolTipText_;
  bool toolTipShown_ = true;
  QString label_;
  QString labelGuide_;
};

}  // namespace ovel

Q_DECLARE_METATYPE(ovel::StatusNotifierPixmap)
Q_DECLARE_METATYPE(ovel::StatusNotifierToolTip)
