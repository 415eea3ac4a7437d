// A used percentage that counts towards each new value on the spring the
// usage bars move on, so the figure and its bar arrive together. The first
// value, and every value while the springs are off, shows at once.
#pragma once

#include <QObject>

namespace ovel {

class Spring;
class TextView;

class CountingFigure final : public QObject {
 public:
  // Writes into `view`, which it does not own.
  explicit CountingFigure(TextView* view);

  void setPercent(double percent);
  // The value the figure shows at this moment.
  double shownPercent() const { return shown_; }

 private:
  TextView* view_;
  Spring* spring_;
  double shown_ = 0;
};

}  // namespace ovel
