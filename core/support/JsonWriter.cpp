#include "core/support/JsonWriter.h"

namespace ovel {

std::string writeJson(const nlohmann::json& value, const JsonLayout& layout) {
  return finishJson(value.dump(layout.pretty ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace), layout);
}

std::string finishJson(std::string text, const JsonLayout& layout) {
  if (layout.escapeSlashes) {
    // Outside strings JSON text has no slash, so every slash is in a string.
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (char c : text) {
      if (c == '/') escaped += '\\';
      escaped += c;
    }
    text = std::move(escaped);
  }
  if (layout.finalNewline) text += '\n';
  return text;
}

nlohmann::json parseJsonOrDiscarded(std::string_view text) {
  if (!mayBeJsonText(text)) return nlohmann::json(nlohmann::json::value_t::discarded);
  return nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
}

}  // namespace ovel
