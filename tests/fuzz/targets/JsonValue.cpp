// The generic JSON tree: parse, write (compact and pretty), parse again,
// and get the first tree back.
#include "core/support/JSONValue.h"
#include "FuzzTarget.h"

namespace ovel {

OVEL_FUZZ_TARGET(JsonValue) {
  auto value = JSONValue::parse(input);
  if (!value) return;
  for (JsonLayout layout : {JsonLayout{}, JsonLayout{.pretty = true, .escapeSlashes = true, .finalNewline = true}}) {
    std::string written = writeJson(*value, layout);
    auto again = JSONValue::parse(written);
    fuzz::check(again.has_value(), "written JSON does not parse");
    fuzz::check(*again == *value, "written JSON reads back as another value");
    fuzz::check(writeJson(*again, layout) == written, "writing is not stable");
  }
}

}  // namespace ovel
