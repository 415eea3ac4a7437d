#include "core/support/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

#include "core/support/Utf8.h"

namespace ovel {
namespace {

// ICU replaces each maximal ill-formed subsequence by one U+FFFD, as decodeUtf8Lossy does.
icu::UnicodeString unicodeOf(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string utf8Of(const icu::UnicodeString& text) {
  std::string result;
  text.toUTF8String(result);
  return result;
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One iterator per thread: making one loads rules, using one is not thread-safe.
icu::BreakIterator* characterBreaks() {
  thread_local std::unique_ptr<icu::BreakIterator> breaks = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_SUCCESS(status) ? std::move(made) : nullptr;
  }();
  return breaks.get();
}

// The end in `text` of a match of `needle` that starts at `at`.
std::optional<std::size_t> matchFoldedAt(std::string_view text, std::size_t at, std::string_view needle) {
  auto textLength = static_cast<std::ptrdiff_t>(text.size()), needleLength = static_cast<std::ptrdiff_t>(needle.size());
  std::ptrdiff_t i = static_cast<std::ptrdiff_t>(at), n = 0;
  while (n < needleLength) {
    if (i >= textLength) return std::nullopt;
    UChar32 found = 0, expected = 0;
    U8_NEXT_OR_FFFD(text.data(), i, textLength, found);
    U8_NEXT_OR_FFFD(needle.data(), n, needleLength, expected);
    if (u_foldCase(found, U_FOLD_CASE_DEFAULT) != expected) return std::nullopt;
  }
  return static_cast<std::size_t>(i);
}

}  // namespace

std::string firstCharacters(std::string_view text, std::size_t count) {
  icu::UnicodeString unicode = unicodeOf(text);
  icu::BreakIterator* breaks = characterBreaks();
  if (!breaks) return utf8Of(unicode.tempSubString(0, static_cast<int32_t>(std::min<std::size_t>(count, INT32_MAX))));
  breaks->setText(unicode);
  int32_t end = 0;
  for (std::size_t taken = 0; taken < count; ++taken) {
    int32_t next = breaks->next();
    if (next == icu::BreakIterator::DONE) break;
    end = next;
  }
  return utf8Of(unicode.tempSubString(0, end));
}

std::string caseFolded(std::string_view text) {
  if (isAscii(text)) return asciiLowered(text);
  return utf8Of(unicodeOf(text).foldCase(U_FOLD_CASE_DEFAULT));
}

std::optional<TextRange> findIgnoringCase(std::string_view text, std::string_view foldedNeedle) {
  for (std::size_t at = 0; at <= text.size(); ++at) {
    // Matches start on a character, never inside one.
    if (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (auto end = matchFoldedAt(text, at, foldedNeedle)) return TextRange{at, *end};
  }
  return std::nullopt;
}

std::optional<std::size_t> prefixIgnoringCase(std::string_view text, std::string_view foldedPrefix) {
  return matchFoldedAt(text, 0, foldedPrefix);
}

std::string canonicallyComposed(std::string_view text) {
  if (isAscii(text)) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  icu::UnicodeString unicode = unicodeOf(text);
  if (U_FAILURE(status)) return utf8Of(unicode);
  icu::UnicodeString composed = nfc->normalize(unicode, status);
  return U_SUCCESS(status) ? utf8Of(composed) : utf8Of(unicode);
}

std::strong_ordering compareCanonically(std::string_view a, std::string_view b) {
  if (!isAscii(a) || !isAscii(b)) {
    // UTF-8 byte order is code-point order.
    if (auto order = canonicallyComposed(a).compare(canonicallyComposed(b)) <=> 0; order != 0) return order;
  }
  return a.compare(b) <=> 0;
}

}  // namespace ovel
