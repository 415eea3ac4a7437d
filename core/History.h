// The reading history: one stored sample per recorded reading.
#pragma once

#include <optional>
#include <string>

#include "Time.h"
#include "WindowModel.h"

namespace ovel {

struct HistorySample {
  std::string kindKey;
  double usedPercent = 0;
  std::optional<Date> resetsAt;
  Date observedAt;

  HistorySample() = default;
  HistorySample(const WindowKind& kind, double usedPercent, std::optional<Date> resetsAt, Date observedAt)
      : kindKey(kind.key()), usedPercent(usedPercent), resetsAt(resetsAt), observedAt(observedAt) {}
  explicit HistorySample(const UsageWindow& window)
      : HistorySample(window.kind, window.usedPercent, window.resetsAt, window.observedAt) {}

  std::optional<WindowKind> kind() const { return WindowKind::fromKey(kindKey); }
  // The history counterpart of UsageWindow::isSameInstance.
  bool sameWindow(const UsageWindow& window) const {
    return kindKey == window.kind.key() && sameWindowInstance(resetsAt, window.resetsAt);
  }

  bool operator==(const HistorySample&) const = default;
};

}  // namespace ovel
