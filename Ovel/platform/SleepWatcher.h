// Tells when the machine has woken from sleep, so stale figures are fetched
// again at once rather than at the next timer.
#pragma once

#include <QDBusConnection>
#include <QObject>

namespace ovel {

// Listens to logind's PrepareForSleep signal; PrepareForSleep(false) comes
// on resume. Without the bus (or without logind) it simply never signals.
class SleepWatcher final : public QObject {
  Q_OBJECT

 public:
  explicit SleepWatcher(QObject* parent = nullptr);
  // Tests pass a bus of their own on which a fake logind speaks.
  explicit SleepWatcher(QDBusConnection bus, QObject* parent = nullptr);

  bool isWatching() const { return watching_; }

 signals:
  void didWake();

 private slots:
  void prepareForSleep(bool starting);

 private:
  bool watching_ = false;
};

}  // namespace ovel
