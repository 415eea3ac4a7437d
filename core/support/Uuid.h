// Random identifiers in the usual 8-4-4-4-12 hexadecimal text form.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovel {

class Uuid {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // The nil identifier (all zero); real ones come from random() or parse().
  Uuid() = default;
  explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

  // A version 4 identifier from the kernel's random source.
  static Uuid random();
  // 36 characters, hyphens at 8, 13, 18 and 23, hex digits of either case.
  // Any version and variant is accepted; anything else gives nothing.
  static std::optional<Uuid> parse(std::string_view text);

  const Bytes& bytes() const { return bytes_; }
  // Upper-case hex, e.g. "0F8FAD5B-D9CB-469F-A165-70867728950E".
  std::string string() const;

  bool operator==(const Uuid&) const = default;
  std::strong_ordering operator<=>(const Uuid&) const = default;

 private:
  Bytes bytes_{};
};

}  // namespace ovel
