// One finding of /usage: its percentage in a fixed column, then "of usage "
// and what the usage went to, wrapping onto as many lines as it needs.
#pragma once

#include <QString>
#include <QWidget>

#include <cstddef>
#include <vector>

#include "core/engine/UsageState.h"
#include "ui/Theme.h"

namespace ovel {

class TextView;

class FindingRow final : public QWidget {
 public:
  // Both texts in `style`, the percentage semibold in a column
  // `percentWidth` wide.
  FindingRow(const UsageInsights::Finding& finding, TextStyle style, int percentWidth, QWidget* parent = nullptr);

  // "54%" and "of usage was at >150k context".
  static QString percentText(const UsageInsights::Finding& finding);
  static QString usageText(const UsageInsights::Finding& finding);
  // The period's first `limit` findings, in order.
  static std::vector<UsageInsights::Finding> first(const UsageInsights::Period& period, std::size_t limit);

  TextView* percentView() const { return percent_; }
  TextView* usageView() const { return usage_; }

 private:
  TextView* percent_;
  TextView* usage_;
};

}  // namespace ovel
