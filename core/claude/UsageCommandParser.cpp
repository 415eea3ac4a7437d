#include "core/claude/UsageCommandParser.h"

#include <charconv>
#include <cstdlib>

#include "core/support/Regex.h"
#include "core/support/TimeZone.h"
#include "core/support/UnicodeText.h"
#include "core/support/Utf8.h"

namespace ovel {
namespace {

// ---- Text ----------------------------------------------------------------

// The code point starting at `at` in valid UTF-8, and its length.
char32_t codePointAt(std::string_view text, std::size_t at, std::size_t& length) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  unsigned char lead = byte(0);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + length > text.size()) {
    length = 1;
    return lead;
  }
  if (length == 1) return lead;
  char32_t point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) point = (point << 6) | (byte(i) & 0x3F);
  return point;
}

// Tab, or a character of category Zs.
bool isBlank(char32_t c) {
  return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// Removes blanks (tabs and Zs) at both ends; line breaks stay.
std::string_view trim(std::string_view text) {
  std::size_t length = 0;
  while (!text.empty() && isBlank(codePointAt(text, 0, length))) text.remove_prefix(length);
  while (!text.empty()) {
    std::size_t start = text.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    if (!isBlank(codePointAt(text, start, length))) break;
    text.remove_suffix(text.size() - start);
  }
  return text;
}

// Splits at LF, CR, VT, FF, U+0085, U+2028 and U+2029, each on its own.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t breakLength = 0;
    char c = text[at];
    if (c == '\n' || c == '\r' || c == '\v' || c == '\f') breakLength = 1;
    else if (text.substr(at, 2) == "\xC2\x85") breakLength = 2;
    else if (text.substr(at, 3) == "\xE2\x80\xA8" || text.substr(at, 3) == "\xE2\x80\xA9") breakLength = 3;
    if (breakLength == 0) {
      ++at;
      continue;
    }
    lines.push_back(text.substr(start, at - start));
    at += breakLength;
    start = at;
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string_view> splitAt(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    std::size_t found = text.find(separator, start);
    parts.push_back(text.substr(start, found == std::string_view::npos ? std::string_view::npos : found - start));
    if (found == std::string_view::npos) return parts;
    start = found + separator.size();
  }
}

// Numbers must be read whole, in ASCII digits: a digit \d accepted from
// another script makes the value absent.
template <typename Number>
std::optional<Number> readNumber(std::optional<std::string_view> text) {
  if (!text || text->empty()) return std::nullopt;
  Number value{};
  auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return value;
}

// ---- Expressions ---------------------------------------------------------

const Regex& percentExpression() {
  static const Regex expression(R"((\d+(?:\.\d+)?)\s*%)");
  return expression;
}

// Month name and day, an optional year, then the time. The commas after the
// day and after the year are what current Claude Code prints
// ("Nov 20, 1:30pm", "Jan 2, 2027, 9am").
const Regex& resetExpression() {
  static const Regex expression(
      R"(^(?:([A-Za-z]{3,9})\.?\s+(\d{1,2})(?:,?\s+(\d{4}))?,?\s+(?:at\s+)?)?(\d{1,2})(?::(\d{2}))?\s*([ap]m)?$)",
      {.caseless = true});
  return expression;
}

const Regex& shareExpression() {
  static const Regex expression(R"((.+?)\s+(\d+(?:\.\d+)?)%)");
  return expression;
}

const Regex& findingExpression() {
  static const Regex expression(R"(^(\d+(?:\.\d+)?)%\s+of your usage\s+(.+)$)");
  return expression;
}

// Current Claude Code's form: "34%  Compact before you step away". A bare
// "30% of your usage" is the older form with its text missing, not a text.
const Regex& shortFindingExpression() {
  static const Regex expression(R"(^(\d+(?:\.\d+)?)%\s+(?!of your usage\s*$)(.+)$)");
  return expression;
}

const Regex& numericRunExpression() {
  static const Regex expression(R"([\p{N},]*)");
  return expression;
}

// ---- Grammar -------------------------------------------------------------

