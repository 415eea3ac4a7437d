#include "core/claude/StatusLineSnapshot.h"

#include <array>

#include <nlohmann/json.hpp>

#include "core/support/FileIO.h"
#include "core/support/JSONValue.h"
#include "core/support/JsonWriter.h"

namespace ovel {
namespace {

using Limit = StatusLineSnapshot::Limit;
using RateLimits = StatusLineSnapshot::RateLimits;

enum class Member { unread, observedAt, rateLimits, sessionID, version, fiveHour, sevenDay, usedPercentage, resetsAt };
enum class Level { top, rateLimits, limit };

// Picks the snapshot's members out of the parser's events. Everything else
// is skipped by counting nesting, so no tree is built and a deeply nested
// payload costs nothing.
class SnapshotFields final : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit SnapshotFields(bool storedFile) : storedFile_(storedFile) {}

  std::optional<double> observedAt;
  std::optional<RateLimits> rateLimits;
  std::optional<std::string> sessionID;
  std::optional<std::string> claudeVersion;

  bool null() override {
    if (depth_ == 0) return false;
    if (skipping()) return true;
    switch (member_) {
      case Member::observedAt: observedAt.reset(); break;
      case Member::rateLimits: rateLimits.reset(); break;
      case Member::sessionID: sessionID.reset(); break;
      case Member::version: claudeVersion.reset(); break;
      case Member::fiveHour: rateLimits->fiveHour.reset(); break;
      case Member::sevenDay: rateLimits->sevenDay.reset(); break;
      case Member::usedPercentage: limit_->usedPercentage.reset(); break;
      case Member::resetsAt: limit_->resetsAt.reset(); break;
      case Member::unread: break;
    }
    return true;
  }
  bool boolean(bool) override { return depth_ > 0 && skipping(); }
  bool number_integer(number_integer_t value) override { return number(static_cast<double>(value)); }
  bool number_unsigned(number_unsigned_t value) override { return number(static_cast<double>(value)); }
  bool number_float(number_float_t value, const string_t&) override { return number(value); }
  bool string(string_t& value) override {
    if (depth_ == 0) return false;
    if (skipping()) return true;
    if (member_ == Member::sessionID) sessionID = std::move(value);
    else if (member_ == Member::version) claudeVersion = std::move(value);
    else return false;
    return true;
  }
  bool binary(binary_t&) override { return false; }
  bool start_object(std::size_t) override {
    if (depth_ == 0) return enter(Level::top);
    if (skipping()) return skip();
    switch (member_) {
      case Member::rateLimits: rateLimits.emplace(); return enter(Level::rateLimits);
      case Member::fiveHour: limit_ = &rateLimits->fiveHour.emplace(); return enter(Level::limit);
      case Member::sevenDay: limit_ = &rateLimits->sevenDay.emplace(); return enter(Level::limit);
      default: return false;
    }
  }
  bool start_array(std::size_t) override { return depth_ > 0 && skipping() && skip(); }
  bool key(string_t& name) override {
    if (skipped_ == 0) member_ = memberNamed(levels_[depth_ - 1], name);
    return true;
  }
  bool end_object() override { return leave(); }
  bool end_array() override { return leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  bool storedFile_;
  std::array<Level, 3> levels_{};
  std::size_t depth_ = 0;    // levels entered that we read
  std::size_t skipped_ = 0;  // containers open inside a value we skip
  Member member_ = Member::unread;
  Limit* limit_ = nullptr;

  bool skipping() const { return skipped_ > 0 || member_ == Member::unread; }
  bool skip() {
    ++skipped_;
    return true;
  }
  bool enter(Level level) {
    levels_[depth_++] = level;
    member_ = Member::unread;
    return true;
  }
  bool leave() {
    if (skipped_ > 0) --skipped_;
    else --depth_;
    return true;
  }
  bool number(double value) {
    if (depth_ == 0) return false;
    if (skipping()) return true;
    // A time that no calendar can show (1e300, before 1970) counts as absent.
    std::optional<double> time;
    if (isCalendarSeconds(value)) time = value;
    switch (member_) {
      case Member::observedAt: observedAt = time; return true;
      case Member::usedPercentage: limit_->usedPercentage = value; return true;
      case Member::resetsAt: limit_->resetsAt = time; return true;
      default: return false;
    }
  }
  Member memberNamed(Level level, std::string_view name) const {
    switch (level) {
      case Level::top:
        if (name == "rate_limits") return Member::rateLimits;
        if (name == "session_id") return Member::sessionID;
        if (name == "version") return Member::version;
        if (storedFile_ && name == "observed_at") return Member::observedAt;
        break;
      case Level::rateLimits:
        if (name == "five_hour") return Member::fiveHour;
        if (name == "seven_day") return Member::sevenDay;
        break;
      case Level::limit:
        if (name == "used_percentage") return Member::usedPercentage;
        if (name == "resets_at") return Member::resetsAt;
        break;
    }
    return Member::unread;
  }
};

bool scan(std::string_view text, SnapshotFields& fields) noexcept {
  try {
    return mayBeJsonText(text) && nlohmann::json::sax_parse(text.begin(), text.end(), &fields);
  } catch (const std::exception&) { return false; }
}

bool hasUsedPercentage(const std::optional<Limit>& limit) { return limit && limit->usedPercentage; }

nlohmann::json limitJson(const Limit& limit) {
  nlohmann::json object = nlohmann::json::object();
  if (limit.resetsAt) object["resets_at"] = JSONNumber(*limit.resetsAt).toJson();
  if (limit.usedPercentage) object["used_percentage"] = JSONNumber(*limit.usedPercentage).toJson();
  return object;
}

void addReading(std::vector<UsageWindow>& readings, const std::optional<Limit>& limit, WindowKind kind,
                double observedAt) {
  if (!hasUsedPercentage(limit)) return;
  UsageWindow reading;
  reading.kind = std::move(kind);
  reading.usedPercent = *limit->usedPercentage;
  if (limit->resetsAt) reading.resetsAt = dateFromSeconds1970(*limit->resetsAt);
  reading.observedAt = dateFromSeconds1970(observedAt);
  reading.source = DataSource::statusLine;
  readings.push_back(std::move(reading));
}

}  // namespace

std::optional<StatusLineSnapshot> StatusLineSnapshot::fromStatusLineInput(std::string_view input, Date now) noexcept {
  SnapshotFields fields(false);
  if (!scan(input, fields) || !fields.rateLimits) return std::nullopt;
  if (!hasUsedPercentage(fields.rateLimits->fiveHour) && !hasUsedPercentage(fields.rateLimits->sevenDay))
    return std::nullopt;
  return StatusLineSnapshot{secondsSince1970(now), std::move(*fields.rateLimits), std::move(fields.sessionID),
                            std::move(fields.claudeVersion)};
}

std::optional<StatusLineSnapshot> StatusLineSnapshot::decoded(std::string_view bytes) noexcept {
  SnapshotFields fields(true);
  if (!scan(bytes, fields) || !fields.observedAt || !fields.rateLimits) return std::nullopt;
  return StatusLineSnapshot{*fields.observedAt, std::move(*fields.rateLimits), std::move(fields.sessionID),
                            std::move(fields.claudeVersion)};
}

std::vector<UsageWindow> StatusLineSnapshot::windows() const {
  std::vector<UsageWindow> readings;
  addReading(readings, rateLimits.fiveHour, WindowKind::session(), observedAt);
  addReading(readings, rateLimits.sevenDay, WindowKind::week(), observedAt);
  return readings;
}

std::string StatusLineSnapshot::encoded() const {
  nlohmann::json limits = nlohmann::json::object();
  if (rateLimits.fiveHour) limits["five_hour"] = limitJson(*rateLimits.fiveHour);
  if (rateLimits.sevenDay) limits["seven_day"] = limitJson(*rateLimits.sevenDay);
  nlohmann::json object = {{"observed_at", JSONNumber(observedAt).toJson()}, {"rate_limits", std::move(limits)}};
  if (sessionID) object["session_id"] = *sessionID;
  if (claudeVersion) object["version"] = *claudeVersion;
  return writeJson(object, {.pretty = false, .escapeSlashes = true, .finalNewline = false});
}

std::error_code StatusLineSnapshot::write(const std::filesystem::path& file) const noexcept {
  try {
    return writeFileAtomically(file, encoded(), {.sync = false});
  } catch (const std::exception&) { return std::make_error_code(std::errc::not_enough_memory); }
}

std::optional<StatusLineSnapshot> StatusLineSnapshot::read(const std::filesystem::path& file) noexcept {
  std::error_code ignored;
  return read(file, ignored);
}

std::optional<StatusLineSnapshot> StatusLineSnapshot::read(const std::filesystem::path& file,
                                                           std::error_code& error) noexcept {
  error.clear();
  try {
    std::string bytes;
    if ((error = readWholeFile(file, bytes, kFileSizeLimit))) return std::nullopt;
    std::optional<StatusLineSnapshot> snapshot = decoded(bytes);
    if (!snapshot) error = FileError::malformed;
    return snapshot;
  } catch (const std::exception&) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return std::nullopt;
  }
}

}  // namespace ovel
