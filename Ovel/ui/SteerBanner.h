// The tinted strip that says in one line what to do (speed up, keep going,
// ease off, pause) and in a second line which limit sets that advice.
#pragma once

#include <QWidget>

#include <string>

#include "core/engine/OvelEngine.h"

namespace ovel {

class TextView;

class SteerBanner final : public QWidget {
 public:
  explicit SteerBanner(QWidget* parent = nullptr);

  void setSteer(const OvelSteer& steer);

  // "Set by the session limit (5h)", "Set by the weekly limit (7d)" or
  // "Set by the weekly <name> limit".
  static std::string reason(const WindowKind& kind);

  TextView* headlineView() const { return headline_; }
  TextView* reasonView() const { return reason_; }
  double factor() const { return factor_; }

  static constexpr double kBackgroundOpacity = 0.1;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TextView* headline_;
  TextView* reason_;
  double factor_ = 1;
};

}  // namespace ovel
