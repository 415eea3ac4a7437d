// Local activity: the token counts of assistant turns read from Claude
// Code's transcripts, and the weight that turns them into one number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/support/SharedText.h"
#include "core/support/Time.h"

namespace ovel {

struct TokenCounts {
  std::int64_t input = 0;
  std::int64_t output = 0;
  std::int64_t cacheRead = 0;
  std::int64_t cacheWrite5m = 0;
  std::int64_t cacheWrite1h = 0;

  // The plain sum, saturating at the int64 range instead of overflowing.
  std::int64_t total() const;
  // (5 output + input + 0.1 cacheRead + 1.25 cacheWrite5m + 2 cacheWrite1h)
  // times the model family's price factor.
  double weight(std::string_view model) const;
  // haiku 1/3, sonnet 1, anything else 5/3 (case-insensitive substrings).
  static double familyMultiplier(std::string_view model);

  bool operator==(const TokenCounts&) const = default;
};

// The names are shared texts: a week holds tens of thousands of turns of a
// few models in a few folders.
struct ActivityEvent {
  Date timestamp;
  SharedText model;  // "unknown" when the transcript names none
  SharedText cwd;
  TokenCounts tokens;

  double weight() const { return tokens.weight(model); }
  // Last path component of cwd; "Unknown" when that is empty.
  std::string project() const;

  bool operator==(const ActivityEvent&) const = default;
};

}  // namespace ovel
