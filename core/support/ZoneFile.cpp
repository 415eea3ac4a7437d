#include "core/support/ZoneFile.h"

#include <cctype>

namespace ovel {
namespace {

using Change = PosixZoneRule::Change;

// ---- The POSIX rule ----------------------------------------------------------

class RuleReader {
 public:
  explicit RuleReader(std::string_view text) : text_(text) {}

  bool atEnd() const { return text_.empty(); }
  bool take(char expected) {
    if (text_.empty() || text_.front() != expected) return false;
    text_.remove_prefix(1);
    return true;
  }
  bool peekIsNameStart() const { return !text_.empty() && (text_.front() == '<' || std::isalpha(uc(text_.front()))); }

  // "EST", or "<+0330>" for names that hold digits or signs.
  bool name() {
    std::size_t length = 0;
    if (take('<')) {
      while (length < text_.size() && text_[length] != '>') {
        char c = text_[length];
        if (!std::isalnum(uc(c)) && c != '+' && c != '-') return false;
        ++length;
      }
      if (length < 3 || length == text_.size()) return false;
      text_.remove_prefix(length + 1);
      return true;
    }
    while (length < text_.size() && std::isalpha(uc(text_[length]))) ++length;
    text_.remove_prefix(length);
    return length >= 3;
  }

  // [+|-]hh[:mm[:ss]] in seconds; hours up to `maxHours`.
  std::optional<int> clockTime(int maxHours) {
    int sign = take('-') ? -1 : (take('+'), 1);
    auto hours = number(1, 3);
    if (!hours || *hours > maxHours) return std::nullopt;
    int seconds = *hours * 3600;
    for (int scale : {60, 1}) {
      if (!take(':')) break;
      auto part = number(2, 2);
      if (!part || *part > 59) return std::nullopt;
      seconds += *part * scale;
    }
    return sign * seconds;
  }

  // "Jn", "n" or "Mm.w.d", then an optional "/time".
  std::optional<Change> change() {
    Change result;
    if (take('J')) {
      auto day = number(1, 3);
      if (!day || *day < 1 || *day > 365) return std::nullopt;
      result.day = Change::Day::julianNoLeap;
      result.number = *day;
    } else if (take('M')) {
      auto month = number(1, 2);
      if (!month || !take('.')) return std::nullopt;
      auto week = number(1, 1);
      if (!week || !take('.')) return std::nullopt;
      auto weekday = number(1, 1);
      if (*month < 1 || *month > 12 || *week < 1 || *week > 5 || !weekday || *weekday > 6) return std::nullopt;
      result.month = *month;
      result.week = *week;
      result.weekday = *weekday;
    } else {
      auto day = number(1, 3);
      if (!day || *day > 365) return std::nullopt;
      result.day = Change::Day::zeroBased;
      result.number = *day;
    }
    if (take('/')) {
      // RFC 8536 allows -167 to 167 hours here.
      auto time = clockTime(167);
      if (!time) return std::nullopt;
      result.secondsIntoDay = *time;
    }
    return result;
  }

 private:
  std::string_view text_;

  static unsigned char uc(char c) { return static_cast<unsigned char>(c); }

  std::optional<int> number(std::size_t minDigits, std::size_t maxDigits) {
    std::size_t length = 0;
    int value = 0;
    while (length < maxDigits && length < text_.size() && std::isdigit(uc(text_[length])))
      value = value * 10 + (text_[length++] - '0');
    if (length < minDigits) return std::nullopt;
    text_.remove_prefix(length);
    return value;
  }
};

// ---- The file ------------------------------------------------------------------

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size(); }
  bool skip(std::size_t count) {
    if (count > bytes_.size()) return false;
    bytes_.remove_prefix(count);
    return true;
  }
  std::optional<std::string_view> take(std::size_t count) {
    if (count > bytes_.size()) return std::nullopt;
    std::string_view taken = bytes_.substr(0, count);
    bytes_.remove_prefix(count);
    return taken;
  }
  // Big-endian, two's complement.
  std::optional<std::int64_t> integer(std::size_t size) {
    auto bytes = take(size);
    if (!bytes) return std::nullopt;
    std::uint64_t value = 0;
    for (char byte : *bytes) value = (value << 8) | static_cast<unsigned char>(byte);
    if (size < 8 && (value >> (8 * size - 1)) != 0) value |= ~std::uint64_t{0} << (8 * size);
    return static_cast<std::int64_t>(value);
  }

 private:
  std::string_view bytes_;
};

struct Header {
  char version = 0;
  std::uint32_t universalCount = 0, standardCount = 0, leapCount = 0, transitionCount = 0, typeCount = 0,
                characterCount = 0;

