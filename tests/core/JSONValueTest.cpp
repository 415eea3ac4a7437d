// The generic JSON tree: what it keeps of a file, how it writes numbers,
// when two values are equal, and how it refuses bad text.
#include <gtest/gtest.h>

#include "core/support/JSONValue.h"

namespace ovel {
namespace {

JSONValue parsed(std::string_view text) {
  std::string failure;
  auto value = JSONValue::parse(text, &failure);
  EXPECT_TRUE(value) << text << ": " << failure;
  return value.value_or(JSONValue());
}

std::string compact(const JSONValue& value) { return writeJson(value, {}); }

TEST(JSONValueTest, ReadAndWrittenBackKeepsEveryMember) {
  JSONValue value = parsed(R"({"i":42,"f":1.5,"b":true,"n":null,"a":[1,"x"],"o":{}})");
  ASSERT_TRUE(value.asObject());
  EXPECT_EQ(value.asObject()->size(), 6u);
  EXPECT_EQ(value.asObject()->at("n").kind(), JSONValue::Case::null);
  EXPECT_TRUE(value.asObject()->at("b") == JSONValue(true));
  EXPECT_EQ(compact(value), R"({"a":[1,"x"],"b":true,"f":1.5,"i":42,"n":null,"o":{}})");
  EXPECT_TRUE(parsed(compact(value)) == value);
}

TEST(JSONValueTest, NumbersKeepTheirValueAndIntegerForm) {
  struct Case {
    const char* text;
    const char* written;
  } cases[] = {
      {"0", "0"},
      {"-12", "-12"},
      {"2.0", "2"},  // a whole double goes back without ".0"
      {"-0.0", "-0.0"},
      {"-0", "0"},
      {"1.5e3", "1500"},
      {"0.1", "0.1"},
      {"33.333333333333336", "33.333333333333336"},
      {"999999999999999.0", "999999999999999"},
      {"1e15", "1e+15"},  // a double this large keeps the double form
      {"1e300", "1e+300"},
      // Integers keep every digit, also past what a double holds exactly.
      {"1000000000000000", "1000000000000000"},
      {"9007199254740993", "9007199254740993"},
      {"12345678901234567890", "12345678901234567890"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"18446744073709551615", "18446744073709551615"},
      // Past 64 bits, and past a double's digits, the text is kept.
      {"123456789012345678901234567890", "123456789012345678901234567890"},
      {"-9223372036854775809", "-9223372036854775809"},
      {"1.00000000000000001", "1.00000000000000001"},
      {"1e-400", "1e-400"},
      {"1.2345678901234568e+29", "1.2345678901234568e+29"},
      {"100000000000000000000000000000.0e-1", "1e+28"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compact(parsed(c.text)), c.written) << c.text;
    EXPECT_TRUE(parsed(c.written) == parsed(c.text)) << c.text;
  }
}

TEST(JSONValueTest, DoublesBuiltInCodeFollowTheSameRule) {
  EXPECT_EQ(compact(JSONValue(1e15 - 1)), "999999999999999");
  EXPECT_EQ(compact(JSONValue(-1e15 + 1)), "-999999999999999");
  EXPECT_EQ(compact(JSONValue(1e15)), "1e+15");
  EXPECT_EQ(compact(JSONValue(-0.0)), "-0.0");
  EXPECT_EQ(compact(JSONValue(1767225600.5)), "1767225600.5");
  EXPECT_EQ(compact(JSONValue(42)), "42");
}

TEST(JSONValueTest, EqualityIsByCaseAndExactValue) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {R"({"a":1,"b":2})", R"({"b":2,"a":1})", true},
      {"1", "1.0", true},
      {"1e2", "100", true},
      {"null", "null", true},
      {R"({"a":[1,{"b":null}]})", R"({"a":[1,{"b":null}]})", true},
      {"1", "true", false},
      {"0", "false", false},
      {"0", "null", false},
      {R"("1")", "1", false},
      {"[1,2]", "[2,1]", false},
      {"[1]", "[1,1]", false},
      {R"({"a":1})", R"({"a":1,"b":1})", false},
      {"{}", "[]", false},
      // 2^53 + 1 is not the double 2^53 it would round to.
      {"9007199254740993", "9007199254740992.0", false},
      {"12345678901234567890", "1.2345678901234567e19", false},
      {"-1", "18446744073709551615", false},
      {"-0.0", "0", true},
      // Kept texts compare by their exact value.
      {"123456789012345678901234567890", "1.2345678901234568e+29", false},
      {"123456789012345678901234567890", "1234567890123456789012345678.9e2", true},
      {"1.00000000000000001", "1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parsed(c.a) == parsed(c.b), c.equal) << c.a << " vs " << c.b;
    EXPECT_EQ(parsed(c.b) == parsed(c.a), c.equal) << c.b << " vs " << c.a;
  }
}

TEST(JSONValueTest, AnyTopLevelParses) {
  EXPECT_EQ(parsed("[1,2]").kind(), JSONValue::Case::array);
  EXPECT_EQ(parsed(R"(  "x"  )").kind(), JSONValue::Case::string);
  EXPECT_EQ(parsed("\xEF\xBB\xBF{}").kind(), JSONValue::Case::object);  // byte order mark
  // A repeated key keeps its last value.
  EXPECT_EQ(compact(parsed(R"({"a":1,"a":{"b":2}})")), R"({"a":{"b":2}})");
}

TEST(JSONValueTest, BadTextGivesNothingAndAReason) {
  struct Case {
    std::string text;
    const char* reason;
  } cases[] = {
      {"", "not valid JSON: the text ends before the value is complete"},
      {"  \n\t", "not valid JSON: the text ends before the value is complete"},
      {R"({"a":)", "not valid JSON: the text ends before the value is complete"},
      {R"({"a":1,})", "not valid JSON at line 1, column 8"},
      {"{\n  \"a\": 1 // comment\n}", "not valid JSON at line 2, column 10"},
      {"{} x", "not valid JSON at line 1, column 4"},
      {"{\"a\":\"\xFF\"}", "not valid JSON at line 1, column 7"},
      {"{\"a\":\"\xC3\"}", "not valid JSON at line 1, column 8"},
      {"NaN", "not valid JSON at line 1, column 1"},
      {"1e400", "not valid JSON at line 1, column 5"},
      {std::string("{}\0garbage", 10), "not valid JSON: it holds a NUL byte"},
  };
  for (const auto& c : cases) {
    std::string failure;
    EXPECT_FALSE(JSONValue::parse(c.text, &failure)) << c.text;
    EXPECT_EQ(failure, c.reason) << c.text;
  }
}

TEST(JSONValueTest, NestingIsBoundedWithoutExhaustingTheStack) {
  auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(JSONValue::parse(nested(kMaxJsonNesting)));

  std::string failure;
  EXPECT_FALSE(JSONValue::parse(nested(kMaxJsonNesting + 1), &failure));
  EXPECT_EQ(failure, "nested more than 512 levels deep");
  // Five megabytes of nesting is refused before any deep tree exists.
  std::string deep(5 << 20, '[');
  EXPECT_FALSE(JSONValue::parse(deep, &failure));
  EXPECT_EQ(failure, "nested more than 512 levels deep");
}

TEST(JSONValueTest, Utf8Check) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("/home/ann/it's/Ovel"));
  EXPECT_TRUE(
      isValidUtf8("Ren\xC3\xA9"
                  "e \xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8("Ren\xE9"));       // Latin-1
  EXPECT_FALSE(isValidUtf8("\xC3"));          // cut short
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
}

}  // namespace
}  // namespace ovel
