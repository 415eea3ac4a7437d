// The one JSON text writer of the system. Every file has its own layout;
// keys are always sorted in ascending byte order at every level.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ovel {

struct JsonLayout {
  bool pretty = false;         // indented, one member per line
  bool escapeSlashes = false;  // "/" written as "\/"
  bool finalNewline = false;   // one line feed after the text
};

// Never throws: bytes that are not UTF-8 are written as U+FFFD.
std::string writeJson(const nlohmann::json& value, const JsonLayout& layout);
// The slashes and the final line feed of the layout, applied to JSON text
// that has the layout's indentation already.
std::string finishJson(std::string text, const JsonLayout& layout);

// JSON text never holds a NUL byte (inside a string it must be escaped), but
// nlohmann's reader takes one for the end of its input and would accept
// "{}\0garbage". Every reader asks this first.
inline bool mayBeJsonText(std::string_view text) { return text.find('\0') == std::string_view::npos; }

// Parses without throwing; a value that is discarded on error.
nlohmann::json parseJsonOrDiscarded(std::string_view text);

}  // namespace ovel
