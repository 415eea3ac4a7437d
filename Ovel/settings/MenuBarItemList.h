// The ordered list of everything the tray can show: a checkbox per item,
// arrows that move it one place, and dragging a row to a new place. The
// list's order is the tray's order from left to right.
#pragma once

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "model/PreferenceTypes.h"

class QCheckBox;
class QVBoxLayout;

namespace ovel {

class Preferences;
class SymbolButton;

class MenuBarItemList final : public QWidget {
 public:
  explicit MenuBarItemList(Preferences& preferences, QWidget* parent = nullptr);

  // Brings the rows up to date with the layout.
  void refresh();

  static std::string itemTitle(MenuBarItem item);
  // The index of the item's first entry in the layout, 0 when it has none.
  static int rowPosition(const std::vector<MenuBarEntry>& layout, MenuBarItem item);
  // The place a row dropped into `gap` lands at: the gap before row `gap`
  // of the list as it was, `count` being the gap after the last row.
  static int landingIndex(int from, int gap);
  // The gap nearest to `y`, given the rows' vertical centres.
  static int gapAt(const std::vector<double>& centres, double y);
  // Where the line of a drop into `gap` is drawn in a list `height` high
  // whose rows span `rows` (top, bottom): in the space above the row it
  // would stand before, and always inside the list, at the first and the
  // last place too.
  static double dropLineY(int gap, const std::vector<std::pair<int, int>>& rows, int height);
  static constexpr double kDropLineWidth = 2;

  struct Row {
    MenuBarItem item;
    QWidget* widget;
    QCheckBox* box;
    SymbolButton* left;
    SymbolButton* right;
  };
  const std::vector<Row>& rows() const { return rows_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void rebuildRows();
  // Rebuilt rows put the focus back on the same control of the same item.
  void rebuildKeepingFocus();
  std::vector<double> rowCentres() const;
  int rowAt(double y) const;

  Preferences& preferences_;
  QVBoxLayout* column_;
  std::vector<Row> rows_;
  std::optional<int> dragFrom_;
  std::optional<int> dropGap_;  // while a drag is under way
  QPoint pressedAt_;
};

}  // namespace ovel
