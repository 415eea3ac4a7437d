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

// Parses without throwing; a value that is discarded on error.
nlohmann::json parseJsonOrDiscarded(std::string_view text);

}  // namespace ovel
