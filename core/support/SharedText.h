// An immutable text whose copies share one buffer: a name repeated across
// thousands of records (a model, a working folder) is held once, and a copy
// costs a reference count instead of an allocation. One pointer wide. Safe to
// copy and read from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace ovel {

class SharedText {
 public:
  SharedText() = default;
  // Implicit both ways, so that it stands where a string did.
  SharedText(std::string_view text) : buffer_(text.empty() ? nullptr : Buffer::make(text)) {}
  SharedText(const char* text) : SharedText(std::string_view(text)) {}
  SharedText(const std::string& text) : SharedText(std::string_view(text)) {}
  SharedText(const SharedText& other) : buffer_(other.buffer_) {
    if (buffer_) buffer_->shares.fetch_add(1, std::memory_order_relaxed);
  }
  SharedText(SharedText&& other) noexcept : buffer_(std::exchange(other.buffer_, nullptr)) {}
  SharedText& operator=(SharedText other) noexcept {
    std::swap(buffer_, other.buffer_);
    return *this;
  }
  ~SharedText() {
    if (buffer_ && buffer_->shares.fetch_sub(1, std::memory_order_acq_rel) == 1) Buffer::destroy(buffer_);
  }

  std::string_view view() const {
    return buffer_ ? std::string_view(buffer_->text(), buffer_->size) : std::string_view();
  }
  operator std::string_view() const { return view(); }
  operator std::string() const { return std::string(view()); }
  bool empty() const { return !buffer_; }
  std::size_t size() const { return view().size(); }
  // How many copies share this buffer (0 for the empty text).
  long shareCount() const { return buffer_ ? buffer_->shares.load(std::memory_order_relaxed) : 0; }

  friend bool operator==(const SharedText& a, const SharedText& b) {
    return a.buffer_ == b.buffer_ || a.view() == b.view();
  }
  friend bool operator==(const SharedText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const SharedText& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const SharedText& a, const char* b) { return a.view() == b; }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.view(); }

 private:
  // The count and size, followed in the same allocation by the bytes.
  struct Buffer {
    std::atomic<long> shares{1};
    std::size_t size = 0;

    const char* text() const { return reinterpret_cast<const char*>(this + 1); }
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
    static Buffer* make(std::string_view text) {
      auto* buffer = new (::operator new(sizeof(Buffer) + text.size())) Buffer;
      buffer->size = text.size();
      std::memcpy(buffer->bytes(), text.data(), text.size());
      return buffer;
    }
    static void destroy(Buffer* buffer) {
      buffer->~Buffer();
      ::operator delete(buffer);
    }
  };

  Buffer* buffer_ = nullptr;
};

}  // namespace ovel
