#include "core/support/Uuid.h"

#include <sys/random.h>

#include <cerrno>
#include <random>

namespace ovel {
namespace {

constexpr std::size_t kTextLength = 36;

bool isHyphenPosition(std::size_t index) { return index == 8 || index == 13 || index == 18 || index == 23; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void fillRandom(Uuid::Bytes& bytes) {
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t count = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (count > 0) filled += static_cast<std::size_t>(count);
    else if (count < 0 && errno != EINTR) break;
  }
  if (filled == bytes.size()) return;
  // Only a kernel without getrandom gets here; random_device reads /dev/urandom.
  std::random_device device;
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(device());
}

}  // namespace

Uuid Uuid::random() {
  Bytes bytes;
  fillRandom(bytes);
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return Uuid(bytes);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
  if (text.size() != kTextLength) return std::nullopt;
  Bytes bytes{};
  std::size_t nibble = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isHyphenPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    int value = hexValue(text[i]);
    if (value < 0) return std::nullopt;
    bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] | (nibble % 2 == 0 ? value << 4 : value));
    ++nibble;
  }
  return Uuid(bytes);
}

std::string Uuid::string() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(kTextLength);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kDigits[bytes_[i] >> 4];
    text += kDigits[bytes_[i] & 0x0F];
  }
  return text;
}

}  // namespace ovel
