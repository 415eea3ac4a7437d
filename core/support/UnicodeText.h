// Unicode's own algorithms, taken from ICU rather than tables of our own:
// user-perceived characters, case folding and canonical normalisation. Text
// is UTF-8; ill-formed input is decoded lossily (U+FFFD) first.
//
// The relay needs none of this and must not load ICU: nothing the relay
// links may call into this file.
#pragma once

#include <compare>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ovel {

// The first `count` user-perceived characters: extended grapheme clusters
// as UAX #29 forms them (a flag, an accented letter or an emoji sequence
// counts once; a run of unjoined emoji counts each).
std::string firstCharacters(std::string_view text, std::size_t count);

// Full case folding, for comparisons that ignore letter case in any script
// ("Wee\u212A", with a Kelvin sign, folds to "week").
std::string caseFolded(std::string_view text);

// Where `needle` (already case-folded) first occurs in `text` when each of
// text's characters is case-folded on its own; the byte range in `text`.
struct TextRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};
std::optional<TextRange> findIgnoringCase(std::string_view text, std::string_view foldedNeedle);
// The byte length of text's start that folds to `foldedPrefix`, if it does.
std::optional<std::size_t> prefixIgnoringCase(std::string_view text, std::string_view foldedPrefix);

// Canonical composition (NFC).
std::string canonicallyComposed(std::string_view text);

// Code-point order of the NFC forms; texts equal there fall back to their
// bytes, so that the order stays strict and agrees with byte equality.
std::strong_ordering compareCanonically(std::string_view a, std::string_view b);

}  // namespace ovel
