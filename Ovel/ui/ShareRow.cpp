#include "ui/ShareRow.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "model/Format.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr double kFillOpacity = 0.8;

QFont nameFont() { return Theme::font(TextStyle::caption); }
QFont percentFont() { return Theme::withFixedDigits(Theme::font(TextStyle::caption)); }

}  // namespace

ShareRow::ShareRow(const QString& name, double share, QWidget* parent) : QWidget(parent), name_(name), share_(share) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAccessibleName(name_ + QStringLiteral(", ") + percentText(share_));
}

void ShareRow::setShare(double share) {
  if (share == share_) return;
  share_ = share;
  setAccessibleName(name_ + QStringLiteral(", ") + percentText(share_));
  update();
}

double ShareRow::fillWidth(double share) { return std::max(share * kBarWidth, kMinimumFill); }

QString ShareRow::percentText(double share) { return QString::fromStdString(Format::percent(share * 100)); }

ShareRow::Geometry ShareRow::geometry(double width, double height, double share) {
  double percentLeft = width - kPercentWidth;
  double barLeft = percentLeft - kSpacing - kBarWidth;
  double nameWidth = std::max(barLeft - kSpacing, 0.0);
  QRectF track(barLeft, (height - kBarHeight) / 2, kBarWidth, kBarHeight);
  QRectF fill = track;
  fill.setWidth(fillWidth(share));
  return {QRectF(0, 0, nameWidth, height), track, fill, QRectF(percentLeft, 0, kPercentWidth, height)};
}

QString ShareRow::shownName() const {
  double available = geometry(width(), height(), share_).name.width();
  return QFontMetricsF(nameFont()).elidedText(name_, Qt::ElideMiddle, available);
}

QSize ShareRow::sizeHint() const {
  QFontMetricsF metrics(nameFont());
  int nameWidth = static_cast<int>(std::ceil(metrics.horizontalAdvance(name_)));
  int fixed = static_cast<int>(kSpacing * 2 + kBarWidth + kPercentWidth);
  return {nameWidth + fixed, static_cast<int>(std::ceil(metrics.height()))};
}

QSize ShareRow::minimumSizeHint() const {
  return {static_cast<int>(kSpacing * 2 + kBarWidth + kPercentWidth), sizeHint().height()};
}

void ShareRow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  Geometry parts = geometry(width(), height(), share_);
  painter.setFont(nameFont());
  painter.setPen(Theme::role(ColorRole::primary, palette()));
  painter.drawText(parts.name, Qt::AlignLeft | Qt::AlignVCenter, shownName());
  fillCapsule(painter, parts.track, Theme::role(ColorRole::quaternary, palette()));
  fillCapsule(painter, parts.fill, Theme::faded(Theme::brand(Theme::appearance(palette())), kFillOpacity));
  painter.setFont(percentFont());
  painter.setPen(Theme::role(ColorRole::secondary, palette()));
  painter.drawText(parts.percent, Qt::AlignRight | Qt::AlignVCenter, percentText(share_));
}

ShareList::ShareList(int spacing, QWidget* parent) : QWidget(parent), column_(new QVBoxLayout(this)) {
  column_->setContentsMargins(0, 0, 0, 0);
  column_->setSpacing(spacing);
}

void ShareList::setSlices(const std::vector<ActivitySummary::Slice>& slices) {
  bool sameNames = std::equal(slices.begin(), slices.end(), rows_.begin(), rows_.end(),
                              [](const ActivitySummary::Slice& slice, const ShareRow* row) {
                                return row->name() == QString::fromStdString(slice.name);
                              });
  if (sameNames) {
    for (std::size_t i = 0; i < slices.size(); ++i) rows_[i]->setShare(slices[i].share);
    return;
  }
  for (ShareRow* row : rows_) delete row;
  rows_.clear();
  for (const auto& slice : slices) {
    auto* row = new ShareRow(QString::fromStdString(slice.name), slice.share);
    column_->addWidget(row);
    rows_.push_back(row);
  }
  relayoutUpwards(this);
}

}  // namespace ovel
