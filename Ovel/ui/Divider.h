// A hairline between rows or columns, in the separator colour.
#pragma once

#include <QWidget>

namespace ovel {

class Divider final : public QWidget {
 public:
  explicit Divider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace ovel
