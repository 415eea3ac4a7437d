// Virtual time for Qt's animations: while one lives, every animation of the
// process stands still until advance() moves it on, and the springs are on.
#pragma once

#include <QAnimationDriver>
#include <QCoreApplication>

#include "ui/Spring.h"

namespace ovel::test {

class AnimationClock final : public QAnimationDriver {
 public:
  AnimationClock() {
    install();
    Spring::setAnimationsEnabled(true);
  }
  ~AnimationClock() override {
    Spring::setAnimationsEnabled(false);
    uninstall();
  }

  // Moves every running animation on by `milliseconds`.
  void advance(qint64 milliseconds) {
    // Animations started (or stopped) since the last call reach the timer
    // through a short chain of queued calls, and a tick restarts a stopped
    // driver: settle both before the time moves.
    for (int round = 0; round < 3; ++round) {
      QCoreApplication::processEvents();
      QAnimationDriver::advance();
    }
    elapsed_ += milliseconds;
    QAnimationDriver::advance();
  }
  qint64 elapsed() const override { return elapsed_; }

 protected:
  void start() override {
    // Counted from each start, as the system's own driver does.
    elapsed_ = 0;
    QAnimationDriver::start();
  }

 private:
  qint64 elapsed_ = 0;
};

}  // namespace ovel::test
