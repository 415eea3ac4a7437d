// Any JSON value. Files that belong to Claude Code are read into this tree,
// edited in one member and written back, so that every value we know
// nothing about survives.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/support/JsonWriter.h"

namespace ovel {

// Deeper documents are refused: nobody writes them by hand, and the tree's
// recursive copy, compare and write must never run out of stack.
inline constexpr std::size_t kMaxJsonNesting = 512;

// A JSON number as it was read. Whole numbers that fit 64 bits keep every
// digit (settings can hold large ids); anything else is the nearest double,
// and when that double would be written back as another value than the text
// said (123456789012345678901234567890, 1.00000000000000001) the text itself
// is kept and written back as it was.
class JSONNumber {
 public:
  JSONNumber(double value) : value_(value) {}
  // A number read from JSON text, whose nearest double is `value`.
  static JSONNumber read(double value, std::string_view text);
  template <std::integral T>
  requires(!std::same_as<T, bool>) JSONNumber(T value) {
    if constexpr (std::is_signed_v<T>) value_ = static_cast<std::int64_t>(value);
    else if (value <= static_cast<std::uint64_t>(INT64_MAX)) value_ = static_cast<std::int64_t>(value);
    else value_ = static_cast<std::uint64_t>(value);
  }

  // The nearest double.
  double toDouble() const;
  bool isInteger() const { return !std::holds_alternative<double>(value_); }

  // Integers as integers. A double with no fraction and a magnitude below
  // 1e15 as an integer too (2.0 goes back as 2); any other double, -0.0
  // among them, in the shortest form that reads back the same. A kept text
  // has no form here: it is written by writeJson(JSONValue) alone, and this
  // gives its nearest double.
  nlohmann::json toJson() const;
  // The text writeJson(JSONValue) writes.
  std::string text() const;

  // Equal in value, whatever the representation: 1 == 1.0. A kept text
  // compares by the exact decimal value it writes.
  bool operator==(const JSONNumber& other) const;

 private:
  std::variant<std::int64_t, std::uint64_t, double> value_;
  std::string literal_;  // empty unless the text must be kept
};

class JSONValue {
 public:
  using Array = std::vector<JSONValue>;
  using Object = std::map<std::string, JSONValue>;  // keys in byte order
  enum class Case { boolean, number, string, array, object, null };

  JSONValue() : value_(nullptr) {}
  JSONValue(std::nullptr_t) : value_(nullptr) {}
  JSONValue(bool value) : value_(value) {}
  JSONValue(JSONNumber value) : value_(value) {}
  template <typename T>
  requires(std::is_arithmetic_v<T> && !std::same_as<T, bool>) JSONValue(T value) : value_(JSONNumber(value)) {}
  JSONValue(std::string value) : value_(std::move(value)) {}
  JSONValue(const char* value) : value_(std::string(value)) {}
  JSONValue(Array value) : value_(std::move(value)) {}
  JSONValue(Object value) : value_(std::move(value)) {}

  // Strict JSON (no comments, nothing after the value; a leading UTF-8 byte
  // order mark is skipped). Any top level is accepted. On failure gives
  // nothing and, when asked, a short reason such as "not valid JSON at
  // line 3, column 7". Never throws.
  static std::optional<JSONValue> parse(std::string_view text, std::string* failure = nullptr) noexcept;

  Case kind() const { return static_cast<Case>(value_.index()); }
  bool isNull() const { return kind() == Case::null; }
  const bool* asBool() const { return std::get_if<bool>(&value_); }
  const JSONNumber* asNumber() const { return std::get_if<JSONNumber>(&value_); }
  const std::string* asString() const { return std::get_if<std::string>(&value_); }
  const Array* asArray() const { return std::get_if<Array>(&value_); }
  Array* asArray() { return std::get_if<Array>(&value_); }
  const Object* asObject() const { return std::get_if<Object>(&value_); }
  Object* asObject() { return std::get_if<Object>(&value_); }

  // Same case and equal payloads; objects whatever their member order.
  bool operator==(const JSONValue& other) const;

 private:
  // Alternatives in the order of Case.
  std::variant<bool, JSONNumber, std::string, Array, Object, std::nullptr_t> value_;
};

nlohmann::json toJson(const JSONValue& value);
nlohmann::json toJson(const JSONValue::Object& members);

// The same layout as writeJson(nlohmann::json), numbers as JSONNumber::text().
std::string writeJson(const JSONValue& value, const JsonLayout& layout);

// Whether the text can stand in a JSON string as it is.
bool isValidUtf8(std::string_view text);

}  // namespace ovel
