// A small indeterminate progress spinner: spokes that fade round the
// circle. It turns only while visible and animations are on; otherwise it
// shows one still frame.
#pragma once

#include <QTimer>
#include <QWidget>

namespace ovel {

class Spinner final : public QWidget {
 public:
  explicit Spinner(int side = 16, QWidget* parent = nullptr);

  // The spoke drawn darkest, 0 to kSpokes - 1.
  int frame() const { return frame_; }

  static constexpr int kSpokes = 8;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace ovel
