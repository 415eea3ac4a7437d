// One item for a StatusNotifierItem host (KDE's tray, GNOME's AppIndicator
// extension, XFCE's status tray): the org.kde.StatusNotifierItem interface
// with the Ayatana label, and its menu over com.canonical.dbusmenu. Each item
// has a bus connection and a name of its own, which is how hosts tell several
// items of one program apart.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QImage>
#include <QMetaType>
#include <QObject>
#include <QPoint>
#include <QString>

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

  // `position` counts from 0 in layout order, of `count` items. With the
  // count they make the item's id and title, which hosts that sort their
  // items go by; hosts that keep the order they first saw key it by the id.
  StatusNotifierItem(int position, int count, std::vector<MenuAction> actions, QObject* parent = nullptr);
  ~StatusNotifierItem() override;

  // False when the session bus could not be reached.
  bool isConnected() const;
  QString service() const { return service_; }

  // Tells hosts of what changed, and of nothing when nothing did.
  void setContent(const StatusItemContent& content);
  void setMenuActions(std::vector<MenuAction> actions);
  // Asks the watcher to show the item (again, after a restart of it).
  void registerWithWatcher();

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
  void newIcon();
  void newToolTip();
  void newLabel(const QString& label, const QString& guide);

 private:
  int position_;
  int count_;
  int serial_;
  QString connectionName_;
  QString service_;
  QDBusConnection connection_;
  std::unique_ptr<DBusMenuExporter> menu_;
  StatusNotifierPixmaps pixmaps_;
  QString iconKey_;
  QString toolTipTitle_;
  QString toolTipText_;
  QString label_;
  QString labelGuide_;
};

}  // namespace ovel

Q_DECLARE_METATYPE(ovel::StatusNotifierPixmap)
Q_DECLARE_METATYPE(ovel::StatusNotifierToolTip)
