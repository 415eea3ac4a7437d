#include "Notifier.h"

#include <cmath>

#include "model/Format.h"

namespace ovel {
namespace {

constexpr double kSessionRiskNotice = 7200;
constexpr double kWeekRiskNotice = 86400;
constexpr double kFreshWindowPercent = 5;
constexpr double kEpochStep = 600;

QString qs(const std::string& text) { return QString::fromStdString(text); }

std::string wholeNumber(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return "0";
  return std::to_string(static_cast<long long>(value));
}

}  // namespace

Notifier::Notifier(NotificationCenter* center, std::function<Date()> clock)
    : center_(center), clock_(std::move(clock)) {}

std::string Notifier::epochKey(const UsageWindow& window) {
  double epoch = window.resetsAt ? std::round(secondsSince1970(*window.resetsAt) / kEpochStep) : 0;
  return window.kind.key() + "@" + wholeNumber(epoch);
}

QString Notifier::clockText(Date date) const { return qs(Format::clock(date, clock_())); }

void Notifier::requestAuthorization(std::function<void()> onGranted) {
  if (!center_) return;
  center_->requestAuthorization([this, onGranted = std::move(onGranted)](bool granted) {
    authorized_ = granted;
    if (granted && onGranted) onGranted();
  });
}

void Notifier::evaluate(const std::vector<WindowAssessment>& assessments, const Preferences& preferences, Date now) {
  for (const WindowAssessment& a : assessments) {
    const UsageWindow& window = a.window;
    std::string key = window.kind.key();
    std::optional<OvelStatus> previous;
    if (auto found = lastStatus_.find(key); found != lastStatus_.end()) previous = found->second;
    lastStatus_[key] = a.status;
    QString title = qs(window.kind.title());

    if (a.status == OvelStatus::limited && preferences.notifyLimited()) {
      QString body = window.resetsAt ? "Resets at " + clockText(*window.resetsAt) + "." : QString();
      sendOncePerInstance(Notice::limited, window, "limited:" + epochKey(window), title + " limit reached", body);
    }

    double riskBound = window.kind.isSession() ? kSessionRiskNotice : kWeekRiskNotice;
    if (a.status == OvelStatus::atRisk && preferences.notifyAtRisk() && a.timeToLimit && *a.timeToLimit < riskBound) {
      double toLimit = *a.timeToLimit;
      QString resets = window.resetsAt ? clockText(*window.resetsAt) : QStringLiteral("\u2014");
      QString body = "At your current ovel you'll hit the limit around " + clockText(addSeconds(now, toLimit)) +
                     ". It resets at " + resets + ".";
      sendOncePerInstance(Notice::atRisk, window, "risk:" + epochKey(window),
                          title + ": limit in ~" + qs(Format::duration(toLimit)), body);
    }

    bool wasTight = previous == OvelStatus::atRisk || previous == OvelStatus::limited;
    if (preferences.notifyReset() && wasTight && a.status == OvelStatus::comfortable &&
        window.usedPercent < kFreshWindowPercent) {
      send("reset:" + key + "@" + wholeNumber(std::floor(secondsSince1970(now))), title + " reset",
           QStringLiteral("Fresh window. You're good to go."));
    }
  }
}

void Notifier::sendOncePerInstance(Notice notice, const UsageWindow& window, const std::string& id,
                                   const QString& title, const QString& body) {
  auto memory = lastNoticeReset_.find({notice, window.kind.key()});
  if (memory != lastNoticeReset_.end() && sameWindowInstance(memory->second, window.resetsAt)) return;
  if (sent_.count(id) || !center_ || !authorized_) return;
  send(id, title, body);
  lastNoticeReset_[{notice, window.kind.key()}] = window.resetsAt;
}

void Notifier::send(const std::string& id, const QString& title, const QString& body) {
  // An id not posted for want of permission is not remembered.
  if (sent_.count(id) || !center_ || !authorized_) return;
  sent_.insert(id);
  center_->add(qs(id), title, body);
}

}  // namespace ovel
