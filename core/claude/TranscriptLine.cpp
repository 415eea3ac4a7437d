#include "core/claude/TranscriptLine.h"

#include <simdjson.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ovel {
namespace {

namespace dom = simdjson::dom;
static_assert(kTranscriptLinePadding >= simdjson::SIMDJSON_PADDING);

constexpr std::string_view kAssistantMarker = R"("type":"assistant")";
constexpr std::string_view kUsageMarker = R"("usage")";

// ---- Byte prefilter --------------------------------------------------------

const char* findAssistantMarkerPortable(const char* begin, const char* end) {
  return static_cast<const char*>(memmem(begin, end - begin, kAssistantMarker.data(), kAssistantMarker.size()));
}

#if defined(__x86_64__)
// For each of the 32 positions from `at`: whether the byte `distance` later is `byte`.
__attribute__((target("avx2"))) inline __m256i bytesAt(const char* at, std::size_t distance, char byte) {
  __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + distance));
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(byte));
}

// Tests three bytes of the marker at once for 32 positions and compares the
// whole marker only where all three match. 'p', ':' and 'a' at these
// distances are rare in both prose and JSON, so few positions get that far.
__attribute__((target("avx2"))) const char* findAssistantMarkerAvx2(const char* begin, const char* end) {
  constexpr std::size_t kP = 3, kColon = 6, kA = 8;
  constexpr std::ptrdiff_t kBlock = 32;
  const char* at = begin;
  for (; end - at >= kBlock + static_cast<std::ptrdiff_t>(kAssistantMarker.size()); at += kBlock) {
    __m256i hits = _mm256_and_si256(
        bytesAt(at, kP, kAssistantMarker[kP]),
        _mm256_and_si256(bytesAt(at, kColon, kAssistantMarker[kColon]), bytesAt(at, kA, kAssistantMarker[kA])));
    for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
      const char* candidate = at + __builtin_ctz(mask);
      if (std::memcmp(candidate, kAssistantMarker.data(), kAssistantMarker.size()) == 0) return candidate;
    }
  }
  return findAssistantMarkerPortable(at, end);
}
#endif

using MarkerSearch = const char* (*)(const char*, const char*);

MarkerSearch chooseMarkerSearch() {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) return findAssistantMarkerAvx2;
#endif
  return findAssistantMarkerPortable;
}

const char* findAssistantMarker(const char* begin, const char* end) {
  static const MarkerSearch search = chooseMarkerSearch();
  return search(begin, end);
}

// ---- Timestamps ------------------------------------------------------------

bool digitsAt(std::string_view text, std::size_t position, std::size_t count, int& value) {
  if (position + count > text.size()) return false;
  int result = 0;
  for (std::size_t i = position; i < position + count; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  value = result;
  return true;
}

bool charAt(std::string_view text, std::size_t position, char expected) {
  return position < text.size() && text[position] == expected;
}

// "Z" or "+hh:mm" / "-hh:mm" and nothing after it; the offset east of UTC.
std::optional<int> zoneOffsetSeconds(std::string_view zone) {
  if (zone == "Z") return 0;
  int hours = 0, minutes = 0;
  if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !digitsAt(zone, 1, 2, hours) || zone[3] != ':' ||
      !digitsAt(zone, 4, 2, minutes) || hours > 23 || minutes > 59)
    return std::nullopt;
  int seconds = hours * 3600 + minutes * 60;
  return zone[0] == '-' ? -seconds : seconds;
}

// ---- JSON fields -----------------------------------------------------------

// The value under `key`; nothing for a missing key or a JSON null.
std::optional<dom::element> valueAt(dom::object object, std::string_view key) {
  dom::element element;
  if (object.at_key(key).get(element) != simdjson::SUCCESS || element.is_null()) return std::nullopt;
  return element;
}

// Reads the value under `key` through `convert`, which answers false for a
// value of the wrong type; that makes the whole call false.
template <typename T, typename Convert>
bool optionalField(dom::object object, std::string_view key, std::optional<T>& value, Convert convert) {
  value.reset();
  auto element = valueAt(object, key);
  if (!element) return true;
  T found{};
  if (!convert(*element, found)) return false;
  value = found;
  return true;
}

// False when the value has another JSON type than T.
template <typename T>
bool optionalField(dom::object object, std::string_view key, std::optional<T>& value) {
  return optionalField(object, key, value,
                       [](dom::element element, T& found) { return element.get(found) == simdjson::SUCCESS; });
}

// A token count is a whole, non-negative number that fits an int64; an
// integral value written with a fraction or exponent ("12.0", "1e3") counts.
bool tokenCount(dom::element element, std::int64_t& count) {
  switch (element.type()) {
    case dom::element_type::INT64: count = element.get_int64().value_unsafe(); break;
    case dom::element_type::UINT64: return false;  // above INT64_MAX
    case dom::element_type::DOUBLE: {
      double value = element.get_double().value_unsafe();
      // Bounded on both sides before the cast: out of range it is undefined.
      if (value != std::floor(value) || !(value >= 0 && value < 0x1p63)) return false;
      count = static_cast<std::int64_t>(value);
      break;
    }
    default: return false;
  }
  return count >= 0;
}

bool countField(dom::object object, std::string_view key, std::optional<std::int64_t>& count) {
  return optionalField(object, key, count, tokenCount);
}

