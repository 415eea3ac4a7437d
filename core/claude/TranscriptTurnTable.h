// The turns of the look-back period that the transcript scanner holds, under
// their dedupe keys, and the summary of them it hands on. Private to the
// scanner; not safe for concurrent use.
//
// The held turns live in the summary itself, oldest first, with their keys
// packed in one buffer beside them and an open-addressing index from key to
// turn: no turn is held twice, and a scan that changed nothing hands on the
// very summary it handed before. The turns a scan adds or replaces wait
// beside the summary until it ends, when one pass merges them in, drops
// what aged out and packs the keys again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/claude/TranscriptLine.h"
#include "core/engine/ActivitySummary.h"
#include "core/support/SharedText.h"

namespace ovel {

// One shared copy of each model and folder name that a held turn uses.
class TextInterner {
 public:
  SharedText intern(std::string_view text);
  // Forgets the names that only the interner still holds.
  void forgetUnused();

 private:
  struct ByContent {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
  };
  std::unordered_set<SharedText, ByContent, ByContent> texts_;
};

class TranscriptTurnTable {
 public:
  // Stores the turn, unless its key already holds a copy with at least as
  // large a token total. A turn with neither id is never merged.
  void ingest(const TranscriptTurn& turn);
  // Forgets the turns before `cutoff` and sums up the others, oldest first:
  // the summary handed out last when nothing changed.
  ActivitySummary keptSince(Date cutoff);

  std::size_t heldTurns() const { return summary_.events().size() + added_.size(); }

 private:
  // Where a key's bytes lie in keys_; kKeyless for a turn without ids.
  struct KeySpan {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
  };
  static constexpr std::uint32_t kKeyless = UINT32_MAX;
  // A turn by number: those of the summary first, then those added since.
  using TurnNumber = std::uint32_t;
  static constexpr std::uint32_t kEmptySlot = UINT32_MAX;

  void buildKey(const TranscriptTurn& turn);
  std::string_view keyOf(KeySpan span) const { return {keys_.data() + span.offset, span.length}; }
  KeySpan keyOfTurn(TurnNumber turn) const;
  const ActivityEvent& eventOfTurn(TurnNumber turn) const;
  ActivityEvent eventOf(const TranscriptTurn& turn);
  // The slot that holds the key, or the empty one where it would go.
  std::size_t slotFor(std::string_view key) const;
  void addToIndex(TurnNumber turn, std::size_t slot);
  void rebuildIndex();
  void mergeAdded(Date cutoff);

  ActivitySummary summary_;
  std::vector<KeySpan> summaryKeys_;  // beside summary_.events()
  std::vector<bool> replaced_;        // beside them: a larger copy waits in added_
  std::vector<ActivityEvent> added_;  // since the summary was made
  std::vector<KeySpan> addedKeys_;    // beside them
  std::string keys_;                  // every key's bytes, packed
  std::vector<TurnNumber> slots_;     // the index, a power of two long
  std::size_t indexed_ = 0;           // turns with a key in the index
  bool changed_ = false;              // since the summary was made
  TextInterner names_;
  std::string key_;  // built here for each turn
};

}  // namespace ovel
