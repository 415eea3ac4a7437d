// The dashboard's card of what /usage reports: each period headed by its
// label and counts, with its first findings.
#pragma once

#include <QString>

#include <optional>

#include "core/engine/UsageState.h"
#include "ui/Card.h"

class QVBoxLayout;

namespace ovel {

class UsageModel;

class InsightsSection final : public Card {
  Q_OBJECT

 public:
  explicit InsightsSection(UsageModel& model, QWidget* parent = nullptr);

  // "Last 24h · 842 requests · 9 sessions", leaving out unknown counts.
  static QString periodHeading(const UsageInsights::Period& period);

  static constexpr std::size_t kFindingLimit = 4;

  QVBoxLayout* periods() const { return periods_; }

 private:
  void refresh();

  UsageModel& model_;
  QVBoxLayout* periods_;
};

}  // namespace ovel
