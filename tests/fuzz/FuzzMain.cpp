// libFuzzer's entry for a program built with exactly one target.
#include <cstddef>
#include <cstdint>

#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ovel::fuzz::FuzzFunction target = [] {
    auto& all = ovel::fuzz::targets();
    if (all.size() != 1) ovel::fuzz::fail("a fuzz program holds exactly one target");
    return all.begin()->second;
  }();
  target(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
