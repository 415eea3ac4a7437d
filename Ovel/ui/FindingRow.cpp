#include "ui/FindingRow.h"

#include <QHBoxLayout>

#include <algorithm>

#include "model/Format.h"
#include "ui/TextView.h"
#include "ui/ThemeColor.h"

namespace ovel {
namespace {

constexpr int kSpacing = 8;

}  // namespace

FindingRow::FindingRow(const UsageInsights::Finding& finding, TextStyle style, int percentWidth, QWidget* parent)
    : QWidget(parent),
      percent_(new TextView(percentText(finding), Theme::withFixedDigits(Theme::font(style, QFont::DemiBold)),
                            ThemeColor::of(ColorRole::primary))),
      usage_(new TextView(usageText(finding), Theme::font(style), ThemeColor::of(ColorRole::secondary))) {
  percent_->setSingleLine();
  percent_->setFixedWidth(percentWidth);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(kSpacing);
  // Both texts share a size, so their tops align their first baselines.
  row->addWidget(percent_, 0, Qt::AlignTop);
  row->addWidget(usage_, 1, Qt::AlignTop);
}

QString FindingRow::percentText(const UsageInsights::Finding& finding) {
  return QString::fromStdString(Format::percent(finding.percent));
}

QString FindingRow::usageText(const UsageInsights::Finding& finding) {
  return QStringLiteral("of usage ") + QString::fromStdString(finding.text);
}

std::vector<UsageInsights::Finding> FindingRow::first(const UsageInsights::Period& period, std::size_t limit) {
  auto end = period.findings.begin() + static_cast<std::ptrdiff_t>(std::min(period.findings.size(), limit));
  return {period.findings.begin(), end};
}

}  // namespace ovel
