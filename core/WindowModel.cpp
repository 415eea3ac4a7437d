#include "WindowModel.h"

#include <cmath>

#include "EngineConstants.h"

namespace ovel {
namespace {
constexpr std::string_view kWeekModelPrefix = "week:";
}

std::optional<WindowKind> WindowKind::fromKey(std::string_view key) {
  if (key == "session") return session();
  if (key == "week") return week();
  if (key.size() > kWeekModelPrefix.size() && key.starts_with(kWeekModelPrefix))
    return weekModel(std::string(key.substr(kWeekModelPrefix.size())));
  return std::nullopt;
}

double WindowKind::duration() const { return case_ == Case::session ? kSessionDuration : kWeekDuration; }

std::string WindowKind::title() const {
  switch (case_) {
    case Case::session: return "Session";
    case Case::week: return "Week";
    case Case::weekModel: break;
  }
  return "Week \u00B7 " + modelName_;
}

std::string WindowKind::shortTitle() const {
  switch (case_) {
    case Case::session: return "5h";
    case Case::week: return "7d";
    case Case::weekModel: break;
  }
  return modelName_;
}

std::string WindowKind::key() const {
  switch (case_) {
    case Case::session: return "session";
    case Case::week: return "week";
    case Case::weekModel: break;
  }
  return std::string(kWeekModelPrefix) + modelName_;
}

std::strong_ordering WindowKind::operator<=>(const WindowKind& other) const {
  if (auto order = case_ <=> other.case_; order != 0) return order;
  // Byte order of UTF-8 is code-point order.
  return modelName_.compare(other.modelName_) <=> 0;
}

std::string_view rawValue(DataSource source) {
  return source == DataSource::statusLine ? "statusLine" : "usageCommand";
}

std::optional<DataSource> dataSourceFromRaw(std::string_view raw) {
  if (raw == "usageCommand") return DataSource::usageCommand;
  if (raw == "statusLine") return DataSource::statusLine;
  return std::nullopt;
}

bool sameWindowInstance(std::optional<Date> resetA, std::optional<Date> resetB) {
  if (!resetA && !resetB) return true;
  if (!resetA || !resetB) return false;
  return std::fabs(secondsBetween(*resetA, *resetB)) < kSameInstanceBound;
}

std::optional<Date> UsageWindow::startsAt() const {
  if (!resetsAt) return std::nullopt;
  return addSeconds(*resetsAt, -kind.duration());
}

bool UsageWindow::isSameInstance(const UsageWindow& other) const {
  return kind == other.kind && sameWindowInstance(resetsAt, other.resetsAt);
}

bool UsageWindow::hasReset(Date date) const { return resetsAt && date >= *resetsAt; }

}  // namespace ovel
