// Unicode's algorithms as the readers use them: where a payload is cut,
// which letters count as the same, and how model names sort.
#include "core/support/UnicodeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/engine/WindowModel.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

const std::string kThumb = "\xF0\x9F\x91\x8D";                               // U+1F44D
const std::string kFlag = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";                // regional indicators D, E
const std::string kFamily = "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";  // woman, ZWJ, girl
const std::string kAccented = "e\xCC\x81";                                   // e and a combining acute

using test::repeated;

TEST(UnicodeTextTest, CutsAtExtendedGraphemeClusterBoundaries) {
  const struct {
    std::string text;
    std::size_t count;
    std::string expected;
  } cases[] = {
      // Unjoined emoji are one character each, however many stand in a row.
      {repeated(kThumb, 5), 2, repeated(kThumb, 2)},
      {repeated(kThumb, 400), 300, repeated(kThumb, 300)},
      {kFlag + kAccented + "xyz", 2, kFlag + kAccented},
      {kFamily + kFamily + "!", 2, kFamily + kFamily},
      {"a\r\nb", 2, "a\r\n"},
      {"short", 300, "short"},
      {"", 3, ""},
      // Ill-formed bytes become U+FFFD, one character each.
      {"a\xFF"
       "b",
       2, "a\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(firstCharacters(c.text, c.count), c.expected) << c.text;
}

TEST(UnicodeTextTest, CaseFoldingMatchesLettersOfEveryScript) {
  EXPECT_EQ(caseFolded("Current WEE\u212A"), "current week");
  EXPECT_EQ(caseFolded("\u017Fession"), "session");
  EXPECT_EQ(caseFolded("Stra\u00DFe"), "strasse");
  EXPECT_EQ(caseFolded("ALL Models"), "all models");

  const struct {
    std::string text;
    std::string needle;
    std::optional<std::size_t> begin, end;
  } cases[] = {
      {"42% \u00B7 RESETS 3pm", "resets ", 7, 14},     {"42% \u00B7 re\u017Fets 3pm", "resets ", 7, 15},
      {"NEEDS A SUBSCRIPTION", "subscription", 8, 20}, {"resets", "resets ", std::nullopt, std::nullopt},
      {"", "x", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    auto found = findIgnoringCase(c.text, c.needle);
    ASSERT_EQ(found.has_value(), c.begin.has_value()) << c.text;
    if (!found) continue;
    EXPECT_EQ(found->begin, *c.begin) << c.text;
    EXPECT_EQ(found->end, *c.end) << c.text;
  }
  EXPECT_EQ(prefixIgnoringCase("CURRENT \u017Fession", "current "), 8u);
  EXPECT_EQ(prefixIgnoringCase("Currently", "current "), std::nullopt);
}

TEST(UnicodeTextTest, ModelNamesSortByTheirCanonicalForm) {
  const std::string composed = "\xC3\xA9";  // U+00E9
  EXPECT_EQ(canonicallyComposed(kAccented), composed);
  // As bytes a decomposed é sorts before f; canonically it comes after.
  std::vector<WindowKind> kinds{WindowKind::weekModel("f"), WindowKind::weekModel(kAccented), WindowKind::week(),
                                WindowKind::weekModel("e")};
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(kinds, (std::vector<WindowKind>{WindowKind::week(), WindowKind::weekModel("e"), WindowKind::weekModel("f"),
                                            WindowKind::weekModel(kAccented)}));
  // Canonically equal names still order strictly, agreeing with equality.
  auto order = WindowKind::weekModel(kAccented) <=> WindowKind::weekModel(composed);
  EXPECT_NE(order, std::strong_ordering::equal);
  EXPECT_EQ(WindowKind::weekModel(composed) <=> WindowKind::weekModel(kAccented), 0 <=> order);
}

}  // namespace
}  // namespace ovel
