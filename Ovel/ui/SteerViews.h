// The ring drawn inside a window, and the one-line steering advice.
#pragma once

#include <QWidget>

#include <optional>
#include <string>

#include "ui/DayRing.h"

namespace ovel {

class DayRingView final : public QWidget {
 public:
  DayRingView(std::optional<double> used, bool segmented, DayRing::Center center, QColor tint, int side,
              QWidget* parent = nullptr);

  // The ring of a window with the steer centre: the window's used arc
  // (none without one), segmented for week kinds (the steer's kind without
  // a window), and the arrow, stop square or dash of the steer.
  static DayRingView* steering(const std::optional<WindowAssessment>& window, const std::optional<OvelSteer>& steer,
                               QColor tint, int side);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<double> used_;
  bool segmented_;
  DayRing::Center center_;
  QColor tint_;
};

// Headline and reason on a strip tinted by the steering colour.
class SteerBanner final : public QWidget {
 public:
  SteerBanner(const OvelSteer& steer, QWidget* parent = nullptr);

  // "Set by the session limit (5h)", "Set by the weekly limit (7d)" or
  // "Set by the weekly <name> limit".
  static std::string reason(const WindowKind& kind);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double factor_;
};

}  // namespace ovel
