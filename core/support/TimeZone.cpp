#include "core/support/TimeZone.h"

#include <unicode/dtrule.h>
#include <unicode/rbtz.h>
#include <unicode/tzrule.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/support/FileIO.h"
#include "core/support/ZoneFile.h"

namespace ovel {

struct TimeZone::Rules {
  std::unique_ptr<icu::RuleBasedTimeZone> zone;
};

TimeZone::TimeZone(std::unique_ptr<Rules> rules) : rules_(std::move(rules)) {}
TimeZone::~TimeZone() = default;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using Change = PosixZoneRule::Change;

constexpr double kMillisPerSecond = 1000;
// Changes before this (1901) are left out, their result kept as the first
// offset: ICU's own range ends near there, and no reading is that old.
constexpr std::int64_t kEarliestChange = -(std::int64_t{1} << 31);

icu::UnicodeString ruleName(const std::string& name) { return icu::UnicodeString::fromUTF8(name); }

int32_t millis(std::int64_t seconds) { return static_cast<int32_t>(seconds * 1000); }

// The day of a non-leap year that "Jn" (or "n", one day earlier) names. In
// a leap year "n" from day 59 on names one day later; no zone file uses it.
icu::DateTimeRule* dayOfYearRule(int dayOfYear, int32_t timeMillis) {
  static constexpr int kMonthLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  dayOfYear = std::clamp(dayOfYear, 1, 365);
  int month = 0;
  while (dayOfYear > kMonthLengths[month]) dayOfYear -= kMonthLengths[month++];
  return new icu::DateTimeRule(month, dayOfYear, timeMillis, icu::DateTimeRule::WALL_TIME);
}

// A change of the closing rule, at the wall time in force before it.
icu::DateTimeRule* changeRule(const Change& change) {
  int32_t time = millis(change.secondsIntoDay);
  switch (change.day) {
    case Change::Day::julianNoLeap: return dayOfYearRule(change.number, time);
    case Change::Day::zeroBased: return dayOfYearRule(change.number + 1, time);
    case Change::Day::monthWeekDay: break;
  }
  // Week 5 is the last such weekday of the month; ICU counts it as -1.
  return new icu::DateTimeRule(change.month - 1, change.week == 5 ? -1 : change.week, change.weekday + 1, time,
                               icu::DateTimeRule::WALL_TIME);
}

int utcYear(std::int64_t seconds) {
  return static_cast<int>(year_month_day{floor<days>(sys_seconds{std::chrono::seconds{seconds}})}.year());
}

// The closing rule from the last listed change on: its changes later in
// that change's year one by one, then a pair of yearly rules from the next
// year. Its earlier changes of that year must not apply: a zone that changed
// its rules that year (a slim file lists nothing later) would take the new
// rule's change before the listed one and be an hour off for weeks.
void addClosingRule(icu::RuleBasedTimeZone& zone, const PosixZoneRule& rule, std::optional<std::int64_t> lastChange,
                    UErrorCode& status) {
  const auto& daylight = *rule.daylight;
  const int32_t standard = millis(rule.standardOffset), saving = millis(daylight.offset - rule.standardOffset);
  const struct {
    const char* name;
    const Change& change;
    int32_t savingAfter, savingBefore;
  } changes[] = {{"closing standard", daylight.end, 0, saving}, {"closing daylight", daylight.start, saving, 0}};
  const int firstYear = lastChange ? utcYear(*lastChange) + 1 : 1900;
  for (const auto& change : changes) {
    if (lastChange) {
      const int year = firstYear - 1;
      icu::AnnualTimeZoneRule once(ruleName(change.name), standard, change.savingAfter, changeRule(change.change), year,
                                   year);
      UDate start = 0;
      if (once.getStartInYear(year, standard, change.savingBefore, start) &&
          start > static_cast<double>(*lastChange) * kMillisPerSecond)
        zone.addTransitionRule(
            new icu::TimeArrayTimeZoneRule(ruleName(std::string(change.name) + " once"), standard, change.savingAfter,
                                           &start, 1, icu::DateTimeRule::UTC_TIME),
            status);
    }
    zone.addTransitionRule(
        new icu::AnnualTimeZoneRule(ruleName(change.name), standard, change.savingAfter, changeRule(change.change),
                                    firstYear, icu::AnnualTimeZoneRule::MAX_YEAR),
        status);
  }
}

// ICU's zone for the file: the offsets as the file lists them (only their
// sums matter here), one rule per offset with the instants it starts, and
// the closing rule from the last listed change on.
std::unique_ptr<TimeZone> zoneFrom(const ZoneFile& file, const std::string& id) {
  std::size_t firstType = 0;
  std::vector<std::vector<UDate>> starts(file.types.size());
  std::optional<std::int64_t> lastChange;
  for (const auto& transition : file.transitions) {
    if (transition.at < kEarliestChange) {
      firstType = transition.type;
      continue;
    }
    starts[transition.type].push_back(static_cast<double>(transition.at) * kMillisPerSecond);
    lastChange = transition.at;
  }

  UErrorCode status = U_ZERO_ERROR;
  auto zone = std::make_unique<icu::RuleBasedTimeZone>(
      ruleName(id), new icu::InitialTimeZoneRule(ruleName("initial"), millis(file.types[firstType].offset), 0));
  for (std::size_t type = 0; type < starts.size(); ++type) {
    if (starts[type].empty()) continue;
    zone->addTransitionRule(
        new icu::TimeArrayTimeZoneRule(ruleName("type " + std::to_string(type)), millis(file.types[type].offset), 0,
                                       starts[type].data(), static_cast<int32_t>(starts[type].size()),
                                       icu::DateTimeRule::UTC_TIME),
        status);
  }
  if (file.closing && file.closing->daylight) addClosingRule(*zone, *file.closing, lastChange, status);
  zone->complete(status);
  if (U_FAILURE(status)) return nullptr;
  auto rules = std::make_unique<TimeZone::Rules>();
  rules->zone = std::move(zone);
  return std::make_unique<TimeZone>(std::move(rules));
}

// A zone of the closing rule alone (a POSIX TZ value such as "EST5EDT,M3.2.0,M11.1.0").
std::unique_ptr<TimeZone> zoneFromRule(std::string_view text) {
  auto rule = PosixZoneRule::parse(text);
  if (!rule) return nullptr;
  ZoneFile file;
  file.types.push_back({rule->standardOffset, false});
  file.closing = rule;
  return zoneFrom(file, std::string(text));
}

std::unique_ptr<TimeZone> zoneFromFile(const fs::path& path) {
  std::string bytes;
  if (readWholeFile(path, bytes, ZoneFile::kFileSizeLimit)) return nullptr;
  auto file = ZoneFile::parse(bytes);
  return file ? zoneFrom(*file, path.string()) : nullptr;
}

// Zones live as long as the program, so callers may keep the pointers.
class ZoneCache {
 public:
  const TimeZone* get(const std::string& key, const std::function<std::unique_ptr<TimeZone>()>& load) {
    std::lock_guard lock(mutex_);
    auto found = zones_.find(key);
    if (found != zones_.end()) return found->second.get();
    // A miss is not kept: names come from other programs' texts.
    std::unique_ptr<TimeZone> zone = load();
    if (!zone) return nullptr;
    return zones_.emplace(key, std::move(zone)).first->second.get();
  }

