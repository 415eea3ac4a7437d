// What the system keeps of one status-line refresh: the two plan-limit
// windows Claude Code reported and when they arrived. The relay writes it as
// statusline.json; the application only reads it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/engine/WindowModel.h"
#include "core/support/Time.h"

namespace ovel {

struct StatusLineSnapshot {
  struct Limit {
    std::optional<double> usedPercentage;  // as reported: may exceed 100, may be negative
    std::optional<double> resetsAt;        // seconds since 1970

    bool operator==(const Limit&) const = default;
  };

  struct RateLimits {
    std::optional<Limit> fiveHour;
    std::optional<Limit> sevenDay;

    bool operator==(const RateLimits&) const = default;
  };

  double observedAt = 0;  // seconds since 1970, with fraction
  RateLimits rateLimits;
  std::optional<std::string> sessionID;
  std::optional<std::string> claudeVersion;

  bool operator==(const StatusLineSnapshot&) const = default;

  // Claude Code's status-line JSON. Only "rate_limits" (its "five_hour" and
  // "seven_day" with "used_percentage" and "resets_at"), "session_id" and
  // "version" are read; null means absent and a wrong type on any of them
  // makes the whole input unusable. Gives a snapshot only when one of the
  // two windows has a used percentage. Builds no document tree.
  static std::optional<StatusLineSnapshot> fromStatusLineInput(std::string_view input, Date now) noexcept;

  // The session reading, then the week reading, each only when its used
  // percentage is known; source statusLine.
  std::vector<UsageWindow> windows() const;

  // statusline.json: compact, sorted keys, escaped slashes, no final line
  // feed; absent values are left out.
  std::string encoded() const;
  // Needs "observed_at" (a number) and "rate_limits" (an object).
  static std::optional<StatusLineSnapshot> decoded(std::string_view bytes) noexcept;

  // Creates the folder and replaces the file atomically. Not synced: the
  // next refresh rewrites it anyway.
  [[nodiscard]] std::error_code write(const std::filesystem::path& file) const noexcept;
  // Missing, unreadable or malformed files give nothing, and so do files
  // that are not regular or larger than this (a snapshot takes a few
  // hundred bytes).
  static constexpr std::uint64_t kFileSizeLimit = std::uint64_t{4} << 20;
  static std::optional<StatusLineSnapshot> read(const std::filesystem::path& file) noexcept;
  // The same, with why there is nothing: the read's failure, or
  // FileError::malformed.
  static std::optional<StatusLineSnapshot> read(const std::filesystem::path& file, std::error_code& error) noexcept;
};

}  // namespace ovel
