#include "Notifier.h"

#include <gtest/gtest.h>

#include "model/Format.h"

namespace ovel {
namespace {

// 13:00 UTC; clock texts are written in UTC.
const Date kNow = dateFromSeconds1970(1781701200);

class FakeCenter final : public NotificationCenter {
 public:
  void requestAuthorization(std::function<void(bool)> answer) override { pending = std::move(answer); }
  void add(const QString& id, const QString& title, const QString& body) override {
    posted.push_back({id.toStdString(), title.toStdString(), body.toStdString()});
  }
  struct Post {
    std::string id, title, body;
  };
  std::function<void(bool)> pending;
  std::vector<Post> posted;
};

WindowAssessment assessed(WindowKind kind, OvelStatus status, double used, std::optional<double> resetIn,
                          std::optional<double> timeToLimit = std::nullopt) {
  WindowAssessment a;
  a.window.kind = std::move(kind);
  a.window.usedPercent = used;
  if (resetIn) a.window.resetsAt = addSeconds(kNow, *resetIn);
  a.window.observedAt = kNow;
  a.status = status;
  a.timeToLimit = timeToLimit;
  return a;
}

class NotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Format::setTimeZone("UTC");
    Format::setLocale("C");
    notifier.requestAuthorization([this] { ++grants; });
    center.pending(true);
  }
  void TearDown() override {
    Format::setTimeZone({});
    Format::setLocale({});
  }

  void evaluate(std::vector<WindowAssessment> assessments, Date now = kNow) {
    notifier.evaluate(assessments, preferences, now);
  }

  FakeCenter center;
  Notifier notifier{&center, [] { return kNow; }};
  MemoryDefaultsStore store;
  Preferences preferences{store};
  int grants = 0;
};

TEST_F(NotifierTest, Texts) {
  using enum OvelStatus;
  const double reset = 2 * 3600 + 45 * 60;  // 15:45
  struct Case {
    const char* name;
    WindowAssessment assessment;
    std::string title, body;
  } cases[] = {
      {"limited", assessed(WindowKind::session(), limited, 100, reset), "Session limit reached", "Resets at 3:45 PM."},
      {"limited, no reset", assessed(WindowKind::week(), limited, 100, std::nullopt), "Week limit reached", ""},
      {"model limited", assessed(WindowKind::weekModel("Opus"), limited, 100, reset), "Week \u00B7 Opus limit reached",
       "Resets at 3:45 PM."},
      {"at risk", assessed(WindowKind::session(), atRisk, 70, reset, 5400.0), "Session: limit in ~1h 30m",
       "At your current ovel you'll hit the limit around 2:30 PM. It resets at 3:45 PM."},
      {"at risk, no reset", assessed(WindowKind::week(), atRisk, 70, std::nullopt, 5400.0), "Week: limit in ~1h 30m",
       "At your current ovel you'll hit the limit around 2:30 PM. It resets at \u2014."},
  };
  for (const auto& c : cases) {
    FakeCenter fresh;
    Notifier notifier(&fresh, [] { return kNow; });
    notifier.requestAuthorization({});
    fresh.pending(true);
    notifier.evaluate({c.assessment}, preferences, kNow);
    ASSERT_EQ(fresh.posted.size(), 1u) << c.name;
    EXPECT_EQ(fresh.posted[0].title, c.title) << c.name;
    EXPECT_EQ(fresh.posted[0].body, c.body) << c.name;
  }
}

TEST_F(NotifierTest, RiskThresholdsAreStrict) {
  using enum OvelStatus;
  struct Case {
    WindowKind kind;
    std::optional<double> timeToLimit;
    bool posted;
  } cases[] = {
      {WindowKind::session(), 7199, true},       {WindowKind::session(), 7200, false},
      {WindowKind::week(), 86399, true},         {WindowKind::week(), 86400, false},
      {WindowKind::weekModel("x"), 86399, true}, {WindowKind::session(), std::nullopt, false},
  };
  for (const auto& c : cases) {
    FakeCenter fresh;
    Notifier notifier(&fresh, [] { return kNow; });
    notifier.requestAuthorization({});
    fresh.pending(true);
    notifier.evaluate({assessed(c.kind, atRisk, 70, 9e4, c.timeToLimit)}, preferences, kNow);
    EXPECT_EQ(fresh.posted.size(), c.posted ? 1u : 0u) << c.kind.key() << " " << c.timeToLimit.value_or(-1);
  }
}

