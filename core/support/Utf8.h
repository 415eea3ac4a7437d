// Small UTF-8 text helpers for texts that come from other programs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ovel {

// The bytes as UTF-8, each maximal ill-formed subsequence replaced by one
// U+FFFD (so a character cut after its first byte gives one U+FFFD).
std::string decodeUtf8Lossy(std::string_view bytes);

// The first `count` bytes decoded as above: a cut character ends in U+FFFD.
std::string firstBytesAsText(std::string_view bytes, std::size_t count);

// ASCII-only case folding: enough for the ASCII words we look for.
std::string asciiLowered(std::string_view text);
// Position of the first occurrence, or npos.
std::size_t findIgnoringAsciiCase(std::string_view text, std::string_view needle);
inline bool containsIgnoringAsciiCase(std::string_view text, std::string_view needle) {
  return findIgnoringAsciiCase(text, needle) != std::string_view::npos;
}

}  // namespace ovel