std::optional<Date> resetTimeIn(std::string_view text, Date now, const TimeZone& zone) {
  std::string_view body = trim(text);
  const TimeZone* in = &zone;
  std::size_t open = body.rfind('('), close = body.rfind(')');
  if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
    if (const TimeZone* named = knownZone(trim(body.substr(open + 1, close - open - 1)))) in = named;
    body = trim(body.substr(0, open));
  }
  auto match = resetExpression().matchAt(body, 0);
  if (!match) return std::nullopt;

  auto hour = readNumber<int>(match->group(4));
  if (!hour) return std::nullopt;
  int minute = readNumber<int>(match->group(5)).value_or(0);
  if (auto meridiem = match->group(6)) {
    bool pm = asciiLowered(*meridiem) == "pm";
    if (pm && *hour <= 11) *hour += 12;
    if (!pm && *hour == 12) *hour = 0;
  }

  const LocalTime today = localTime(now, *in);
  auto day = readNumber<int>(match->group(2));
  if (match->group(1) && day) {
    auto month = UsageCommandParser::monthNumber(*match->group(1));
    if (!month) return std::nullopt;
    if (auto year = readNumber<int>(match->group(3))) return wallClockDate(*in, *year, *month, *day, *hour, minute);
    auto date = wallClockDate(*in, today.year, *month, *day, *hour, minute);
    if (date && *date < addSeconds(now, -172800))
      return wallClockDate(*in, today.year + 1, *month, *day, *hour, minute);
    return date;
  }

  auto date = wallClockDate(*in, today.year, today.month, today.day, *hour, minute);
  // The next calendar day at the same wall-clock time, not 86400 s later.
  if (date && *date < addSeconds(now, -300))
    return wallClockDate(*in, today.year, today.month, today.day + 1, *hour, minute);
  return date;
}

std::optional<UsageWindow> windowLineIn(std::string_view line, Date now, const TimeZone& zone) {
  auto prefix = prefixIgnoringCase(line, "current ");
  if (!prefix) return std::nullopt;
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon < *prefix) return std::nullopt;
  auto kind = UsageCommandParser::windowKind(trim(line.substr(*prefix, colon - *prefix)));
  if (!kind) return std::nullopt;
  std::string_view rest = line.substr(colon + 1);
  auto used = UsageCommandParser::leadingPercent(rest);
  if (!used) return std::nullopt;

  UsageWindow window;
  window.kind = std::move(*kind);
  window.usedPercent = *used;
  window.observedAt = now;
  window.source = DataSource::usageCommand;
  if (auto resets = findIgnoringCase(rest, "resets "))
    window.resetsAt = resetTimeIn(rest.substr(resets->end), now, zone);
  return window;
}

// The count that starts the first part ending in `word` or `word`+"s".
std::optional<long long> numberBefore(const std::vector<std::string_view>& parts, std::string_view word) {
  for (std::size_t index = 1; index < parts.size(); ++index) {
    std::string_view part = parts[index];
    std::string plural = std::string(word) + "s";
    if (!part.ends_with(word) && !part.ends_with(plural)) continue;
    auto run = numericRunExpression().matchAt(part, 0);
    std::string digits;
    for (char c : run ? *run->group(0) : std::string_view())
      if (c != ',') digits += c;
    return readNumber<long long>(digits);
  }
  return std::nullopt;
}

std::optional<UsageInsights::Finding> findingFrom(const std::optional<Regex::Match>& match) {
  auto percent = readNumber<double>(match->group(1));
  if (!percent) return std::nullopt;
  return UsageInsights::Finding{*percent, std::string(*match->group(2))};
}

}  // namespace

