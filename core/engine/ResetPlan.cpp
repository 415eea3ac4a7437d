#include "core/engine/ResetPlan.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>

#include <nlohmann/json.hpp>

#include "core/engine/EngineConstants.h"
#include "core/support/FileIO.h"
#include "core/support/JsonWriter.h"

namespace ovel {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct ScopeTexts {
  PlannedReset::Scope scope;
  std::string_view raw;
  std::string_view label;
};

// In declaration order, so that a scope indexes its own row.
constexpr ScopeTexts kScopeTexts[] = {
    {PlannedReset::Scope::all, "all", "All limits"},
    {PlannedReset::Scope::session, "session", "Session (5h)"},
    {PlannedReset::Scope::week, "week", "Weekly limits"},
};

const ScopeTexts& textsOf(PlannedReset::Scope scope) { return kScopeTexts[static_cast<std::size_t>(scope)]; }

const json* member(const json& object, const char* key) {
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

const std::string* stringMember(const json& object, const char* key) {
  const json* value = member(object, key);
  return value && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

std::optional<long long> integerMember(const json& object, const char* key) {
  const json* value = member(object, key);
  if (!value || !value->is_number_integer()) return std::nullopt;
  if (value->is_number_unsigned() &&
      value->get<unsigned long long>() > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
    return std::nullopt;
  return value->get<long long>();
}

json encodeEntry(const PlannedReset& entry) {
  return json{{"date", isoString(entry.date)},
              {"id", entry.id.string()},
              {"note", entry.note},
              {"scope", rawValue(entry.scope)}};
}

// Every key is required; one bad entry makes the whole file unreadable.
std::optional<PlannedReset> decodeEntry(const json& object) {
  if (!object.is_object()) return std::nullopt;
  const std::string* date = stringMember(object, "date");
  const std::string* id = stringMember(object, "id");
  const std::string* note = stringMember(object, "note");
  const std::string* scope = stringMember(object, "scope");
  if (!date || !id || !note || !scope) return std::nullopt;
  auto parsedDate = parseIsoDate(*date);
  auto parsedId = Uuid::parse(*id);
  auto parsedScope = scopeFromRaw(*scope);
  if (!parsedDate || !parsedId || !parsedScope) return std::nullopt;
  return PlannedReset{*parsedId, *parsedDate, *parsedScope, *note};
}

std::string encodePlan(const ResetPlan& plan) {
  json planned = json::array();
  for (const auto& entry : plan.planned) planned.push_back(encodeEntry(entry));
  json document{{"banked", plan.banked}, {"planned", std::move(planned)}};
  return writeJson(document, {.pretty = true, .escapeSlashes = true});
}

std::optional<ResetPlan> decodePlan(std::string_view bytes) {
  json document = parseJsonOrDiscarded(bytes);
  if (!document.is_object()) return std::nullopt;
  auto banked = integerMember(document, "banked");
  const json* planned = member(document, "planned");
  if (!banked || !planned || !planned->is_array()) return std::nullopt;
  ResetPlan plan;
  plan.banked = *banked;
  for (const auto& element : *planned) {
    auto entry = decodeEntry(element);
    if (!entry) return std::nullopt;
    // A date no calendar can show counts as absent: that reset is not planned.
    if (isCalendarSeconds(secondsSince1970(entry->date))) plan.planned.push_back(std::move(*entry));
  }
  return plan;
}

}  // namespace

std::string_view rawValue(PlannedReset::Scope scope) { return textsOf(scope).raw; }

std::optional<PlannedReset::Scope> scopeFromRaw(std::string_view raw) {
  for (const auto& texts : kScopeTexts)
    if (texts.raw == raw) return texts.scope;
  return std::nullopt;
}

std::string_view label(PlannedReset::Scope scope) { return textsOf(scope).label; }

bool covers(PlannedReset::Scope scope, const WindowKind& kind) {
  switch (scope) {
    case PlannedReset::Scope::all: return true;
    case PlannedReset::Scope::session: return kind.isSession();
    case PlannedReset::Scope::week: break;
  }
  return !kind.isSession();
}

std::optional<Date> ResetPlan::horizon(const UsageWindow& window, Date now) const {
  if (!window.resetsAt) return std::nullopt;
  std::optional<Date> earliest;
  for (const auto& entry : planned) {
    bool shortens = covers(entry.scope, window.kind) && entry.date > now && entry.date < *window.resetsAt;
    if (shortens && (!earliest || entry.date < *earliest)) earliest = entry.date;
  }
  return earliest;
}

ResetPlan ResetPlan::pruned(Date now) const {
  Date cutoff = addSeconds(now, -kPlannedResetGrace);
  ResetPlan result{{}, banked};
  std::copy_if(planned.begin(), planned.end(), std::back_inserter(result.planned),
               [cutoff](const PlannedReset& entry) { return entry.date > cutoff; });
  std::stable_sort(result.planned.begin(), result.planned.end(),
                   [](const PlannedReset& a, const PlannedReset& b) { return a.date < b.date; });
  return result;
}

fs::path ResetPlanStore::keptAsideUrl() const {
  fs::path aside = url_;
  aside += ".bad";
  return aside;
}

ResetPlan ResetPlanStore::load() const {
  std::error_code ignored;
  return load(ignored);
}

ResetPlan ResetPlanStore::load(std::error_code& problem) const {
  problem.clear();
  std::string bytes;
  if (std::error_code error = readWholeFile(url_, bytes, kFileSizeLimit)) {
    if (error != std::errc::no_such_file_or_directory) problem = error;
    return {};
  }
  std::optional<ResetPlan> plan = decodePlan(bytes);
  if (!plan && !bytes.empty()) problem = FileError::malformed;
  return plan.value_or(ResetPlan{});
}

std::error_code ResetPlanStore::save(const ResetPlan& plan) const {
  // load() reads a damaged file as an empty plan; before the first save
  // would replace it for good, keep the user's bytes beside it.
  std::string existing;
  std::error_code readError = readWholeFile(url_, existing, kFileSizeLimit);
  if (readError == std::errc::no_such_file_or_directory) {
    // Nothing to keep.
  } else if (readError) {
    // Bytes we cannot read cannot be copied: move the file aside whole.
    if (::rename(url_.c_str(), keptAsideUrl().c_str()) != 0) return lastError();
  } else if (!existing.empty() && !decodePlan(existing)) {
    if (auto error = writeFileAtomically(keptAsideUrl(), existing)) return error;
  }
  return writeFileAtomically(url_, encodePlan(plan));
}

}  // namespace ovel