// The five counts; the lifetime split of the cache writes, when given, wins
// over their plain total.
std::optional<TokenCounts> tokenCounts(dom::object usage) {
  std::optional<std::int64_t> input, output, cacheRead, cacheCreation, write5m, write1h;
  std::optional<dom::object> split;
  if (!countField(usage, "input_tokens", input) || !countField(usage, "output_tokens", output) ||
      !countField(usage, "cache_read_input_tokens", cacheRead) ||
      !countField(usage, "cache_creation_input_tokens", cacheCreation) ||
      !optionalField(usage, "cache_creation", split))
    return std::nullopt;
  if (split && (!countField(*split, "ephemeral_5m_input_tokens", write5m) ||
                !countField(*split, "ephemeral_1h_input_tokens", write1h)))
    return std::nullopt;
  TokenCounts counts{input.value_or(0), output.value_or(0), cacheRead.value_or(0), 0, 0};
  if (write5m || write1h) {
    counts.cacheWrite5m = write5m.value_or(0);
    counts.cacheWrite1h = write1h.value_or(0);
  } else {
    counts.cacheWrite5m = cacheCreation.value_or(0);
  }
  return counts;
}

// At least one token, and a sum that fits an int64.
bool isCountableTurn(const TokenCounts& counts) {
  std::int64_t sum = 0;
  for (std::int64_t count : {counts.input, counts.output, counts.cacheRead, counts.cacheWrite5m, counts.cacheWrite1h})
    if (__builtin_add_overflow(sum, count, &sum)) return false;
  return sum >= 1;
}

}  // namespace

std::optional<Date> parseTranscriptTimestamp(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS.f...
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digitsAt(text, 0, 4, year) || !charAt(text, 4, '-') || !digitsAt(text, 5, 2, month) || !charAt(text, 7, '-') ||
      !digitsAt(text, 8, 2, day) || !charAt(text, 10, 'T') || !digitsAt(text, 11, 2, hour) || !charAt(text, 13, ':') ||
      !digitsAt(text, 14, 2, minute) || !charAt(text, 16, ':') || !digitsAt(text, 17, 2, second) ||
      !charAt(text, 19, '.'))
    return std::nullopt;
  // Digits past the ninth are read but do not count (a double has no room for them).
  constexpr std::size_t kFractionStart = 20, kFractionDigits = 9;
  std::size_t end = kFractionStart;
  long long fractionDigits = 0, fractionScale = 1;
  for (; end < text.size() && text[end] >= '0' && text[end] <= '9'; ++end) {
    if (end - kFractionStart >= kFractionDigits) continue;
    fractionDigits = fractionDigits * 10 + (text[end] - '0');
    fractionScale *= 10;
  }
  if (end == kFractionStart) return std::nullopt;
  auto offset = zoneOffsetSeconds(text.substr(end));
  using namespace std::chrono;
  year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                      std::chrono::day{static_cast<unsigned>(day)}};
  // A leap second (60) is a valid internet time.
  if (!offset || !date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  long long whole = static_cast<long long>(sys_days{date}.time_since_epoch().count()) * 86400 + hour * 3600 +
                    minute * 60 + second - *offset;
  return dateFromSeconds1970(static_cast<double>(whole) +
                             static_cast<double>(fractionDigits) / static_cast<double>(fractionScale));
}

void forEachUsageLine(std::string_view lines, const std::function<void(std::string_view)>& onLine) {
  const char* begin = lines.data();
  const char* end = begin + lines.size();
  while (const char* marker = findAssistantMarker(begin, end)) {
    auto* lineFeedBefore = static_cast<const char*>(memrchr(begin, '\n', marker - begin));
    const char* lineStart = lineFeedBefore ? lineFeedBefore + 1 : begin;
    auto* lineEnd = static_cast<const char*>(std::memchr(marker, '\n', end - marker));
    if (!lineEnd) lineEnd = end;  // only when the caller broke its promise of complete lines
    std::string_view line(lineStart, lineEnd - lineStart);
    // Searched from the end: Claude Code writes "usage" late in the line.
    if (line.rfind(kUsageMarker) != std::string_view::npos) onLine(line);
    if (lineEnd == end) break;
    begin = lineEnd + 1;
  }
}

struct TranscriptLineParser::Impl {
  dom::parser parser;
};

TranscriptLineParser::TranscriptLineParser() : impl_(std::make_unique<Impl>()) {}
TranscriptLineParser::~TranscriptLineParser() = default;

std::optional<TranscriptTurn> TranscriptLineParser::parse(std::string_view line) {
  dom::object top;
  if (impl_->parser.parse(line.data(), line.size(), false).get(top) != simdjson::SUCCESS) return std::nullopt;
  std::optional<std::string_view> type, timestamp, cwd, requestId, messageId, model;
  std::optional<dom::object> messageField, usageField;
  if (!optionalField(top, "type", type) || !optionalField(top, "timestamp", timestamp) ||
      !optionalField(top, "cwd", cwd) || !optionalField(top, "requestId", requestId) ||
      !optionalField(top, "message", messageField) || type != "assistant" || !messageField || !timestamp)
    return std::nullopt;
  if (!optionalField(*messageField, "id", messageId) || !optionalField(*messageField, "model", model) ||
      !optionalField(*messageField, "usage", usageField) || !usageField || model == "<synthetic>")
    return std::nullopt;
  auto date = parseTranscriptTimestamp(*timestamp);
  auto counts = tokenCounts(*usageField);
  if (!date || !counts || !isCountableTurn(*counts)) return std::nullopt;
  return TranscriptTurn{*date, model.value_or("unknown"), cwd.value_or(""), messageId, requestId, *counts};
}

}  // namespace ovel
