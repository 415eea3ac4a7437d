#include "core/support/JSONValue.h"

#include <algorithm>
#include <cmath>

namespace ovel {
namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr double kLargestIntegerLiteral = 1e15;  // exclusive

bool sameValue(std::int64_t a, std::int64_t b) { return a == b; }
bool sameValue(std::uint64_t a, std::uint64_t b) { return a == b; }
bool sameValue(double a, double b) { return a == b; }
bool sameValue(std::int64_t a, std::uint64_t b) { return a >= 0 && static_cast<std::uint64_t>(a) == b; }
bool sameValue(std::int64_t a, double b) {
  return b >= -kTwoTo63 && b < kTwoTo63 && b == std::trunc(b) && static_cast<std::int64_t>(b) == a;
}
bool sameValue(std::uint64_t a, double b) {
  return b >= 0 && b < kTwoTo64 && b == std::trunc(b) && static_cast<std::uint64_t>(b) == a;
}
template <typename A, typename B>
bool sameValue(A a, B b) {
  return sameValue(b, a);
}

// The exact value of JSON number text: sign, significant digits without
// leading or trailing zeros, and the power of ten of the last digit. Zero
// keeps its sign and no digits.
struct Decimal {
  bool negative = false;
  std::string digits;
  long long exponent = 0;
  bool operator==(const Decimal&) const = default;
};

Decimal decimalOf(std::string_view text) {
  Decimal decimal;
  std::size_t at = 0;
  if (at < text.size() && text[at] == '-') {
    decimal.negative = true;
    ++at;
  }
  long long fractionDigits = 0;
  bool inFraction = false;
  for (; at < text.size() && text[at] != 'e' && text[at] != 'E'; ++at) {
    if (text[at] == '.') {
      inFraction = true;
      continue;
    }
    if (!(decimal.digits.empty() && text[at] == '0')) decimal.digits += text[at];
    if (inFraction) ++fractionDigits;
  }
  long long power = 0;
  if (at < text.size()) {
    bool negativePower = ++at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    // Saturates far beyond any double, where the comparison no longer matters.
    for (; at < text.size(); ++at) power = std::min(power * 10 + (text[at] - '0'), 1'000'000'000'000LL);
    if (negativePower) power = -power;
  }
  decimal.exponent = power - fractionDigits;
  while (!decimal.digits.empty() && decimal.digits.back() == '0') {
    decimal.digits.pop_back();
    ++decimal.exponent;
  }
  if (decimal.digits.empty()) decimal.exponent = 0;
  return decimal;
}

// Builds the tree from the parser's events, without an intermediate document.
class TreeBuilder final : public nlohmann::json_sax<nlohmann::json> {
 public:
  JSONValue root;
  std::optional<std::size_t> errorPosition;
  bool tooDeep = false;

