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

SharedText TextInterner::intern(std::string_view text) {
  if (text.empty()) return {};
  auto found = texts_.find(text);
  if (found != texts_.end()) return *found;
  return *texts_.insert(SharedText(text)).first;
}

void TextInterner::forgetUnused() {
  std::erase_if(texts_, [](const SharedText& text) { return text.shareCount() == 1; });
}

void TranscriptTurnTable::buildKey(const TranscriptTurn& turn) {
  key_.clear();
  if (turn.messageId) key_ += *turn.messageId;
  if (turn.messageId && turn.requestId) key_ += ':';
  if (turn.requestId) key_ += *turn.requestId;
}

TranscriptTurnTable::KeySpan TranscriptTurnTable::keyOfTurn(TurnNumber turn) const {
  return turn < summaryKeys_.size() ? summaryKeys_[turn] : addedKeys_[turn - summaryKeys_.size()];
}

const ActivityEvent& TranscriptTurnTable::eventOfTurn(TurnNumber turn) const {
  const auto& held = summary_.events();
  return turn < held.size() ? held[turn] : added_[turn - held.size()];
}

ActivityEvent TranscriptTurnTable::eventOf(const TranscriptTurn& turn) {
  return {turn.timestamp, names_.intern(turn.model), names_.intern(turn.cwd), turn.tokens};
}

std::size_t TranscriptTurnTable::slotFor(std::string_view key) const {
  std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = std::hash<std::string_view>{}(key)&mask;; slot = (slot + 1) & mask)
    if (slots_[slot] == kEmptySlot || keyOf(keyOfTurn(slots_[slot])) == key) return slot;
}

void TranscriptTurnTable::rebuildIndex() {
  slots_.assign(indexSizeFor(heldTurns()), kEmptySlot);
  indexed_ = 0;
  for (TurnNumber turn = 0; turn < heldTurns(); ++turn) {
    KeySpan span = keyOfTurn(turn);
    if (span.length == kKeyless || (turn < replaced_.size() && replaced_[turn])) continue;
    slots_[slotFor(keyOf(span))] = turn;
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
    addedKeys_.push_back({0, kKeyless});
    changed_ = true;
    return;
  }
  buildKey(turn);
  if (slots_.empty()) slots_.assign(kSmallestIndex, kEmptySlot);
  std::size_t slot = slotFor(key_);
  const auto held = static_cast<TurnNumber>(summary_.events().size());
  if (slots_[slot] == kEmptySlot) {
    if (keys_.size() + key_.size() > UINT32_MAX) throw std::length_error("too many turn keys");
    addedKeys_.push_back({static_cast<std::uint32_t>(keys_.size()), static_cast<std::uint32_t>(key_.size())});
    keys_ += key_;
    added_.push_back(eventOf(turn));
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
  addedKeys_.push_back(summaryKeys_[stored]);
  slots_[slot] = held + static_cast<TurnNumber>(added_.size() - 1);
}

// One pass over the summary's turns and the added ones, each run in time
// order (on equal times the summary's first): what is kept goes into the new
// summary, its key into a new packed buffer.
void TranscriptTurnTable::mergeAdded(Date cutoff) {
  const auto& old = summary_.events();
  std::vector<std::uint32_t> order(added_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [this](std::uint32_t a, std::uint32_t b) { return added_[a].timestamp < added_[b].timestamp; });

  std::vector<ActivityEvent> events;
  std::vector<KeySpan> keys;
  std::string packed;
  events.reserve(old.size() + added_.size());
  keys.reserve(old.size() + added_.size());
  auto keep = [&](const ActivityEvent& event, KeySpan span) {
    if (event.timestamp < cutoff) return;
    if (span.length != kKeyless) {
      std::string_view key = keyOf(span);
      span.offset = static_cast<std::uint32_t>(packed.size());
      packed += key;
    }
    events.push_back(event);
    keys.push_back(span);
  };
  std::size_t next = 0;
  for (std::uint32_t added : order) {
    for (; next < old.size() && !(added_[added].timestamp < old[next].timestamp); ++next)
      if (!replaced_[next]) keep(old[next], summaryKeys_[next]);
    keep(added_[added], addedKeys_[added]);
  }
  for (; next < old.size(); ++next)
    if (!replaced_[next]) keep(old[next], summaryKeys_[next]);

  summary_ = ActivitySummary(std::move(events));
  summaryKeys_ = std::move(keys);
  replaced_.assign(summaryKeys_.size(), false);
  keys_ = std::move(packed);
  // Released, not kept: a first scan adds the whole week at once.
  added_ = {};
  addedKeys_ = {};
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