  // The zone of the last $TZ name or rule, found once: a rule such as
  // "JST-9" would otherwise be looked for as a zone file on every call.
  const TimeZone* tzZone(const std::string& key, const std::function<const TimeZone*()>& find) {
    {
      std::lock_guard lock(mutex_);
      if (tzKey_ == key) return tzZone_;
    }
    // Unlocked: find() goes through get().
    const TimeZone* zone = find();
    std::lock_guard lock(mutex_);
    tzKey_ = key;
    tzZone_ = zone;
    return zone;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<TimeZone>> zones_;
  std::optional<std::string> tzKey_;
  const TimeZone* tzZone_ = nullptr;
};

ZoneCache& cache() {
  static ZoneCache zones;
  return zones;
}

const TimeZone* fileZone(const fs::path& path) {
  return cache().get("file:" + path.string(), [&] { return zoneFromFile(path); });
}

const TimeZone* ruleZone(std::string_view text) {
  return cache().get("rule:" + std::string(text), [&] { return zoneFromRule(text); });
}

// The machine's zone changes by retargeting a link, so the zone is keyed by
// the file the link names; a plain file is keyed by its own path.
const TimeZone* linkedFileZone(const fs::path& path) {
  std::error_code notALink;
  fs::path target = fs::read_symlink(path, notALink);
  if (notALink) return fileZone(path);
  return fileZone((path.parent_path() / target).lexically_normal());
}

// An IANA id names a file below the zone folder, and nothing else.
bool isZoneId(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.size() > 255) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '-' && c != '+' && c != '.')
      return false;
  return name.find("..") == std::string_view::npos;
}