  bool null() override { return add(nullptr); }
  bool boolean(bool value) override { return add(value); }
  bool number_integer(number_integer_t value) override { return add(value); }
  bool number_unsigned(number_unsigned_t value) override { return add(value); }
  bool number_float(number_float_t value, const string_t& text) override { return add(JSONNumber::read(value, text)); }
  bool string(string_t& value) override { return add(std::move(value)); }
  bool binary(binary_t&) override { return false; }
  bool start_object(std::size_t) override { return open(JSONValue::Object{}); }
  bool key(string_t& name) override {
    key_ = std::move(name);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(JSONValue::Array{}); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override {
    errorPosition = position;
    return false;
  }

 private:
  // Pointers stay valid: a container only grows while it is the innermost.
  std::vector<JSONValue*> open_;
  std::string key_;

  JSONValue* place(JSONValue value) {
    if (open_.empty()) {
      root = std::move(value);
      return &root;
    }
    JSONValue& parent = *open_.back();
    if (auto* array = parent.asArray()) {
      array->push_back(std::move(value));
      return &array->back();
    }
    // A repeated key keeps its last value, as JavaScript readers do.
    JSONValue& slot = (*parent.asObject())[key_];
    slot = std::move(value);
    return &slot;
  }
  bool add(JSONValue value) {
    place(std::move(value));
    return true;
  }
  bool open(JSONValue container) {
    if (open_.size() >= kMaxJsonNesting) {
      tooDeep = true;
      return false;
    }
    open_.push_back(place(std::move(container)));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }
};

std::string describeSyntaxError(std::string_view text, std::size_t position) {
  if (position > text.size()) return "not valid JSON: the text ends before the value is complete";
  // The parser reports the position just past the offending byte.
  std::size_t offset = position > 0 ? position - 1 : 0;
  std::string_view before = text.substr(0, offset);
  std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  std::size_t lineStart = before.rfind('\n');
  std::size_t column = offset - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
  return "not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

JSONNumber JSONNumber::read(double value, std::string_view text) {
  JSONNumber number(value);
  if (decimalOf(number.text()) != decimalOf(text)) number.literal_ = std::string(text);
  return number;
}

std::string JSONNumber::text() const {
  if (!literal_.empty()) return literal_;
  return toJson().dump();
}

double JSONNumber::toDouble() const {
  return std::visit([](auto value) { return static_cast<double>(value); }, value_);
}

nlohmann::json JSONNumber::toJson() const {
  if (auto* integer = std::get_if<std::int64_t>(&value_)) return *integer;
  if (auto* large = std::get_if<std::uint64_t>(&value_)) return *large;
  double value = std::get<double>(value_);
  // -0.0 stays a double: written as 0 it would come back as another value.
  bool negativeZero = value == 0 && std::signbit(value);
  if (value == std::trunc(value) && std::fabs(value) < kLargestIntegerLiteral && !negativeZero)
    return static_cast<std::int64_t>(value);
  return value;
}

bool JSONNumber::operator==(const JSONNumber& other) const {
  if (!literal_.empty() || !other.literal_.empty()) return decimalOf(text()) == decimalOf(other.text());
  return std::visit([](auto a, auto b) { return sameValue(a, b); }, value_, other.value_);
}

bool JSONValue::operator==(const JSONValue& other) const { return value_ == other.value_; }

std::optional<JSONValue> JSONValue::parse(std::string_view text, std::string* failure) noexcept {
  try {
    if (!mayBeJsonText(text)) {
      if (failure) *failure = "not valid JSON: it holds a NUL byte";
      return std::nullopt;
    }
    TreeBuilder builder;
    if (nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) return std::move(builder.root);
    if (failure) {
      if (builder.tooDeep) *failure = "nested more than " + std::to_string(kMaxJsonNesting) + " levels deep";
      else *failure = describeSyntaxError(text, builder.errorPosition.value_or(text.size()));
    }
  } catch (const std::exception&) {
    if (failure) *failure = "out of memory";
  }
  return std::nullopt;
}

nlohmann::json toJson(const JSONValue::Object& members) {
  nlohmann::json object = nlohmann::json::object();
  for (const auto& [key, value] : members) object.emplace(key, toJson(value));
  return object;
}

nlohmann::json toJson(const JSONValue& value) {
  switch (value.kind()) {
    case JSONValue::Case::boolean: return *value.asBool();
    case JSONValue::Case::number: return value.asNumber()->toJson();
    case JSONValue::Case::string: return *value.asString();
    case JSONValue::Case::array: {
      nlohmann::json array = nlohmann::json::array();
      for (const auto& element : *value.asArray()) array.push_back(toJson(element));
      return array;
    }
    case JSONValue::Case::object: return toJson(*value.asObject());
    case JSONValue::Case::null: break;
  }
  return nullptr;
}

namespace {

void writeValue(std::string& out, const JSONValue& value, bool pretty, std::size_t depth);

void newLine(std::string& out, bool pretty, std::size_t depth) {
  if (!pretty) return;
  out += '\n';
  out.append(2 * depth, ' ');
}

// nlohmann's layout: "[]" and "{}" when empty, otherwise one member per line.
template <typename Container, typename WriteMember>
void writeContainer(std::string& out, const Container& members, char open, char close, bool pretty, std::size_t depth,
                    WriteMember writeMember) {
  out += open;
  bool first = true;
  for (const auto& member : members) {
    if (!first) out += ',';
    first = false;
    newLine(out, pretty, depth + 1);
    writeMember(member);
  }
  if (!first) newLine(out, pretty, depth);
  out += close;
}

void writeValue(std::string& out, const JSONValue& value, bool pretty, std::size_t depth) {
  switch (value.kind()) {
    case JSONValue::Case::number: out += value.asNumber()->text(); return;
    case JSONValue::Case::array:
      writeContainer(out, *value.asArray(), '[', ']', pretty, depth,
                     [&](const JSONValue& element) { writeValue(out, element, pretty, depth + 1); });
      return;
    case JSONValue::Case::object:
      writeContainer(out, *value.asObject(), '{', '}', pretty, depth, [&](const auto& member) {
        out += nlohmann::json(member.first).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        out += pretty ? ": " : ":";
        writeValue(out, member.second, pretty, depth + 1);
      });
      return;
    case JSONValue::Case::boolean:
    case JSONValue::Case::string:
    case JSONValue::Case::null: break;
  }
  out += toJson(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string writeJson(const JSONValue& value, const JsonLayout& layout) {
  std::string text;
  writeValue(text, value, layout.pretty, 0);
  return finishJson(std::move(text), layout);
}

bool isValidUtf8(std::string_view text) {
  // The writer's own check, so "valid" means exactly what it accepts.
  try {
    (void)nlohmann::json(std::string(text)).dump();
    return true;
  } catch (const nlohmann::json::type_error&) { return false; }
}

}  // namespace ovel
