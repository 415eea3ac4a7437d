// The usage bar with its projection and even-spend tick, and the status
// label.
#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

#include "core/OvelEngine.h"

namespace ovel {

// The used part, the projection to the horizon beyond it, and a tick at the
// even-spend point.
class OvelBar final : public QWidget {
 public:
  OvelBar(const WindowAssessment& assessment, QColor tint, int height, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double used_;
  std::optional<double> projected_;
  std::optional<double> even_;
  QColor tint_;
};

class StatusPill final : public QWidget {
 public:
  StatusPill(OvelStatus status, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  OvelStatus status_;
};

}  // namespace ovel
