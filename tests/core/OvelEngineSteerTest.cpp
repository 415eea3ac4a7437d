#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "EngineTestSupport.h"
#include "core/engine/OvelEngine.h"

namespace ovel {
namespace {

using Direction = OvelSteer::Direction;
using test::reading;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(OvelSteerTest, DirectionTiltAndAngleFromFactor) {
  struct Case {
    double factor;
    Direction direction;
    double tilt, angle;
  } cases[] = {
      {-1, Direction::stop, -1, -60},
      {0, Direction::stop, -1, -60},
      {0.1, Direction::easeOff, -1, -60},
      {0.25, Direction::easeOff, -1, -60},
      {0.3, Direction::easeOff, -0.8684827970831032, -54.73931188332413},
      {0.5, Direction::easeOff, -0.5, -40},
      {0.999, Direction::easeOff, -0.0007217084348343593, -20.028868337393373},
      {1, Direction::onOvel, 0, 0},
      {1.2, Direction::onOvel, 0.1315172029168969, 0},
      {1.25, Direction::speedUp, kSpeedUpTilt, 20},
      {2, Direction::speedUp, 0.5, 36.163119185697184},
      {3, Direction::speedUp, 0.792481250360578, 50.106800596223906},
      {4, Direction::speedUp, 1, 60},
      {8, Direction::speedUp, 1, 60},
      {kInfinity, Direction::speedUp, 1, 60},
  };
  for (const auto& c : cases) {
    OvelSteer steer{WindowKind::session(), c.factor, RateBasis::recent};
    EXPECT_EQ(steer.direction(), c.direction) << c.factor;
    EXPECT_NEAR(steer.tilt(), c.tilt, 1e-12) << c.factor;
    EXPECT_NEAR(steer.angleDegrees(), c.angle, 1e-9) << c.factor;
  }
  // The speed-up boundary lands exactly on the arrow's first step.
  EXPECT_EQ((OvelSteer{WindowKind::week(), 1.25, RateBasis::recent}.angleDegrees()), 20);
  EXPECT_EQ(kSpeedUpTilt, std::log2(OvelSteer::speedUpFactor) / 2);
}

TEST(OvelSteerTest, NotANumberFactorIsLevel) {
  OvelSteer steer{WindowKind::session(), std::nan(""), RateBasis::none};
  EXPECT_EQ(steer.angleDegrees(), 0);
  EXPECT_EQ(steer.tilt(), 0);
  EXPECT_EQ(steer.direction(), Direction::onOvel);
}

TEST(OvelSteerTest, DirectionRawValues) {
  EXPECT_EQ(OvelSteer::directionFromRaw(0), Direction::stop);
  EXPECT_EQ(OvelSteer::directionFromRaw(3), Direction::speedUp);
  EXPECT_EQ(OvelSteer::directionFromRaw(4), std::nullopt);
  EXPECT_LT(Direction::easeOff, Direction::onOvel);
}

WindowAssessment rated(WindowKind kind, double used, std::optional<double> rate, std::optional<double> sustainable,
                       RateBasis basis = RateBasis::recent) {
  WindowAssessment a;
  a.window = reading(std::move(kind), used, 3600);
  a.ratePerHour = rate;
  a.sustainableRatePerHour = sustainable;
  a.rateBasis = rate ? basis : RateBasis::none;
  return a;
}

TEST(OvelSteerTest, SteerOfOneAssessment) {
  auto session = WindowKind::session();
  struct Case {
    const char* name;
    WindowAssessment assessment;
    std::optional<double> factor;
  } cases[] = {
      {"limit reached without rates", rated(session, 100, std::nullopt, std::nullopt), 0},
      {"limit reached with rates", rated(session, 105, 10, 0), 0},
      {"ratio", rated(session, 50, 10, 5), 0.5},
      {"barely burning", rated(session, 50, 0.005, 3), kInfinity},
      {"rate at the floor", rated(session, 50, 0.01, 3), kInfinity},
      {"rate just above the floor", rated(session, 50, 0.02, 3), 150},
      {"zero rate", rated(session, 50, 0, 3), kInfinity},
      {"no burn rate", rated(session, 50, std::nullopt, 3), std::nullopt},
      {"no sustainable rate", rated(session, 50, 10, std::nullopt), std::nullopt},
  };
  for (const auto& c : cases) {
    auto steer = c.assessment.steer();
    ASSERT_EQ(steer.has_value(), c.factor.has_value()) << c.name;
    if (!steer) continue;
    EXPECT_DOUBLE_EQ(steer->factor, *c.factor) << c.name;
    EXPECT_EQ(steer->kind, session) << c.name;
    EXPECT_EQ(steer->basis, c.assessment.rateBasis) << c.name;
  }
}

// An assessment whose steer factor is exactly `factor`.
WindowAssessment withFactor(WindowKind kind, double factor) {
  if (factor == 0) return rated(std::move(kind), 100, std::nullopt, std::nullopt);
  if (std::isinf(factor)) return rated(std::move(kind), 10, 0, 30);
  return rated(std::move(kind), 50, 1, factor);
}

TEST(OvelSteerTest, BindingSteerWithHysteresis) {
  auto session = WindowKind::session();
  auto week = WindowKind::week();
  auto modelA = WindowKind::weekModel("a");
  auto modelB = WindowKind::weekModel("b");
  struct Case {
    const char* name;
    std::vector<WindowAssessment> list;
    std::optional<WindowKind> previous;
    std::optional<WindowKind> expected;
  } cases[] = {
      {"0.75 is not below 0.9 x 0.8", {withFactor(session, 0.8), withFactor(week, 0.75)}, session, session},
      {"0.7 is", {withFactor(session, 0.8), withFactor(week, 0.7)}, session, week},
      {"previous already binds", {withFactor(session, 0.5), withFactor(week, 0.8)}, session, session},
      {"tie goes to the smaller kind", {withFactor(week, 1.1), withFactor(session, 1.1)}, std::nullopt, session},
      {"tie stays with the smaller kind", {withFactor(session, 1.1), withFactor(week, 1.1)}, std::nullopt, session},
      {"models by name", {withFactor(modelB, 1), withFactor(modelA, 1)}, std::nullopt, modelA},
      {"previous has no steer now",
       {withFactor(session, 0.9), withFactor(week, 0.95), rated(modelA, 10, std::nullopt, 30)},
       modelA,
       session},
      {"a stopped previous window is never displaced", {withFactor(session, 0), withFactor(week, 0)}, week, week},
      {"two idle windows never switch", {withFactor(session, kInfinity), withFactor(week, kInfinity)}, week, week},
      {"plain minimum without previous", {withFactor(session, 2), withFactor(week, 0.5)}, std::nullopt, week},
      {"no candidates",
       {rated(session, 50, std::nullopt, 10), rated(week, 20, std::nullopt, 2)},
       session,
       std::nullopt},
      {"empty list", {}, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    auto steer = OvelEngine::steer(c.list, c.previous, kSteerSwitchMargin);
    std::optional<WindowKind> kind;
    if (steer) kind = steer->kind;
    EXPECT_EQ(kind, c.expected) << c.name;
  }
}

TEST(OvelSteerTest, CompleteTieKeepsTheEarlierCandidate) {
  std::vector<WindowAssessment> list = {rated(WindowKind::session(), 50, 1, 2, RateBasis::recent),
                                        rated(WindowKind::session(), 50, 1, 2, RateBasis::windowAverage)};
  EXPECT_EQ(OvelEngine::steer(list, std::nullopt, kSteerSwitchMargin)->basis, RateBasis::recent);
}

}  // namespace
}  // namespace ovel
