// Resets the user plans ahead of schedule, the banked resets they hold, and
// the store that keeps both in reset-plan.json.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "core/engine/WindowModel.h"
#include "core/support/Time.h"
#include "core/support/Uuid.h"

namespace ovel {

struct PlannedReset {
  enum class Scope { all, session, week };
  // In the order offered when planning a reset.
  static constexpr std::array<Scope, 3> allScopes{Scope::all, Scope::session, Scope::week};

  Uuid id;
  Date date;
  Scope scope = Scope::all;
  std::string note;

  bool operator==(const PlannedReset&) const = default;
};

std::string_view rawValue(PlannedReset::Scope scope);  // "all", "session", "week"
std::optional<PlannedReset::Scope> scopeFromRaw(std::string_view raw);
std::string_view label(PlannedReset::Scope scope);  // "All limits", "Session (5h)", "Weekly limits"
// all: every kind; session: the session only; week: the week and every per-model week.
bool covers(PlannedReset::Scope scope, const WindowKind& kind);

struct ResetPlan {
  std::vector<PlannedReset> planned;  // sorted by date by pruned()
  long long banked = 0;

  // The earliest planned reset covering the window that falls strictly
  // between now and the window's own reset; nothing when the window has no
  // reset time.
  std::optional<Date> horizon(const UsageWindow& window, Date now) const;
  // Keeps planned resets dated strictly after now minus a day, sorted by
  // date (stable); banked unchanged.
  ResetPlan pruned(Date now) const;

  bool operator==(const ResetPlan&) const = default;
};

class ResetPlanStore {
 public:
  // A larger file reads as damaged: a plan takes a few kilobytes.
  static constexpr std::uint64_t kFileSizeLimit = std::uint64_t{4} << 20;

  explicit ResetPlanStore(std::filesystem::path url) : url_(std::move(url)) {}

  const std::filesystem::path& url() const { return url_; }
  // "<file>.bad": where a plan file that cannot be read is kept before it
  // is first saved over.
  std::filesystem::path keptAsideUrl() const;

  // Never fails: a missing, unreadable or malformed file gives an empty plan.
  ResetPlan load() const;
  // The same, with why the file's plan is not the one given: the read's
  // failure, or FileError::malformed; nothing for a missing or empty file.
  ResetPlan load(std::error_code& problem) const;
  // Creates the folder and replaces the file atomically. When the file
  // there cannot be read as a plan, it is first kept as keptAsideUrl();
  // if that fails, nothing is written and the error is returned.
  [[nodiscard]] std::error_code save(const ResetPlan& plan) const;

 private:
  std::filesystem::path url_;
};

}  // namespace ovel