fs::path zoneFolder() {
  const char* folder = std::getenv("TZDIR");
  return folder && *folder ? fs::path(folder) : fs::path("/usr/share/zoneinfo");
}

const TimeZone& utc() {
  static const TimeZone* zone = ruleZone("UTC0");
  return *zone;
}

// $TZ as the C library reads it: a zone file by name or path, or a rule.
const TimeZone* zoneOfTzVariable() {
  const char* variable = std::getenv("TZ");
  if (!variable) return nullptr;
  std::string_view value = variable;
  if (value.starts_with(':')) value.remove_prefix(1);
  if (value.empty()) return &utc();
  if (value.front() == '/') return linkedFileZone(fs::path(value));
  // A name is looked for in the zone folder, so the folder is part of the key.
  std::string key = std::string(value) + '\0' + zoneFolder().string();
  return cache().tzZone(key, [value]() -> const TimeZone* {
    if (const TimeZone* zone = knownZone(value)) return zone;
    return ruleZone(value);
  });
}

}  // namespace

const TimeZone* knownZone(std::string_view name) {
  if (!isZoneId(name)) return nullptr;
  return fileZone(zoneFolder() / name);
}

const TimeZone& zoneOrMachine(std::string_view name) {
  if (const TimeZone* zone = knownZone(name)) return *zone;
  if (const TimeZone* zone = zoneOfTzVariable()) return *zone;
  if (const TimeZone* zone = linkedFileZone("/etc/localtime")) return *zone;
  return utc();
}

bool isKnownZone(std::string_view name) { return knownZone(name) != nullptr; }

LocalTime localTime(Date date, const TimeZone& zone) {
  double seconds = secondsSince1970(date);
  // Years 0 to 9999: readers keep other times out, and a cast beyond is undefined.
  seconds = std::isnan(seconds) ? 0 : std::clamp(std::floor(seconds), -62167219200.0, kLatestCalendarSeconds);
  int32_t raw = 0, daylight = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone.rules().zone->getOffset(seconds * kMillisPerSecond, false, raw, daylight, status);
  if (U_FAILURE(status)) raw = daylight = 0;
  // The wall-clock reading, carried as if it were a UTC instant.
  sys_seconds local{std::chrono::seconds{static_cast<long long>(seconds) + (raw + daylight) / 1000}};
  auto day = floor<days>(local);
  year_month_day ymd{day};
  hh_mm_ss<std::chrono::seconds> time{local - day};
  LocalTime result;
  result.year = static_cast<int>(ymd.year());
  result.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  result.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  result.hour = static_cast<int>(time.hours().count());
  result.minute = static_cast<int>(time.minutes().count());
  result.second = static_cast<int>(time.seconds().count());
  result.weekday = static_cast<int>(weekday{day}.c_encoding());
  return result;
}

LocalTime localTime(Date date, std::string_view zone) { return localTime(date, zoneOrMachine(zone)); }

std::optional<Date> wallClockDate(const TimeZone& zone, int year, int month, int day, int hour, int minute) {
  if (month < 1 || month > 12) return std::nullopt;
  sys_days first{
      year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)}, std::chrono::day{1}}};
  double local = (static_cast<double>(first.time_since_epoch().count() + day - 1) * 86400 + hour * 3600.0 +
                  minute * 60.0) *
                 kMillisPerSecond;
  const icu::RuleBasedTimeZone& rules = *zone.rules().zone;
  // Read with the offset in force before a change, then with the one after:
  // the same instant, two instants of a repeated time (the first is the
  // earlier), or, for a skipped time, two instants around the change.
  UErrorCode status = U_ZERO_ERROR;
  int32_t raw = 0, daylight = 0;
  rules.getOffsetFromLocal(local, UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, raw, daylight, status);
  double before = local - (raw + daylight);
  rules.getOffsetFromLocal(local, UCAL_TZ_LOCAL_LATTER, UCAL_TZ_LOCAL_LATTER, raw, daylight, status);
  double after = local - (raw + daylight);
  if (U_FAILURE(status)) return std::nullopt;
  double instant = before;
  icu::TimeZoneTransition change;
  if (before > after && rules.getPreviousTransition(before, true, change) && change.getTime() > after)
    instant = change.getTime();
  return calendarDate(instant / kMillisPerSecond);
}

}  // namespace ovel
