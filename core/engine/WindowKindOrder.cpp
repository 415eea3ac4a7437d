// The order of window kinds, in a file of its own: it compares model names
// with ICU, and the relay, which links the window model but never sorts
// kinds, must not load ICU.
#include "core/engine/WindowModel.h"
#include "core/support/UnicodeText.h"

namespace ovel {

std::strong_ordering WindowKind::operator<=>(const WindowKind& other) const {
  if (auto order = case_ <=> other.case_; order != 0) return order;
  return compareCanonically(modelName_, other.modelName_);
}

}  // namespace ovel
