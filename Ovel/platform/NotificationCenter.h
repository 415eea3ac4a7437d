// Where the application's notices go. The notifier decides what to post;
// a centre only asks whether it may and delivers. Tests give the notifier a
// recording centre of their own.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace ovel {

class NotificationCenter {
 public:
  virtual ~NotificationCenter() = default;

  // Asks once whether notices can be shown. `answer` runs later, on the GUI
  // thread, and never after the centre is gone.
  virtual void requestAuthorization(std::function<void(bool granted)> answer) = 0;

  // Shows a notice now, with the default sound. `id` names it for the caller's
  // bookkeeping; delivery failures are not reported.
  virtual void add(const QString& id, const QString& title, const QString& body) = 0;
};

// The freedesktop notification server (org.freedesktop.Notifications) on the
// session bus. Authorisation means that a server answers; the answer also
// tells whether bodies are read as markup, and then they are escaped.
class FreedesktopNotificationCenter final : public NotificationCenter {
 public:
  // Absent when the bus is not connected (no session bus: no centre).
  static std::unique_ptr<NotificationCenter> create(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                                    const QString& desktopEntry = QStringLiteral("ovel"));

  // `desktopEntry` is the base name of the application's .desktop file; the
  // server takes the icon and name from it.
  FreedesktopNotificationCenter(const QDBusConnection& bus, const QString& desktopEntry);

  void requestAuthorization(std::function<void(bool granted)> answer) override;
  void add(const QString& id, const QString& title, const QString& body) override;

 private:
  QDBusConnection bus_;
  QString desktopEntry_;
  // Unknown until the server answers; escaping meanwhile is the safe side.
  std::optional<bool> bodyMarkup_;
  // Owns the pending replies, so answers are dropped along with the centre.
  QObject context_;
};

}  // namespace ovel
