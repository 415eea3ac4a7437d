// An immutable text whose copies share one buffer: a name repeated across
// thousands of records (a model, a working folder) is held once, and a copy
// costs a reference count instead of an allocation. Safe to copy and read
// from any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace ovel {

class SharedText {
 public:
  SharedText() = default;
  // Implicit both ways, so that it stands where a string did.
  SharedText(std::string_view text) : text_(text.empty() ? nullptr : std::make_shared<const std::string>(text)) {}
  SharedText(const char* text) : SharedText(std::string_view(text)) {}
  SharedText(const std::string& text) : SharedText(std::string_view(text)) {}

  std::string_view view() const { return text_ ? std::string_view(*text_) : std::string_view(); }
  operator std::string_view() const { return view(); }
  operator std::string() const { return std::string(view()); }
  bool empty() const { return !text_; }
  std::size_t size() const { return view().size(); }
  // How many copies share this buffer (0 for the empty text).
  long shareCount() const { return text_.use_count(); }

  friend bool operator==(const SharedText& a, const SharedText& b) {
    return a.text_ == b.text_ || a.view() == b.view();
  }
  friend bool operator==(const SharedText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const SharedText& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const SharedText& a, const char* b) { return a.view() == b; }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.view(); }

 private:
  std::shared_ptr<const std::string> text_;
};

}  // namespace ovel
