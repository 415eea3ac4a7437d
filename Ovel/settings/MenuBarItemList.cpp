#include "settings/MenuBarItemList.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "model/Preferences.h"
#include "ui/Divider.h"
#include "ui/SymbolView.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kArrowSymbol = 11;
constexpr int kArrowFrame = 20;

}  // namespace

std::string MenuBarItemList::itemTitle(MenuBarItem item) {
  switch (item) {
    case MenuBarItem::tightestRing: return "Ring \u00B7 tightest limit";
    case MenuBarItem::sessionRing: return "Ring \u00B7 session (5h)";
    case MenuBarItem::sessionPercent: return "Session %";
    case MenuBarItem::sessionReset: return "Time until session reset";
    case MenuBarItem::weekRing: return "Ring \u00B7 week (7d)";
    case MenuBarItem::weekPercent: return "Week %";
    case MenuBarItem::weekReset: return "Time until week reset";
    case MenuBarItem::ovelFactor: return "Ovel headroom (\u00D71.8)";
    case MenuBarItem::sessionsLeft: break;
  }
  return "Sessions left this week (\u22483.2s)";
}

int MenuBarItemList::rowPosition(const std::vector<MenuBarEntry>& layout, MenuBarItem item) {
  auto found = std::find_if(layout.begin(), layout.end(), [item](const MenuBarEntry& e) { return e.item == item; });
  return found == layout.end() ? 0 : static_cast<int>(found - layout.begin());
}

int MenuBarItemList::landingIndex(int from, int gap) { return gap > from ? gap - 1 : gap; }

int MenuBarItemList::gapAt(const std::vector<double>& centres, double y) {
  auto below = std::find_if(centres.begin(), centres.end(), [y](double centre) { return y < centre; });
  return static_cast<int>(below - centres.begin());
}

double MenuBarItemList::dropLineY(int gap, const std::vector<std::pair<int, int>>& rows, int height) {
  // Just above the row it would stand before, clear of the divider; before
  // the first row and after the last there is no room outside the rows.
  constexpr double kClearance = 3.5;
  double y = kDropLineWidth / 2;
  if (gap >= 0 && gap < static_cast<int>(rows.size())) y = rows[static_cast<std::size_t>(gap)].first - kClearance;
  else if (!rows.empty()) y = rows.back().second + kClearance;
  return std::clamp(y, kDropLineWidth / 2, std::max(kDropLineWidth / 2, height - kDropLineWidth / 2));
}

MenuBarItemList::MenuBarItemList(Preferences& preferences, QWidget* parent)
    : QWidget(parent), preferences_(preferences), column_(new QVBoxLayout(this)) {
  column_->setContentsMargins(0, 0, 0, 0);
  column_->setSpacing(6);
  refresh();
}

void MenuBarItemList::rebuildRows() {
  clearLayout(column_);
  rows_.clear();
  for (const MenuBarEntry& entry : preferences_.menuBarLayout()) {
    MenuBarItem item = entry.item;
    if (!rows_.empty()) column_->addWidget(new Divider);
    auto* widget = new QWidget;
    auto* line = new QHBoxLayout(widget);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    auto* box = new QCheckBox(QString::fromStdString(itemTitle(item)));
    connect(box, &QCheckBox::toggled, this, [this, item](bool on) { preferences_.setMenuBarItemOn(item, on); });
    line->addWidget(box);
    line->addStretch();
    auto arrow = [&](Symbol symbol, const char* help, int offset) {
      auto* button = new SymbolButton(symbol, QString::fromLatin1(help), kArrowSymbol);
      button->setFrameSize({kArrowFrame, kArrowFrame});
      connect(button, &SymbolButton::clicked, this,
              [this, item, offset] { preferences_.moveMenuBarItem(item, offset); });
      line->addWidget(button);
      return button;
    };
    // The arrows point along the list; their words name the way in the tray.
    SymbolButton* left = arrow(Symbol::chevronUp, "Move left", -1);
    SymbolButton* right = arrow(Symbol::chevronDown, "Move right", +1);
    widget->setCursor(Qt::OpenHandCursor);
    column_->addWidget(widget);
    rows_.push_back({item, widget, box, left, right});
  }
}

