#include "core/engine/WindowModel.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "core/engine/EngineConstants.h"

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

bool stampedBeforeTheClockCameBack(Date held, Date arriving, Date now) {
  return secondsBetween(held, std::max(arriving, now)) > kClockComeBackSlack;
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

namespace {

using ovel::DecodingError;

constexpr const char* kKindKeys[] = {"session", "week", "weekModel"};
constexpr const char* kModelNameKey = "_0";

template <class Json>
const Json& requiredMember(const Json& object, const char* key) {
  auto member = object.find(key);
  if (member == object.end())
    throw DecodingError(DecodingError::Kind::keyNotFound, std::string("No value associated with key \"") + key + "\".");
  return *member;
}

template <class Json>
void requireObject(const Json& json, const char* what) {
  if (!json.is_object())
    throw DecodingError(DecodingError::Kind::typeMismatch, std::string("Expected to decode an object for ") + what +
                                                               " but found " + json.type_name() + ".");
}

template <class Json>
double requiredNumber(const Json& object, const char* key) {
  const Json& value = requiredMember(object, key);
  if (!value.is_number())
    throw DecodingError(DecodingError::Kind::typeMismatch, std::string("Expected to decode a number for \"") + key +
                                                               "\" but found " + value.type_name() + ".");
  return value.template get<double>();
}

template <class Json>
std::string requiredString(const Json& object, const char* key) {
  const Json& value = requiredMember(object, key);
  if (!value.is_string())
    throw DecodingError(DecodingError::Kind::typeMismatch, std::string("Expected to decode a string for \"") + key +
                                                               "\" but found " + value.type_name() + ".");
  return value.template get<std::string>();
}

}  // namespace

template <class Json>
void nlohmann::adl_serializer<ovel::WindowKind>::to_json(Json& json, const ovel::WindowKind& kind) {
  Json payload = Json::object();
  if (kind.isWeekModel()) payload[kModelNameKey] = kind.modelName();
  json = Json::object();
  json[kKindKeys[static_cast<int>(kind.kindCase())]] = std::move(payload);
}

template <class Json>
ovel::WindowKind nlohmann::adl_serializer<ovel::WindowKind>::from_json(const Json& json) {
  requireObject(json, "the window kind");
  // Keys other than the three case names are ignored.
  const char* found = nullptr;
  int known = 0;
  for (const char* key : kKindKeys) {
    if (json.contains(key)) {
      found = key;
      ++known;
    }
  }
  if (known != 1) throw DecodingError(DecodingError::Kind::typeMismatch, "Invalid number of keys found, expected one.");

  const Json& payload = json.at(found);
  requireObject(payload, found);
  std::string_view name = found;
  if (name == "session") return ovel::WindowKind::session();
  if (name == "week") return ovel::WindowKind::week();
  return ovel::WindowKind::weekModel(requiredString(payload, kModelNameKey));
}

template <class Json>
void nlohmann::adl_serializer<ovel::UsageWindow>::to_json(Json& json, const ovel::UsageWindow& window) {
  json = Json::object();
  json["kind"] = window.kind;
  json["usedPercent"] = window.usedPercent;
  if (window.resetsAt) json["resetsAt"] = ovel::secondsSince1970(*window.resetsAt);
  json["observedAt"] = ovel::secondsSince1970(window.observedAt);
  json["source"] = ovel::rawValue(window.source);
}

template <class Json>
ovel::UsageWindow nlohmann::adl_serializer<ovel::UsageWindow>::from_json(const Json& json) {
  requireObject(json, "the reading");
  ovel::UsageWindow window;
  window.kind = requiredMember(json, "kind").template get<ovel::WindowKind>();
  window.usedPercent = requiredNumber(json, "usedPercent");
  if (auto reset = json.find("resetsAt"); reset != json.end() && !reset->is_null())
    window.resetsAt = ovel::dateFromSeconds1970(requiredNumber(json, "resetsAt"));
  window.observedAt = ovel::dateFromSeconds1970(requiredNumber(json, "observedAt"));
  std::string source = requiredString(json, "source");
  auto parsed = ovel::dataSourceFromRaw(source);
  if (!parsed)
    throw DecodingError(DecodingError::Kind::dataCorrupted,
                        "Cannot initialize DataSource from invalid String value " + source);
  window.source = *parsed;
  return window;
}

template void nlohmann::adl_serializer<ovel::WindowKind>::to_json(nlohmann::json&, const ovel::WindowKind&);
template void nlohmann::adl_serializer<ovel::WindowKind>::to_json(nlohmann::ordered_json&, const ovel::WindowKind&);
template ovel::WindowKind nlohmann::adl_serializer<ovel::WindowKind>::from_json(const nlohmann::json&);
template ovel::WindowKind nlohmann::adl_serializer<ovel::WindowKind>::from_json(const nlohmann::ordered_json&);
template void nlohmann::adl_serializer<ovel::UsageWindow>::to_json(nlohmann::json&, const ovel::UsageWindow&);
template void nlohmann::adl_serializer<ovel::UsageWindow>::to_json(nlohmann::ordered_json&, const ovel::UsageWindow&);
template ovel::UsageWindow nlohmann::adl_serializer<ovel::UsageWindow>::from_json(const nlohmann::json&);
template ovel::UsageWindow nlohmann::adl_serializer<ovel::UsageWindow>::from_json(const nlohmann::ordered_json&);
