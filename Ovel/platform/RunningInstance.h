// Starting Ovel while it runs brings the running copy forward. The copy that
// holds a data directory's instance lock answers on the session bus under a
// name of that directory, through the freedesktop application interface
// (org.freedesktop.Application.Activate); a second start asks it and goes.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <filesystem>

namespace ovel {

class RunningInstance final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

 public:
  // The bus name of the copy that uses `dataDirectory`: one name per
  // directory, however the path is spelled.
  static QString serviceName(const std::filesystem::path& dataDirectory);

  // Takes the name and answers under it while the object lives. Without a
  // session bus nobody can ask, and isListening() is false.
  explicit RunningInstance(const std::filesystem::path& dataDirectory,
                           QDBusConnection bus = QDBusConnection::sessionBus());
  ~RunningInstance() override;
  RunningInstance(const RunningInstance&) = delete;
  RunningInstance& operator=(const RunningInstance&) = delete;

  bool isListening() const { return listening_; }

  // For a second start: asks the copy running with `dataDirectory` to come
  // forward, waiting up to `wait` for it to take its name (it does so just
  // after its lock). False when no copy answered. Runs a local event loop.
  static bool activate(const std::filesystem::path& dataDirectory,
                       std::chrono::milliseconds wait = std::chrono::seconds(3),
                       QDBusConnection bus = QDBusConnection::sessionBus());

 signals:
  void activated();

 public slots:
  // The interface's method, with the caller's platform data (unused).
  Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

 private:
  QDBusConnection bus_;
  QString service_;
  bool listening_ = false;
};

}  // namespace ovel
