#include "core/support/Utf8.h"

#include <algorithm>

namespace ovel {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool inRange(unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; }

// The length of the well-formed sequence starting at `at`, or, when it is
// ill-formed, minus the length of its maximal subpart (at least 1).
int sequenceLength(std::string_view bytes, std::size_t at) {
  auto lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0x80) return 1;
  int length = 0;
  unsigned char secondLow = 0x80, secondHigh = 0xBF;
  if (inRange(lead, 0xC2, 0xDF)) length = 2;
  else if (inRange(lead, 0xE0, 0xEF)) length = 3;
  else if (inRange(lead, 0xF0, 0xF4)) length = 4;
  else return -1;
  if (lead == 0xE0) secondLow = 0xA0;
  if (lead == 0xED) secondHigh = 0x9F;
  if (lead == 0xF0) secondLow = 0x90;
  if (lead == 0xF4) secondHigh = 0x8F;
  int taken = 1;
  for (; taken < length && at + taken < bytes.size(); ++taken) {
    auto byte = static_cast<unsigned char>(bytes[at + taken]);
    bool valid = taken == 1 ? inRange(byte, secondLow, secondHigh) : inRange(byte, 0x80, 0xBF);
    if (!valid) break;
  }
  return taken == length ? length : -taken;
}

}  // namespace

std::string decodeUtf8Lossy(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    int length = sequenceLength(bytes, at);
    if (length > 0) {
      text.append(bytes.substr(at, length));
      at += length;
    } else {
      text.append(kReplacement);
      at += -length;
    }
  }
  return text;
}

std::string firstBytesAsText(std::string_view bytes, std::size_t count) {
  return decodeUtf8Lossy(bytes.substr(0, std::min(count, bytes.size())));
}

std::string asciiLowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lowered;
}

std::size_t findIgnoringAsciiCase(std::string_view text, std::string_view needle) {
  return asciiLowered(text).find(asciiLowered(needle));
}

}  // namespace ovel
