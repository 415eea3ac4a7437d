// Decides which notifications are due from the window assessments, the
// user's switches and what this run has already seen and sent: limit
// reached, limit ahead, and a fresh window after a tight one.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/engine/OvelEngine.h"
#include "core/support/Time.h"
#include "model/Preferences.h"
#include "platform/NotificationCenter.h"

namespace ovel {

class Notifier final {
 public:
  // Without a centre nothing is asked and nothing is posted. `clock` gives
  // the time against which clock texts are written.
  explicit Notifier(NotificationCenter* center, std::function<Date()> clock = systemNow);

  bool hasCenter() const { return center_ != nullptr; }
  bool isAuthorized() const { return authorized_; }

  // Asks for permission, and again whenever the centre sees the answer may
  // have changed; runs `onGranted` on the GUI thread after every grant.
  void requestAuthorization(std::function<void()> onGranted);
  void evaluate(const std::vector<WindowAssessment>& assessments, const Preferences& preferences, Date now);

  // "limited:<key>@E", "risk:<key>@E" with E the reset time in ten-minute
  // steps (0 without one), "reset:<key>@<whole seconds of now>".
  static std::string epochKey(const UsageWindow& window);

 private:
  enum class Notice { limited, atRisk };

  void send(const std::string& id, const QString& title, const QString& body);
  void sendOncePerInstance(Notice notice, const UsageWindow& window, const std::string& id, const QString& title,
                           const QString& body);
  QString clockText(Date date) const;

  NotificationCenter* center_;
  std::function<Date()> clock_;
  bool authorized_ = false;
  std::set<std::string> sent_;
  std::map<std::string, OvelStatus> lastStatus_;
  // The reset time of the last limit or risk notice per window, so that
  // one instance read from two sources with slightly different reset times
  // is announced once.
  std::map<std::pair<Notice, std::string>, std::optional<Date>> lastNoticeReset_;
};

}  // namespace ovel
