#include "ui/FitRow.h"

#include <QWidget>

#include <algorithm>
#include <numeric>

namespace ovel {

FitRow::FitRow(int horizontalSpacing, int verticalSpacing, QWidget* parent)
    : QLayout(parent), horizontalSpacing_(horizontalSpacing), verticalSpacing_(verticalSpacing) {
  setContentsMargins(0, 0, 0, 0);
}

FitRow::~FitRow() {
  for (const Group& group : groups_) delete group.item;
}

void FitRow::addGroup(QWidget* group, int stretch) {
  addChildWidget(group);
  groups_.push_back({new QWidgetItem(group), stretch});
  invalidate();
}

bool FitRow::fitsOneLine(std::span<const int> widths, int spacing, int width) {
  if (widths.empty()) return true;
  int needed = std::accumulate(widths.begin(), widths.end(), 0) + spacing * static_cast<int>(widths.size() - 1);
  return needed <= width;
}

void FitRow::addItem(QLayoutItem* item) { groups_.push_back({item, 0}); }

int FitRow::count() const { return static_cast<int>(groups_.size()); }

QLayoutItem* FitRow::itemAt(int index) const {
  return index >= 0 && index < count() ? groups_[static_cast<std::size_t>(index)].item : nullptr;
}

QLayoutItem* FitRow::takeAt(int index) {
  if (index < 0 || index >= count()) return nullptr;
  QLayoutItem* item = groups_[static_cast<std::size_t>(index)].item;
  groups_.erase(groups_.begin() + index);
  invalidate();
  return item;
}

std::vector<int> FitRow::preferredWidths() const {
  std::vector<int> widths;
  for (const Group& group : groups_)
    if (!group.item->isEmpty()) widths.push_back(group.item->sizeHint().width());
  return widths;
}

QSize FitRow::sizeHint() const {
  std::vector<int> widths = preferredWidths();
  int width = widths.empty() ? 0
                             : std::accumulate(widths.begin(), widths.end(), 0) +
                                   horizontalSpacing_ * static_cast<int>(widths.size() - 1);
  int height = 0;
  for (const Group& group : groups_)
    if (!group.item->isEmpty()) height = std::max(height, group.item->sizeHint().height());
  return QSize(width, height).grownBy(contentsMargins());
}

QSize FitRow::minimumSize() const {
  // Stacked, the row is as narrow as its widest group allows.
  int width = 0;
  for (const Group& group : groups_)
    if (!group.item->isEmpty()) width = std::max(width, group.item->minimumSize().width());
  return QSize(width, 0).grownBy(contentsMargins());
}

Qt::Orientations FitRow::expandingDirections() const { return Qt::Horizontal; }

bool FitRow::hasHeightForWidth() const { return true; }

int FitRow::heightForWidth(int width) const {
  QMargins m = contentsMargins();
  return place(QRect(0, 0, width - m.left() - m.right(), 0), false) + m.top() + m.bottom();
}

void FitRow::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  place(rect.marginsRemoved(contentsMargins()), true);
}

int FitRow::heightAt(const QLayoutItem* item, int width) {
  return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
}

int FitRow::place(const QRect& rect, bool apply) const {
  std::vector<const Group*> shown;
  for (const Group& group : groups_)
    if (!group.item->isEmpty()) shown.push_back(&group);
  if (shown.empty()) return 0;
  std::vector<int> widths = preferredWidths();
  bool oneLine = fitsOneLine(widths, horizontalSpacing_, rect.width());
  if (apply) stacked_ = !oneLine;
  if (!oneLine) {
    int y = rect.top();
    for (const Group* group : shown) {
      int height = heightAt(group->item, rect.width());
      if (apply) group->item->setGeometry(QRect(rect.left(), y, rect.width(), height));
      y += height + verticalSpacing_;
    }
    return y - verticalSpacing_ - rect.top();
  }
  // One line: the stretching groups share what the others leave.
  int spare = rect.width() - std::accumulate(widths.begin(), widths.end(), 0) -
              horizontalSpacing_ * static_cast<int>(widths.size() - 1);
  int stretches = 0;
  for (const Group* group : shown) stretches += group->stretch;
  std::vector<int> placed = widths;
  for (std::size_t i = 0; i < shown.size() && stretches > 0; ++i) placed[i] += spare * shown[i]->stretch / stretches;
  int height = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) height = std::max(height, heightAt(shown[i]->item, placed[i]));
  if (apply) {
    int x = rect.left();
    for (std::size_t i = 0; i < shown.size(); ++i) {
      shown[i]->item->setGeometry(QRect(x, rect.top(), placed[i], height));
      x += placed[i] + horizontalSpacing_;
    }
  }
  return height;
}

}  // namespace ovel
