// The application's item in the system tray: its image, its tooltip, a click
// that toggles the popover, and a menu for hosts that never pass a left
// click on. Tests give the application a fake.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <vector>

class QMenu;

namespace ovel {

// One entry of the item's menu; an empty text makes a separator.
struct MenuAction {
  QString text;
  std::function<void()> run;
};

class StatusItem : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // False while no tray host shows the item: no click can come then.
  virtual bool hasButton() const = 0;
  virtual void setImage(const QImage& image) = 0;
  virtual void setToolTip(const QString& text) = 0;
  virtual void setMenuActions(std::vector<MenuAction> actions) = 0;
  // The item's place on the screen, in global coordinates; empty when the
  // host does not tell.
  virtual QRect anchor() const = 0;

 signals:
  // A primary click on the item.
  void activated();
};

// Over QSystemTrayIcon (StatusNotifierItem or the XEmbed tray). The image and
// tooltip are kept while no tray is there, so an item that docks later (a
// panel started after us) shows them.
class TrayStatusItem final : public StatusItem {
  Q_OBJECT

 public:
  explicit TrayStatusItem(QObject* parent = nullptr);
  ~TrayStatusItem() override;

  bool hasButton() const override;
  void setImage(const QImage& image) override;
  void setToolTip(const QString& text) override;
  void setMenuActions(std::vector<MenuAction> actions) override;
  QRect anchor() const override;

 private:
  // Declared first so that the icon, which shows it, goes first.
  std::unique_ptr<QMenu> menu_;
  QSystemTrayIcon icon_;
};

}  // namespace ovel
