// One shared copy of each text among many records: the model and folder
// names of a week of turns, the kind keys of a week of history samples.
// Not safe for concurrent use; the texts it hands out are.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <unordered_set>

#include "core/support/SharedText.h"

namespace ovel {

class TextInterner {
 public:
  SharedText intern(std::string_view text);
  // Forgets the texts that only the interner still holds.
  void forgetUnused();

 private:
  struct ByContent {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
  };
  std::unordered_set<SharedText, ByContent, ByContent> texts_;
};

}  // namespace ovel
