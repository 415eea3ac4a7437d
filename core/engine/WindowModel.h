// Which limit window a reading belongs to, where it came from, and the
// reading itself. Plain values.
#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json_fwd.hpp>

#include "core/support/Time.h"

namespace ovel {

class WindowKind {
 public:
  enum class Case { session, week, weekModel };

  static WindowKind session() { return WindowKind(Case::session, {}); }
  static WindowKind week() { return WindowKind(Case::week, {}); }
  static WindowKind weekModel(std::string modelName) { return WindowKind(Case::weekModel, std::move(modelName)); }

  // "session", "week" or "week:<name>" with a non-empty name; nothing else.
  static std::optional<WindowKind> fromKey(std::string_view key);

  Case kindCase() const { return case_; }
  bool isSession() const { return case_ == Case::session; }
  bool isWeek() const { return case_ == Case::week; }
  bool isWeekModel() const { return case_ == Case::weekModel; }
  // The model name of a weekModel kind; empty for the other two.
  const std::string& modelName() const { return modelName_; }

  double duration() const;
  std::string title() const;       // "Session", "Week", "Week · <name>"
  std::string shortTitle() const;  // "5h", "7d", "<name>"
  std::string key() const;         // "session", "week", "week:<name>"

  bool operator==(const WindowKind& other) const = default;
  // session < week < weekModel, weekModels by name: code-point order of
  // the canonically composed (NFC) names, then bytes.
  std::strong_ordering operator<=>(const WindowKind& other) const;

 private:
  WindowKind(Case kindCase, std::string modelName) : case_(kindCase), modelName_(std::move(modelName)) {}

  Case case_;
  std::string modelName_;
};

enum class DataSource { usageCommand, statusLine };

std::string_view rawValue(DataSource source);
std::optional<DataSource> dataSourceFromRaw(std::string_view raw);

struct UsageWindow {
  WindowKind kind = WindowKind::session();
  double usedPercent = 0;
  std::optional<Date> resetsAt;
  Date observedAt;
  DataSource source = DataSource::usageCommand;

  // resetsAt minus the window's length.
  std::optional<Date> startsAt() const;
  // Same kind, and reset times both absent or both present and strictly
  // less than kSameInstanceBound apart.
  bool isSameInstance(const UsageWindow& other) const;
  // resetsAt is known and date is at or after it.
  bool hasReset(Date date) const;

  bool operator==(const UsageWindow& other) const = default;
};

// The instance rule shared by readings and history samples.
bool sameWindowInstance(std::optional<Date> resetA, std::optional<Date> resetB);

// Whether a time already held was stamped by a clock that has since come
// back: it lies more than kClockComeBackSlack ahead of both the time of a
// reading that arrives now and `now` itself. Such a time keeps no reading
// out, in the merge or in the history.
bool stampedBeforeTheClockCameBack(Date held, Date arriving, Date now);

// A coded value that does not have the shape its type expects.
class DecodingError : public std::runtime_error {
 public:
  enum class Kind { typeMismatch, keyNotFound, dataCorrupted };

  DecodingError(Kind kind, const std::string& description) : std::runtime_error(description), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace ovel

// Coded forms, for nlohmann::json and nlohmann::ordered_json (which keeps
// the key order below). A kind is an object with exactly one known key:
// {"session":{}}, {"week":{}} or {"weekModel":{"_0":name}}. A reading is
// {"kind", "usedPercent", "resetsAt" (left out when absent), "observedAt",
// "source"}, dates as seconds since 1970. Decoding throws DecodingError.
template <>
struct nlohmann::adl_serializer<ovel::WindowKind> {
  template <class Json>
  static void to_json(Json& json, const ovel::WindowKind& kind);
  template <class Json>
  static ovel::WindowKind from_json(const Json& json);
};

template <>
struct nlohmann::adl_serializer<ovel::UsageWindow> {
  template <class Json>
  static void to_json(Json& json, const ovel::UsageWindow& window);
  template <class Json>
  static ovel::UsageWindow from_json(const Json& json);
};

template <>
struct std::hash<ovel::WindowKind> {
  std::size_t operator()(const ovel::WindowKind& kind) const noexcept {
    return std::hash<std::string>{}(kind.modelName()) * 31 + static_cast<std::size_t>(kind.kindCase());
  }
};
