// One named share of activity: the name, shortened in its middle when it
// does not fit, a thin bar filled to the share, and the share in percent.
// ShareList stacks one row per slice, identified by name.
#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>

#include <vector>

#include "core/engine/ActivitySummary.h"

class QVBoxLayout;

namespace ovel {

class ShareRow final : public QWidget {
 public:
  // `share` is a fraction of 1.
  ShareRow(const QString& name, double share, QWidget* parent = nullptr);

  void setShare(double share);
  const QString& name() const { return name_; }
  double share() const { return share_; }

  // Where the three parts lie in a row `width` wide and `height` tall: the
  // name takes whatever the fixed bar and percentage leave.
  struct Geometry {
    QRectF name;
    QRectF track;
    QRectF fill;
    QRectF percent;
  };
  static Geometry geometry(double width, double height, double share);
  // The fill's width on the bar: the share of it, never under kMinimumFill.
  static double fillWidth(double share);
  // "38%".
  static QString percentText(double share);
  // The name as drawn at this width.
  QString shownName() const;

  static constexpr double kBarWidth = 110;
  static constexpr double kBarHeight = 4;
  static constexpr double kMinimumFill = 4;
  static constexpr double kPercentWidth = 34;
  static constexpr double kSpacing = 8;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString name_;
  double share_;
};

class ShareList final : public QWidget {
 public:
  explicit ShareList(int spacing, QWidget* parent = nullptr);

  // Rows keep their widgets while the names stay the same, in order.
  void setSlices(const std::vector<ActivitySummary::Slice>& slices);
  std::vector<ShareRow*> rows() const { return rows_; }

 private:
  QVBoxLayout* column_;
  std::vector<ShareRow*> rows_;
};

}  // namespace ovel
