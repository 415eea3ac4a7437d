// What the transcript scanner reads of one Claude Code transcript line: the
// byte prefilter that passes over lines without usage, the strict timestamp
// form, and the decoding of an assistant turn. Private to the scanner.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "core/engine/Activity.h"
#include "core/support/Time.h"

namespace ovel {

// Bytes that must be readable after every line handed to
// TranscriptLineParser::parse (the JSON parser reads ahead in blocks).
inline constexpr std::size_t kTranscriptLinePadding = 64;

// One assistant turn as decoded from a line. The views point into the
// parser that produced it and stay valid until its next parse.
struct TranscriptTurn {
  Date timestamp;
  std::string_view model;
  std::string_view cwd;
  std::optional<std::string_view> messageId;
  std::optional<std::string_view> requestId;
  TokenCounts tokens;
};

// Internet date-time with a fractional part: "YYYY-MM-DDTHH:MM:SS.f" (one
// digit or more) followed by "Z" or "+hh:mm" / "-hh:mm". Anything else,
// among it a time without fractional seconds, gives nothing.
std::optional<Date> parseTranscriptTimestamp(std::string_view text);

// Calls onLine with every line of `lines` (complete lines, each ended by a
// line feed) that holds both the exact bytes "type":"assistant" and "usage".
// The line is passed without its line feed. Other lines are passed over
// without being split off, so most bytes are looked at only once.
void forEachUsageLine(std::string_view lines, const std::function<void(std::string_view)>& onLine);

// Decodes assistant turns. Reuses its buffers from line to line; not safe for
// concurrent use.
class TranscriptLineParser {
 public:
  TranscriptLineParser();
  ~TranscriptLineParser();
  TranscriptLineParser(const TranscriptLineParser&) = delete;
  TranscriptLineParser& operator=(const TranscriptLineParser&) = delete;

  // The turn of a line, or nothing when the line is not valid JSON, a listed
  // key has the wrong type, it is not an assistant turn with usage and a
  // valid timestamp, its model is "<synthetic>", or its counts are negative,
  // overflow or are all zero. At least kTranscriptLinePadding bytes after
  // the line must be readable.
  std::optional<TranscriptTurn> parse(std::string_view line);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ovel
