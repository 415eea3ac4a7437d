// Where the application's notices go. The notifier decides what to post;
// a centre only asks whether it may and delivers. Tests give the notifier a
// recording centre of their own.
#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QImage>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace ovel {

class NotificationCenter {
 public:
  virtual ~NotificationCenter() = default;

  // Asks whether notices can be shown, and asks again whenever that may have
  // changed (a notification service that starts after us, or restarts).
  // `answer` runs after each asking, on the GUI thread, and never after the
  // centre is gone.
  virtual void requestAuthorization(std::function<void(bool granted)> answer) = 0;

  // Shows a notice now, with the default sound. `id` names it for the caller's
  // bookkeeping; delivery failures are not reported.
  virtual void add(const QString& id, const QString& title, const QString& body) = 0;

  // What a click on a notice does, on the GUI thread; a centre whose notices
  // cannot be clicked ignores it.
  virtual void setOpenAction(std::function<void()> open) { (void)open; }
};

// The freedesktop notification server (org.freedesktop.Notifications) on the
// session bus. Authorisation means that a server answers; the answer also
// tells whether bodies are read as markup, and then they are escaped. At
// login the server may start after us: the bus is watched for the name's
// owner, and a new owner is asked again, a vanished one means no. Each
// notice carries the application's icon and a "default" action, which a
// click on it invokes.
class FreedesktopNotificationCenter final : public NotificationCenter {
 public:
  // Absent when the bus is not connected (no session bus: no centre).
  static std::unique_ptr<NotificationCenter> create(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                                    const QString& desktopEntry = QStringLiteral("ovel"),
                                                    const QImage& icon = {});

  // `desktopEntry` is the base name of the application's .desktop file, and
  // of its installed icon; the server takes the name and icon from them.
  // `icon` goes along as the notice's image, for a server whose icon theme
  // lacks ours; none when null.
  FreedesktopNotificationCenter(const QDBusConnection& bus, const QString& desktopEntry, const QImage& icon = {});
  ~FreedesktopNotificationCenter() override;

  void requestAuthorization(std::function<void(bool granted)> answer) override;
  void add(const QString& id, const QString& title, const QString& body) override;
  void setOpenAction(std::function<void()> open) override;

 private:
  class Clicks;

  void ask();
  void serverChanged(const QString& newOwner);

  QDBusConnection bus_;
  QString desktopEntry_;
  QVariant image_;
  std::function<void(bool granted)> answer_;
  // Only the latest question's reply counts; older ones are dropped.
  std::uint64_t question_ = 0;
  // Unknown until the server answers; escaping meanwhile is the safe side.
  std::optional<bool> bodyMarkup_;
  // Owns the pending replies and the watcher, so nothing answers once the
  // centre is gone.
  QObject context_;
  QDBusServiceWatcher* watcher_ = nullptr;
  // Hears the server tell of clicks on the notices it shows for us.
  std::unique_ptr<Clicks> clicks_;
};

}  // namespace ovel
