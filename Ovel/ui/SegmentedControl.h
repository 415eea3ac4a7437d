// A row of mutually exclusive segments on a capsule track. It may show no
// selection at all, when the bound value matches none of its segments.
#pragma once

#include <QStringList>
#include <QWidget>

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
  QRectF segmentRect(int index) const;
  void pick(int index);

  QStringList titles_;
  int current_ = -1;
};

}  // namespace ovel
