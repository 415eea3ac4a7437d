// Steering: whether to speed up or ease off, and which window decides.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/engine/OvelEngine.h"

namespace ovel {
namespace {

constexpr double kAngleRange = kSteerMaxAngle - kSteerMinAngle;

bool tighter(const OvelSteer& candidate, const OvelSteer& best) {
  if (candidate.factor != best.factor) return candidate.factor < best.factor;
  return candidate.kind < best.kind;
}

}  // namespace

std::optional<OvelSteer> WindowAssessment::steer() const {
  if (window.usedPercent >= kLimitPercent) return OvelSteer{window.kind, 0, rateBasis};
  if (!sustainableRatePerHour || !ratePerHour) return std::nullopt;
  double factor = *ratePerHour > kBurningRateFloor ? *sustainableRatePerHour / *ratePerHour
                                                   : std::numeric_limits<double>::infinity();
  return OvelSteer{window.kind, factor, rateBasis};
}

std::optional<OvelSteer::Direction> OvelSteer::directionFromRaw(int raw) {
  if (raw < 0 || raw > static_cast<int>(Direction::speedUp)) return std::nullopt;
  return static_cast<Direction>(raw);
}

OvelSteer::Direction OvelSteer::direction() const {
  if (std::isnan(factor)) return Direction::onOvel;
  if (factor <= 0) return Direction::stop;
  if (factor < easeOffFactor) return Direction::easeOff;
  if (factor < speedUpFactor) return Direction::onOvel;
  return Direction::speedUp;
}

double OvelSteer::tilt() const {
  if (std::isnan(factor)) return 0;
  if (factor <= 0) return -1;
  if (std::isinf(factor)) return 1;
  return std::clamp(std::log2(factor) / 2, -1.0, 1.0);
}

double OvelSteer::angleDegrees() const {
  if (std::isnan(factor)) return 0;
  if (factor <= 0) return -kSteerMaxAngle;
  if (factor < easeOffFactor) return -(kSteerMinAngle + kAngleRange * std::min(-tilt(), 1.0));
  if (factor < speedUpFactor) return 0;
  double u = (tilt() - kSpeedUpTilt) / (1 - kSpeedUpTilt);
  if (u <= 0) return kSteerMinAngle;
  return kSteerMinAngle + kAngleRange * std::min(u, 1.0);
}

std::optional<OvelSteer> OvelEngine::steer(std::span<const WindowAssessment> assessments,
                                           std::optional<WindowKind> previous, double switchMargin) {
  std::vector<OvelSteer> candidates;
  for (const WindowAssessment& assessment : assessments) {
    if (auto steer = assessment.steer()) candidates.push_back(std::move(*steer));
  }
  if (candidates.empty()) return std::nullopt;

  const OvelSteer* best = &candidates.front();
  for (const OvelSteer& candidate : candidates) {
    if (tighter(candidate, *best)) best = &candidate;
  }
  if (!previous || best->kind == *previous) return *best;

  auto held = std::find_if(candidates.begin(), candidates.end(),
                           [&](const OvelSteer& candidate) { return candidate.kind == *previous; });
  if (held == candidates.end()) return *best;
  // Hysteresis: a new window must be clearly tighter to take over.
  if (best->factor < (1 - switchMargin) * held->factor) return *best;
  return *held;
}

}  // namespace ovel