TEST_F(NotifierTest, OneNoticePerWindowInstance) {
  using enum OvelStatus;
  auto first = assessed(WindowKind::session(), limited, 100, 3600 + 290);
  evaluate({first});
  evaluate({first});
  ASSERT_EQ(center.posted.size(), 1u);
  EXPECT_EQ(center.posted[0].id, "limited:" + Notifier::epochKey(first.window));
  // The same instance as read from the other source, across a step's
  // half-way point: another id, but no second notice.
  auto other = assessed(WindowKind::session(), limited, 100, 3600 + 310);
  ASSERT_NE(Notifier::epochKey(first.window), Notifier::epochKey(other.window));
  evaluate({other});
  EXPECT_EQ(center.posted.size(), 1u);
  // A new instance is announced again.
  evaluate({assessed(WindowKind::session(), limited, 100, 3600 + 18000)});
  EXPECT_EQ(center.posted.size(), 2u);
}

TEST_F(NotifierTest, EpochKeysRoundToTenMinutes) {
  auto keyAt = [](double resetSeconds) {
    UsageWindow window;
    window.resetsAt = dateFromSeconds1970(resetSeconds);
    return Notifier::epochKey(window);
  };
  EXPECT_EQ(keyAt(1700000099), "session@2833333");
  EXPECT_EQ(keyAt(1700000100), "session@2833334");
  EXPECT_EQ(keyAt(1700000101), keyAt(1700000399));
  EXPECT_EQ(Notifier::epochKey(UsageWindow{}), "session@0");
}

TEST_F(NotifierTest, FreshWindowAfterATightOne) {
  using enum OvelStatus;
  evaluate({assessed(WindowKind::session(), comfortable, 3, 3600)});
  EXPECT_TRUE(center.posted.empty()) << "no previous status";
  evaluate({assessed(WindowKind::session(), limited, 100, 3600)});
  evaluate({assessed(WindowKind::session(), comfortable, 3, 21600)});
  ASSERT_EQ(center.posted.size(), 2u);
  EXPECT_EQ(center.posted[1].id, "reset:session@1781701200");
  EXPECT_EQ(center.posted[1].title, "Session reset");
  EXPECT_EQ(center.posted[1].body, "Fresh window. You're good to go.");

  struct Case {
    OvelStatus before, after;
    double used;
  } quiet[] = {{atRisk, watch, 3}, {limited, comfortable, 5}};
  for (const auto& c : quiet) {
    FakeCenter fresh;
    Notifier notifier(&fresh, [] { return kNow; });
    notifier.requestAuthorization({});
    fresh.pending(true);
    preferences.setNotifyLimited(false);
    preferences.setNotifyAtRisk(false);
    notifier.evaluate({assessed(WindowKind::week(), c.before, 90, 3600)}, preferences, kNow);
    notifier.evaluate({assessed(WindowKind::week(), c.after, c.used, 9e4)}, preferences, kNow);
    EXPECT_TRUE(fresh.posted.empty());
  }
}

TEST_F(NotifierTest, SwitchesStillTrackTheStatus) {
  using enum OvelStatus;
  preferences.setNotifyReset(false);
  evaluate({assessed(WindowKind::session(), limited, 100, 3600)});
  evaluate({assessed(WindowKind::session(), comfortable, 2, 21600)});
  preferences.setNotifyReset(true);
  evaluate({assessed(WindowKind::session(), comfortable, 2, 21600)});
  EXPECT_EQ(center.posted.size(), 1u) << "only the limit notice; the reset passed while switched off";
}

TEST(NotifierPermissionTest, NothingBeforeTheGrantAndEvaluatesOnIt) {
  FakeCenter center;
  Notifier notifier(&center, [] { return kNow; });
  MemoryDefaultsStore store;
  Preferences preferences(store);
  auto limited = assessed(WindowKind::session(), OvelStatus::limited, 100, 3600);
  notifier.requestAuthorization([&] { notifier.evaluate({limited}, preferences, kNow); });
  notifier.evaluate({limited}, preferences, kNow);
  EXPECT_TRUE(center.posted.empty());
  center.pending(true);
  EXPECT_EQ(center.posted.size(), 1u) << "an id refused for want of permission can be posted later";

  Notifier noCenter(nullptr);
  noCenter.requestAuthorization([] { FAIL(); });
  noCenter.evaluate({limited}, preferences, kNow);
  EXPECT_FALSE(noCenter.isAuthorized());
}

}  // namespace
}  // namespace ovel
