#include "core/engine/Activity.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace ovel {
namespace {

constexpr double kHaikuMultiplier = 0.3333333333333333;
constexpr double kSonnetMultiplier = 1.0;
constexpr double kOtherMultiplier = 1.6666666666666667;

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

bool containsIgnoringCase(std::string_view text, std::string_view lowerNeedle) {
  auto match = std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                           [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return match != text.end();
}

}  // namespace

std::int64_t TokenCounts::total() const {
  std::int64_t sum = 0;
  for (std::int64_t count : {input, output, cacheRead, cacheWrite5m, cacheWrite1h}) sum = saturatingAdd(sum, count);
  return sum;
}

double TokenCounts::familyMultiplier(std::string_view model) {
  if (containsIgnoringCase(model, "haiku")) return kHaikuMultiplier;
  if (containsIgnoringCase(model, "sonnet")) return kSonnetMultiplier;
  return kOtherMultiplier;
}

double TokenCounts::weight(std::string_view model) const {
  double raw = 5.0 * static_cast<double>(output) + static_cast<double>(input) + 0.1 * static_cast<double>(cacheRead) +
               1.25 * static_cast<double>(cacheWrite5m) + 2.0 * static_cast<double>(cacheWrite1h);
  return raw * familyMultiplier(model);
}

std::string ActivityEvent::project() const {
  std::string_view path = cwd;
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path == "/") return "/";
  auto slash = path.rfind('/');
  std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return last.empty() ? "Unknown" : std::string(last);
}

}  // namespace ovel
