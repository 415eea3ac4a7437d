// One transcript line through the byte prefilter and the decoder.
#include <string>

#include "FuzzTarget.h"
#include "core/claude/TranscriptLine.h"

namespace ovel {

OVEL_FUZZ_TARGET(TranscriptLine) {
  static TranscriptLineParser parser;
  // The decoder reads a little past the line, as the scanner's buffers allow.
  std::string padded(input);
  padded.append(kTranscriptLinePadding, '\0');
  auto turn = parser.parse(std::string_view(padded.data(), input.size()));
  if (turn) {
    const TokenCounts& t = turn->tokens;
    fuzz::check(t.input >= 0 && t.output >= 0 && t.cacheRead >= 0 && t.cacheWrite5m >= 0 && t.cacheWrite1h >= 0,
                "a negative token count");
    fuzz::check(t.total() >= 1, "a turn without tokens");
  }
  forEachUsageLine(input, [&](std::string_view line) {
    fuzz::check(line.data() >= input.data() && line.data() + line.size() <= input.data() + input.size(),
                "a line outside the text");
  });
}

}  // namespace ovel
