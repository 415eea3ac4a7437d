// A row of mutually exclusive segments on a capsule track. It may show no
// selection at all, when the bound value matches none of its segments.
// Given its ideal width every segment is as wide as the widest; given less,
// the short titles keep their width and the long ones share the rest, cut
// with an ellipsis when they must be.
#pragma once

#include <QStringList>
#include <QWidget>

#include <span>
#include <vector>

namespace ovel {

class SegmentedControl final : public QWidget {
  Q_OBJECT

 public:
  explicit SegmentedControl(const QStringList& titles = {}, QWidget* parent = nullptr);

  void setTitles(const QStringList& titles);
  const QStringList& titles() const { return titles_; }
  // -1 selects nothing. Sets without emitting.
  void setCurrentIndex(int index);
  int currentIndex() const { return current_; }

  // The segment under a point, or -1.
  int segmentAt(QPoint point) const;
  // The titles as drawn at the current width.
  QStringList shownTitles() const;

  // How wide each segment is in `available`, for segments that need
  // `natural` to show their titles whole: all alike when the widest fits
  // every segment; else each its need and an equal part of what is spare;
  // else, when not every title fits, each its need or an equal share of
  // what the smaller needs leave, whichever is less.
  static std::vector<qreal> segmentWidths(std::span<const qreal> natural, qreal available);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // The user picked a segment (also when it was already selected).
  void activated(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::vector<qreal> naturalWidths() const;
  QRectF segmentRect(int index) const;
  void pick(int index);

  QStringList titles_;
  int current_ = -1;
};

}  // namespace ovel