UsageCommandParser::Result UsageCommandParser::parse(std::string_view text, Date now, std::string_view systemZone) {
  const std::string valid = decodeUtf8Lossy(text);
  const TimeZone& zone = zoneOrMachine(systemZone);
  Result result;
  std::vector<UsageInsights::Period> periods;
  std::optional<UsageInsights::Period> open;

  for (std::string_view raw : splitLines(valid)) {
    std::string_view line = trim(raw);
    if (line.empty()) continue;
    // Window lines count anywhere, also inside a period, which they leave open.
    if (auto window = windowLineIn(line, now, zone)) {
      result.windows.push_back(std::move(*window));
    } else if (auto period = parsePeriodHeader(line)) {
      if (open) periods.push_back(std::move(*open));
      open = std::move(period);
    } else if (!open) {
      continue;
    } else if (auto skills = parseShares(line, "Top skills:")) {
      open->topSkills = std::move(*skills);
    } else if (auto subagents = parseShares(line, "Top subagents:")) {
      open->topSubagents = std::move(*subagents);
    } else if (auto finding = parseFinding(line)) {
      open->findings.push_back(std::move(*finding));
    }
  }
  if (open) periods.push_back(std::move(*open));

  if (!periods.empty()) result.insights = UsageInsights{std::move(periods), now};
  result.isSubscription = !result.windows.empty() || findIgnoringCase(valid, "subscription").has_value();
  return result;
}

std::optional<UsageWindow> UsageCommandParser::parseWindowLine(std::string_view line, Date now,
                                                               std::string_view systemZone) {
  return windowLineIn(line, now, zoneOrMachine(systemZone));
}

std::optional<WindowKind> UsageCommandParser::windowKind(std::string_view label) {
  std::string folded = caseFolded(label);
  if (folded == "session") return WindowKind::session();
  if (!folded.starts_with("week")) return std::nullopt;
  std::size_t open = label.find('('), close = label.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return WindowKind::week();
  std::string_view inner = trim(label.substr(open + 1, close - open - 1));
  if (inner.empty() || caseFolded(inner) == "all models") return WindowKind::week();
  return WindowKind::weekModel(std::string(inner));
}

std::optional<double> UsageCommandParser::leadingPercent(std::string_view text) {
  auto match = percentExpression().find(text);
  return match ? readNumber<double>(match->group(1)) : std::nullopt;
}

std::optional<Date> UsageCommandParser::parseResetTime(std::string_view text, Date now, std::string_view systemZone) {
  return resetTimeIn(text, now, zoneOrMachine(systemZone));
}

std::optional<int> UsageCommandParser::monthNumber(std::string_view name) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  std::string prefix = asciiLowered(name.substr(0, 3));
  for (int index = 0; index < 12; ++index)
    if (kMonths[index] == prefix) return index + 1;
  return std::nullopt;
}

std::optional<UsageInsights::Period> UsageCommandParser::parsePeriodHeader(std::string_view line) {
  if (!line.starts_with("Last ")) return std::nullopt;
  std::vector<std::string_view> parts = splitAt(line, "\xC2\xB7");  // U+00B7 MIDDLE DOT
  for (auto& part : parts) part = trim(part);
  if (parts.front().empty()) return std::nullopt;
  UsageInsights::Period period;
  period.label = std::string(parts.front());
  period.requests = numberBefore(parts, "request");
  period.sessions = numberBefore(parts, "session");
  return period;
}

std::optional<std::vector<UsageInsights::Share>> UsageCommandParser::parseShares(std::string_view line,
                                                                                 std::string_view prefix) {
  if (!line.starts_with(prefix)) return std::nullopt;
  std::vector<UsageInsights::Share> shares;
  for (std::string_view item : splitAt(line.substr(prefix.size()), ",")) {
    auto match = shareExpression().find(trim(item));
    if (!match) continue;
    if (auto percent = readNumber<double>(match->group(2)))
      shares.push_back(UsageInsights::Share{std::string(*match->group(1)), *percent});
  }
  return shares;
}

std::optional<UsageInsights::Finding> UsageCommandParser::parseFinding(std::string_view line) {
  if (auto match = findingExpression().matchAt(line, 0)) return findingFrom(match);
  if (auto match = shortFindingExpression().matchAt(line, 0)) return findingFrom(match);
  return std::nullopt;
}

bool UsageCommandParser::isCostBlock(std::string_view text) {
  const std::string valid = decodeUtf8Lossy(text);
  for (std::string_view raw : splitLines(valid)) {
    std::string_view line = trim(raw);
    if (line.empty()) continue;
    return line.starts_with("Total cost:") || line.starts_with("Estimated cost:");
  }
  return false;
}

}  // namespace ovel
