// The application's items in the system tray: one square icon each, painted
// for the size the host asks, with texts beside it where the host shows a
// label, a tooltip, a click that toggles the popover and a menu. Tests give
// the application a fake.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "tray/PanelTone.h"

class QMenu;
class QTimer;
class QSystemTrayIcon;

namespace ovel {

class PanelAppearance;
class StatusNotifierItem;
class XEmbedTrayWatch;

// One entry of the items' menu; an empty text makes a separator.
struct MenuAction {
  QString text;
  std::function<void()> run;
};

// A screen as Qt lays it out under its scaling: its geometry in logical
// pixels, whose top-left corner is also its place among the device pixels of
// the X root, and its device pixel ratio.
struct ScreenScale {
  QRect geometry;
  double ratio = 1;
};

// A point in device pixels of the X root (where StatusNotifierItem hosts say
// a click was) in Qt's logical coordinates: scaled about the top-left corner
// of the screen whose device pixels hold it. On no screen, it stays as it is.
QPoint logicalFromDevice(QPoint device, const std::vector<ScreenScale>& screens);

// What one tray item shows.
struct StatusItemContent {
  // The icon, square, `pixels` a side.
  std::function<QImage(int pixels)> paintIcon;
  // Shown beside the icon by hosts that can; may be empty.
  QString label;
  // The widest the label gets, so such hosts can keep its room steady.
  QString labelGuide;
  QString toolTipTitle;
  QString toolTipText;
  // What the icon shows: contents keyed alike paint alike, and an icon
  // shown already is not painted again. Empty: painted every time.
  QString iconKey = {};
};

// Whether an icon keyed `key` is painted, where one keyed `shown` shows.
inline bool paintsAnew(const QString& key, const QString& shown) { return key.isEmpty() || key != shown; }

class StatusItem : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // False while no tray host shows the items: no click can come then.
  virtual bool hasButton() const = 0;
  // One tray item per entry, in this order.
  virtual void setItems(std::vector<StatusItemContent> items) = 0;
  virtual void setMenuActions(std::vector<MenuAction> actions) = 0;
  // Where to open under when no item was clicked (the hot key), in global
  // coordinates; empty when the host does not tell.
  virtual QRect anchor() const = 0;
  // The tone of the panel the items sit in, as far as the desktop tells.
  virtual PanelTone panelTone() const = 0;
  // Whether the items show their tooltips; hidden, the hosts show none.
  virtual void setToolTipsShown(bool shown) = 0;

  // An item and its place on screen.
  struct Place {
    int item;
    QRect geometry;
  };
  // The item at `point` (global coordinates), where the host lets that be
  // known.
  virtual std::optional<Place> itemAt(QPoint) const { return std::nullopt; }

 signals:
  // A primary click on item number `item` (from 0, in layout order);
  // `anchor` is where to open under (empty: at the cursor).
  void activated(QRect anchor, int item = 0);
  // The panel's tone changed: the icons want painting again.
  void panelAppearanceChanged();
};

// The desktop's tray. Where a StatusNotifierWatcher runs on the session bus
// with a host that shows items, each item is a StatusNotifierItem of our own
// (with its label, menu and tooltip), registered again whenever the watcher
// restarts. Elsewhere each is a QSystemTrayIcon docked in an XEmbed tray; the
// icons and tooltips are kept while no tray is there, so items dock when a
// panel starts after us. A watcher alone shows nothing (KDE's daemon runs
// one wherever a KDE program started it): while no host shows the items and
// an XEmbed tray is there, the icons stay in that tray, or go back to it a
// few seconds after the last host left, and move to the watcher once a host
// registers.
//
// Items stay while the host does: new contents go to the items there, a
// longer layout adds items after them, a shorter one takes the last ones
// away, one item at a time and no faster than hosts settle, so a panel
// never loses track of them however fast the layout changes.
class TrayStatusItem final : public StatusItem {
  Q_OBJECT

 public:
  explicit TrayStatusItem(QObject* parent = nullptr);
  ~TrayStatusItem() override;

  bool hasButton() const override;
  void setItems(std::vector<StatusItemContent> items) override;
  void setMenuActions(std::vector<MenuAction> actions) override;
  QRect anchor() const override;
  PanelTone panelTone() const override;
  void setToolTipsShown(bool shown) override;
  std::optional<Place> itemAt(QPoint point) const override;

  // Whether the items are StatusNotifierItems (else XEmbed icons).
  bool usesStatusNotifier() const { return useNotifier_; }
  // Each item's place, as far as the host tells, in item order.
  std::vector<QRect> itemGeometries() const;
  // The bus names of the StatusNotifierItems, in layout order.
  std::vector<QString> notifierServices() const;

  // Hosts take a moment over an item that comes or goes: no other comes or
  // goes before this has passed.
  static constexpr std::chrono::milliseconds kSettleTime{250};
  // Where the item made `index`th (from 0) of `count` stands, from the
  // left: hosts of StatusNotifierItems put a newer item to the left of the
  // older ones (XFCE's keeps that place for the item's id; GNOME's, for as
  // long as it runs), XEmbed trays to the right.
  static int positionOf(int index, int count, bool notifier);

 private slots:
  void hostRegistered();
  void hostUnregistered();

 private:
  void watcherChanged(const QString& owner);
  void askWhetherAHostIsRegistered();
  // Whether a host shows StatusNotifierItems now.
  bool notifierShown() const { return watcherRuns_ && hostRegistered_; }
  void chooseTray();
  void leaveForXEmbed();
  void useStatusNotifier();
  void useXEmbed();
  void trayStarted();
  void syncItems();
  // Adds or takes away one item, when the layout has another number of them.
  enum class Step { none, added, removed };
  Step stepTowardsTheLayout();
  void syncNotifierItems();
  void syncTrayIcons();
  void addTrayIcon();
  void registerNotifierItems(std::size_t from);
  std::unique_ptr<StatusNotifierItem> makeNotifierItem(int index);
  // The layout position whose content the item made `index`th shows.
  int positionOf(std::size_t index) const;
  void openMenu(QPoint at);
  void lookAtPanelAnew();
  void iconEmbedded();
  void lookAtPanel();
  bool iconsWaitForPanel() const;

  std::vector<StatusItemContent> contents_;
  std::vector<MenuAction> actions_;
  // Declared before the items, which show it.
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<PanelAppearance> panel_;
  bool useNotifier_ = false;
  bool watcherRuns_ = false;
  // Whether the running watcher has told of its hosts yet.
  bool hostKnown_ = true;
  bool hostRegistered_ = false;
  // Whether a host has shown the StatusNotifierItems since they were made.
  bool hostSeen_ = false;
  std::vector<std::unique_ptr<StatusNotifierItem>> notifierItems_;
  std::vector<std::unique_ptr<QSystemTrayIcon>> trayIcons_;
  // The key of the icon each shows; empty for a blank one.
  std::vector<QString> trayIconKeys_;
  bool toolTipsShown_ = true;
  // Runs from one item's coming or going until hosts have settled.
  QTimer* settling_;
  QRect lastClick_;
  // Looks at the panel around the XEmbed icons once they have docked.
  QTimer* panelLook_;
  int panelLooksLeft_ = 0;
  XEmbedTrayWatch* trayWatch_;
  // Runs while no host shows the items it showed; then an XEmbed tray
  // takes them.
  QTimer* hostAway_;
  // No host shows the items: the next XEmbed tray to start takes them.
  bool wantsXEmbed_ = false;
  // Owns the pending watcher replies.
  std::unique_ptr<QObject> replies_;
};

}  // namespace ovel
