#include "core/support/TextInterner.h"

namespace ovel {

SharedText TextInterner::intern(std::string_view text) {
  if (text.empty()) return {};
  auto found = texts_.find(text);
  if (found != texts_.end()) return *found;
  return *texts_.insert(SharedText(text)).first;
}

void TextInterner::forgetUnused() {
  std::erase_if(texts_, [](const SharedText& text) { return text.shareCount() == 1; });
}

}  // namespace ovel