  // Bytes of the data block that follows, for times of `timeSize` bytes.
  std::uint64_t dataSize(std::size_t timeSize) const {
    return std::uint64_t{transitionCount} * (timeSize + 1) + std::uint64_t{typeCount} * 6 + characterCount +
           std::uint64_t{leapCount} * (timeSize + 4) + standardCount + universalCount;
  }
};

std::optional<Header> readHeader(ByteReader& reader) {
  auto magic = reader.take(4);
  auto version = reader.take(1);
  if (!magic || *magic != "TZif" || !version || !reader.skip(15)) return std::nullopt;
  Header header;
  header.version = version->front();
  std::uint32_t* counts[] = {&header.universalCount,  &header.standardCount, &header.leapCount,
                             &header.transitionCount, &header.typeCount,     &header.characterCount};
  for (std::uint32_t* count : counts) {
    auto value = reader.integer(4);
    if (!value || *value < 0) return std::nullopt;
    *count = static_cast<std::uint32_t>(*value);
  }
  if (header.typeCount == 0) return std::nullopt;
  return header;
}

std::optional<ZoneFile> readData(ByteReader& reader, const Header& header, std::size_t timeSize) {
  if (header.dataSize(timeSize) > reader.remaining()) return std::nullopt;
  ZoneFile zone;
  zone.transitions.resize(header.transitionCount);
  for (auto& transition : zone.transitions) transition.at = *reader.integer(timeSize);
  for (auto& transition : zone.transitions) {
    transition.type = static_cast<std::size_t>(*reader.integer(1)) & 0xFF;
    if (transition.type >= header.typeCount) return std::nullopt;
  }
  for (std::size_t index = 1; index < zone.transitions.size(); ++index)
    if (zone.transitions[index].at <= zone.transitions[index - 1].at) return std::nullopt;
  zone.types.resize(header.typeCount);
  for (auto& type : zone.types) {
    std::int64_t offset = *reader.integer(4);
    // RFC 8536: -89999 to 93599 seconds.
    if (offset <= -89999 - 1 || offset >= 93599 + 1) return std::nullopt;
    type.offset = static_cast<std::int32_t>(offset);
    type.isDaylight = *reader.integer(1) != 0;
    reader.skip(1);  // the abbreviation's index
  }
  reader.skip(header.characterCount + std::uint64_t{header.leapCount} * (timeSize + 4) + header.standardCount +
              header.universalCount);
  return zone;
}

}  // namespace

std::optional<PosixZoneRule> PosixZoneRule::parse(std::string_view text) {
  RuleReader reader(text);
  PosixZoneRule rule;
  if (!reader.name()) return std::nullopt;
  auto standard = reader.clockTime(24);
  if (!standard) return std::nullopt;
  // POSIX counts hours west of Greenwich.
  rule.standardOffset = -*standard;
  if (reader.atEnd()) return rule;
  if (!reader.peekIsNameStart() || !reader.name()) return std::nullopt;
  Daylight daylight;
  daylight.offset = rule.standardOffset + 3600;
  if (!reader.atEnd() && !reader.take(',')) {
    auto offset = reader.clockTime(24);
    if (!offset || !reader.take(',')) return std::nullopt;
    daylight.offset = -*offset;
  } else if (reader.atEnd()) {
    return std::nullopt;
  }
  auto start = reader.change();
  if (!start || !reader.take(',')) return std::nullopt;
  auto end = reader.change();
  if (!end || !reader.atEnd()) return std::nullopt;
  daylight.start = *start;
  daylight.end = *end;
  rule.daylight = daylight;
  return rule;
}

std::optional<ZoneFile> ZoneFile::parse(std::string_view bytes) {
  ByteReader reader(bytes);
  auto first = readHeader(reader);
  if (!first) return std::nullopt;
  if (first->version < '2') return readData(reader, *first, 4);
  // Version 2 and later repeat everything with 64-bit times, then the rule.
  if (first->dataSize(4) > reader.remaining() || !reader.skip(first->dataSize(4))) return std::nullopt;
  auto second = readHeader(reader);
  if (!second) return std::nullopt;
  auto zone = readData(reader, *second, 8);
  if (!zone) return std::nullopt;
  auto footer = reader.take(reader.remaining());
  if (footer && footer->size() >= 2 && footer->front() == '\n') {
    std::string_view rule = footer->substr(1, footer->find('\n', 1) - 1);
    // An empty rule says nothing beyond the last transition.
    if (!rule.empty()) {
      zone->closing = PosixZoneRule::parse(rule);
      if (!zone->closing) return std::nullopt;
    }
  }
  return zone;
}

}  // namespace ovel
