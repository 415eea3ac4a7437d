#include "core/claude/TranscriptTurnTable.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <utility>

namespace ovel {
namespace {

constexpr std::size_t kSmallestIndex = 64;

// At most half full, so that a probe ends soon.
std::size_t indexSizeFor(std::size_t turns) { return std::bit_ceil(std::max(kSmallestIndex, 2 * (turns + 1))); }

}  // namespace

TranscriptTurnBatch::Piece TranscriptTurnBatch::keep(std::optional<std::string_view> text) {
  if (!text) return {};
  Piece piece{texts_.size(), text->size(), true};
  texts_.append(*text);
  return piece;
}

void TranscriptTurnBatch::add(const TranscriptTurn& turn) {
  turns_.push_back(
      {turn.timestamp, turn.tokens, keep(turn.model), keep(turn.cwd), keep(turn.messageId), keep(turn.requestId)});
}

// Two unrelated 64-bit hashes of the key: std::hash and FNV-1a.
TranscriptTurnTable::KeyDigest TranscriptTurnTable::digestOf(const TranscriptTurn& turn) {
  key_.clear();
  if (turn.messageId) key_ += *turn.messageId;
  if (turn.messageId && turn.requestId) key_ += ':';
  if (turn.requestId) key_ += *turn.requestId;
  std::uint64_t fnv = 0xcbf29ce484222325u;
  for (unsigned char byte : key_) fnv = (fnv ^ byte) * 0x100000001b3u;
  KeyDigest digest{std::hash<std::string_view>{}(key_), fnv};
  if (digest.isKeyless()) digest.second = 1;  // all zero stands for no key
  return digest;
}

TranscriptTurnTable::KeyDigest TranscriptTurnTable::digestOfTurn(TurnNumber turn) const {
  return turn < summaryDigests_.size() ? summaryDigests_[turn] : addedDigests_[turn - summaryDigests_.size()];
}

const ActivityEvent& TranscriptTurnTable::eventOfTurn(TurnNumber turn) const {
  const auto& held = summary_.events();
  return turn < held.size() ? held[turn] : added_[turn - held.size()];
}

ActivityEvent TranscriptTurnTable::eventOf(const TranscriptTurn& turn) {
  return {turn.timestamp, names_.intern(turn.model), names_.intern(turn.cwd), turn.tokens};
}

std::size_t TranscriptTurnTable::slotFor(KeyDigest digest) const {
  std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = digest.first & mask;; slot = (slot + 1) & mask)
    if (slots_[slot] == kEmptySlot || digestOfTurn(slots_[slot]) == digest) return slot;
}

void TranscriptTurnTable::rebuildIndex() {
  slots_.assign(indexSizeFor(heldTurns()), kEmptySlot);
  indexed_ = 0;
  for (TurnNumber turn = 0; turn < heldTurns(); ++turn) {
    KeyDigest digest = digestOfTurn(turn);
    if (digest.isKeyless() || (turn < replaced_.size() && replaced_[turn])) continue;
    slots_[slotFor(digest)] = turn;
    ++indexed_;
  }
}

// `turn`, just added, takes `slot` unless the index must grow first.
void TranscriptTurnTable::addToIndex(TurnNumber turn, std::size_t slot) {
  if (2 * (indexed_ + 1) > slots_.size()) return rebuildIndex();
  slots_[slot] = turn;
  ++indexed_;
}

void TranscriptTurnTable::ingest(const TranscriptTurn& turn) {
  if (!turn.messageId && !turn.requestId) {
    added_.push_back(eventOf(turn));
    addedDigests_.push_back({});
    changed_ = true;
    return;
  }
  KeyDigest digest = digestOf(turn);
  if (slots_.empty()) slots_.assign(kSmallestIndex, kEmptySlot);
  std::size_t slot = slotFor(digest);
  const auto held = static_cast<TurnNumber>(summary_.events().size());
  if (slots_[slot] == kEmptySlot) {
    if (heldTurns() >= kEmptySlot - 1) throw std::length_error("too many turns");
    added_.push_back(eventOf(turn));
    addedDigests_.push_back(digest);
    changed_ = true;
    addToIndex(held + static_cast<TurnNumber>(added_.size() - 1), slot);
    return;
  }
  TurnNumber stored = slots_[slot];
  if (eventOfTurn(stored).tokens.total() >= turn.tokens.total()) return;
  changed_ = true;
  if (stored >= held) {
    added_[stored - held] = eventOf(turn);
    return;
  }
  replaced_[stored] = true;
  added_.push_back(eventOf(turn));
  addedDigests_.push_back(summaryDigests_[stored]);
  slots_[slot] = held + static_cast<TurnNumber>(added_.size() - 1);
}

// One pass over the summary's turns and the added ones, each run in time
// order (on equal times the summary's first): what is kept makes the new
// summary.
void TranscriptTurnTable::mergeAdded(Date cutoff) {
  const auto& old = summary_.events();
  std::vector<std::uint32_t> order(added_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [this](std::uint32_t a, std::uint32_t b) { return added_[a].timestamp < added_[b].timestamp; });

  std::size_t most = old.size() + added_.size();
  std::vector<ActivityEvent> events;
  std::vector<KeyDigest> digests;
  events.reserve(most);
  digests.reserve(most);
  auto keep = [&](const ActivityEvent& event, KeyDigest digest) {
    if (event.timestamp < cutoff) return;
    events.push_back(event);
    digests.push_back(digest);
  };
  std::size_t next = 0;
  for (std::uint32_t added : order) {
    for (; next < old.size() && !(added_[added].timestamp < old[next].timestamp); ++next)
      if (!replaced_[next]) keep(old[next], summaryDigests_[next]);
    keep(added_[added], addedDigests_[added]);
  }
  for (; next < old.size(); ++next)
    if (!replaced_[next]) keep(old[next], summaryDigests_[next]);
  // Exactly as long as what they hold: the summary is kept for a while.
  events.shrink_to_fit();
  digests.shrink_to_fit();

  summary_ = ActivitySummary(std::move(events));
  summaryDigests_ = std::move(digests);
  replaced_.assign(summaryDigests_.size(), false);
  // Released, not kept: a first scan adds the whole week at once. (Assigning
  // {} would only clear them, keeping their capacity.)
  std::vector<ActivityEvent>().swap(added_);
  std::vector<KeyDigest>().swap(addedDigests_);
  rebuildIndex();
}

ActivitySummary TranscriptTurnTable::keptSince(Date cutoff) {
  const auto& held = summary_.events();
  bool agedOut = !held.empty() && held.front().timestamp < cutoff;
  if (!changed_ && !agedOut) return summary_;
  mergeAdded(cutoff);
  names_.forgetUnused();
  changed_ = false;
  return summary_;
}

}  // namespace ovel
