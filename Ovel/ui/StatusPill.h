// The label of one status: a coloured dot and the status word on a capsule
// tinted with the status colour.
#pragma once

#include <QString>
#include <QWidget>

#include "core/engine/OvelEngine.h"
#include "ui/ThemeColor.h"

namespace ovel {

class StatusPill final : public QWidget {
 public:
  explicit StatusPill(OvelStatus status, QWidget* parent = nullptr);

  void setStatus(OvelStatus status);
  OvelStatus status() const { return status_; }

  struct Look {
    QString word;
    double backgroundOpacity;  // of the status colour
    ThemeColor wordColor;      // the status colour when it warns, else secondary
  };
  static Look look(OvelStatus status);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  OvelStatus status_;
};

}  // namespace ovel