void MenuBarItemList::refresh() {
  const auto& layout = preferences_.menuBarLayout();
  bool sameOrder = layout.size() == rows_.size() &&
                   std::equal(layout.begin(), layout.end(), rows_.begin(),
                              [](const MenuBarEntry& entry, const Row& row) { return entry.item == row.item; });
  if (!sameOrder) rebuildKeepingFocus();
  int last = static_cast<int>(layout.size()) - 1;
  for (std::size_t index = 0; index < rows_.size(); ++index) {
    Row& row = rows_[index];
    QSignalBlocker block(row.box);
    row.box->setChecked(layout[index].isOn);
    int position = rowPosition(layout, row.item);
    // A focused arrow that comes to an end hands the focus on.
    row.left->setEnabled(position != 0);
    row.right->setEnabled(position != last);
  }
}

void MenuBarItemList::rebuildKeepingFocus() {
  enum class Part { box, left, right };
  std::optional<std::pair<MenuBarItem, Part>> focused;
  for (const Row& row : rows_)
    for (auto [widget, part] :
         {std::pair<QWidget*, Part>{row.box, Part::box}, {row.left, Part::left}, {row.right, Part::right}})
      if (widget->hasFocus()) focused = {row.item, part};
  rebuildRows();
  if (!focused) return;
  for (const Row& row : rows_)
    if (row.item == focused->first) {
      QWidget* part = focused->second == Part::box    ? static_cast<QWidget*>(row.box)
                      : focused->second == Part::left ? row.left
                                                      : row.right;
      part->setFocus(Qt::TabFocusReason);
    }
}

std::vector<double> MenuBarItemList::rowCentres() const {
  std::vector<double> centres;
  for (const Row& row : rows_) centres.push_back(row.widget->geometry().center().y());
  return centres;
}

int MenuBarItemList::rowAt(double y) const {
  for (std::size_t index = 0; index < rows_.size(); ++index) {
    QRect band = rows_[index].widget->geometry().adjusted(0, -3, 0, 3);
    if (y >= band.top() && y <= band.bottom()) return static_cast<int>(index);
  }
  return -1;
}

void MenuBarItemList::mousePressEvent(QMouseEvent* event) {
  int row = rowAt(event->position().y());
  if (event->button() != Qt::LeftButton || row < 0) return QWidget::mousePressEvent(event);
  dragFrom_ = row;
  pressedAt_ = event->position().toPoint();
}

void MenuBarItemList::mouseMoveEvent(QMouseEvent* event) {
  if (!dragFrom_) return QWidget::mouseMoveEvent(event);
  if (!dropGap_ && (event->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance())
    return;
  dropGap_ = gapAt(rowCentres(), event->position().y());
  setCursor(Qt::ClosedHandCursor);
  update();
}

void MenuBarItemList::mouseReleaseEvent(QMouseEvent* event) {
  std::optional<int> from = std::exchange(dragFrom_, std::nullopt);
  std::optional<int> gap = std::exchange(dropGap_, std::nullopt);
  unsetCursor();
  update();
  if (!from || !gap) return QWidget::mouseReleaseEvent(event);
  int to = landingIndex(*from, *gap);
  if (to != *from) preferences_.moveMenuBarEntry(*from, to);
}

void MenuBarItemList::paintEvent(QPaintEvent*) {
  if (!dropGap_ || rows_.empty()) return;
  // A line in the gap the row would drop into.
  std::vector<std::pair<int, int>> spans;
  for (const Row& row : rows_) spans.emplace_back(row.widget->geometry().top(), row.widget->geometry().bottom());
  double y = dropLineY(*dropGap_, spans, height());
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Theme::brand(Theme::appearance(palette())), kDropLineWidth, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(2, y), QPointF(width() - 2, y));
}

}  // namespace ovel
