// Groups of controls side by side while they fit at their preferred widths,
// else one under another, each across the whole width: a row of editors
// that stays whole in a narrow window instead of running past its edge.
#pragma once

#include <QLayout>

#include <span>
#include <vector>

namespace ovel {

class FitRow final : public QLayout {
 public:
  FitRow(int horizontalSpacing, int verticalSpacing, QWidget* parent = nullptr);
  ~FitRow() override;

  // A group with `stretch` above 0 takes what is left of a shared line.
  void addGroup(QWidget* group, int stretch = 0);

  // Whether groups of these preferred widths share one line of `width`.
  static bool fitsOneLine(std::span<const int> widths, int spacing, int width);
  // Whether the last placement stacked the groups.
  bool isStacked() const { return stacked_; }

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  Qt::Orientations expandingDirections() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;
  void setGeometry(const QRect& rect) override;

 private:
  struct Group {
    QLayoutItem* item;
    int stretch;
  };

  std::vector<int> preferredWidths() const;
  // Lays the groups out in `rect` (only when `apply`); gives the height used.
  int place(const QRect& rect, bool apply) const;
  static int heightAt(const QLayoutItem* item, int width);

  int horizontalSpacing_;
  int verticalSpacing_;
  std::vector<Group> groups_;
  mutable bool stacked_ = false;
};

}  // namespace ovel
