// The turns of the look-back period that the transcript scanner holds, under
// their dedupe keys, and the summary of them it hands on. Private to the
// scanner; not safe for concurrent use.
//
// The held turns live in the summary itself, oldest first, with the 128-bit
// digests of their keys beside them and an open-addressing index from digest
// to turn: no turn is held twice, and a scan that changed nothing hands on
// the very summary it handed before. Two keys share a digest with a chance of
// about 2^-128 per pair, far below that of a damaged transcript. The turns a
// scan adds or replaces wait beside the summary until it ends, when one pass
// merges them in and drops what aged out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/claude/TranscriptLine.h"
#include "core/engine/ActivitySummary.h"
#include "core/support/SharedText.h"
#include "core/support/TextInterner.h"

namespace ovel {

// The turns read from one file, held until the table takes them: files read
// side by side must still be taken in the order they were listed. Their
// texts share one buffer.
class TranscriptTurnBatch {
 public:
  void add(const TranscriptTurn& turn);
  // Calls take(const TranscriptTurn&) for each turn, in the order added; the
  // views last until the batch changes.
  template <typename Take>
  void forEach(Take take) const {
    for (const Held& held : turns_)
      take(TranscriptTurn{held.timestamp, textOf(held.model), textOf(held.cwd), optionalTextOf(held.messageId),
                          optionalTextOf(held.requestId), held.tokens});
  }

 private:
  struct Piece {
    std::size_t start = 0;
    std::size_t size = 0;
    bool present = false;
  };
  struct Held {
    Date timestamp;
    TokenCounts tokens;
    Piece model, cwd, messageId, requestId;
  };

  Piece keep(std::optional<std::string_view> text);
  std::string_view textOf(Piece piece) const { return std::string_view(texts_).substr(piece.start, piece.size); }
  std::optional<std::string_view> optionalTextOf(Piece piece) const {
    return piece.present ? std::optional(textOf(piece)) : std::nullopt;
  }

  std::string texts_;
  std::vector<Held> turns_;
};

class TranscriptTurnTable {
 public:
  // Stores the turn, unless its key already holds a copy with at least as
  // large a token total. A turn with neither id is never merged.
  void ingest(const TranscriptTurn& turn);
  void ingest(const TranscriptTurnBatch& batch) {
    batch.forEach([this](const TranscriptTurn& turn) { ingest(turn); });
  }
  // Forgets the turns before `cutoff` and sums up the others, oldest first:
  // the summary handed out last when nothing changed.
  ActivitySummary keptSince(Date cutoff);

  std::size_t heldTurns() const { return summary_.events().size() + added_.size(); }

 private:
  // A key's digest; all zero for a turn without ids, which is never merged.
  struct KeyDigest {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    bool isKeyless() const { return first == 0 && second == 0; }
    bool operator==(const KeyDigest&) const = default;
  };
  // A turn by number: those of the summary first, then those added since.
  using TurnNumber = std::uint32_t;
  static constexpr TurnNumber kEmptySlot = UINT32_MAX;

  KeyDigest digestOf(const TranscriptTurn& turn);
  KeyDigest digestOfTurn(TurnNumber turn) const;
  const ActivityEvent& eventOfTurn(TurnNumber turn) const;
  ActivityEvent eventOf(const TranscriptTurn& turn);
  // The slot that holds the digest, or the empty one where it would go.
  std::size_t slotFor(KeyDigest digest) const;
  void addToIndex(TurnNumber turn, std::size_t slot);
  void rebuildIndex();
  void mergeAdded(Date cutoff);

  ActivitySummary summary_;
  std::vector<KeyDigest> summaryDigests_;  // beside summary_.events()
  std::vector<bool> replaced_;             // beside them: a larger copy waits in added_
  std::vector<ActivityEvent> added_;       // since the summary was made
  std::vector<KeyDigest> addedDigests_;    // beside them
  std::vector<TurnNumber> slots_;          // the index, a power of two long
  std::size_t indexed_ = 0;                // turns with a key in the index
  bool changed_ = false;                   // since the summary was made
  TextInterner names_;
  std::string key_;  // built here for each turn
};

}  // namespace ovel
