// One limit window in the popover: the full card of the headline window and
// the compact row of every other one, with the usage bar and status pill.
#pragma once

#include <QLayout>
#include <QWidget>

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

// `extra` (owned by the card when given) goes below the figures.
QWidget* makeWindowCard(const WindowAssessment& assessment, Date now, QLayout* extra = nullptr);
QWidget* makeWindowRow(const WindowAssessment& assessment, Date now);

// "Current burn rate, from recent readings." and the like.
std::string rateHelp(RateBasis basis);

}  // namespace ovel
