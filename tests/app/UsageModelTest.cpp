// The model's state, change notification, recompute, plan edits and demo start.
#include <QSignalSpy>

#include <algorithm>

#include "UsageModelHarness.h"
#include "model/Demo.h"

namespace ovel::test {
namespace {

using Phase = UsageModel::Phase;
using Scope = PlannedReset::Scope;

// Samples on a straight line that reaches usedNow at kStart.
std::vector<HistorySample> line(WindowKind kind, Date resetsAt, double usedNow, double ratePerHour, double span,
                                double step) {
  std::vector<HistorySample> samples;
  for (double t = -span; t <= 0; t += step)
    samples.emplace_back(kind, usedNow + ratePerHour * t / kHour, resetsAt, at(t));
  return samples;
}

// A session burning at 0.8 of its sustainable rate, and a week at the
// given factor (rates from the recent slope alone).
Demo steeringDemo(double weekFactor) {
  Demo demo;
  demo.windows = {reading(WindowKind::session(), 50, at(2 * kHour), kStart),
                  reading(WindowKind::week(), 52, at(48 * kHour), kStart)};
  demo.history = line(WindowKind::session(), at(2 * kHour), 50, 25 / 0.8, 2400, 120);
  auto week = line(WindowKind::week(), at(48 * kHour), 52, 1 / weekFactor, 72000, 1800);
  demo.history.insert(demo.history.end(), week.begin(), week.end());
  return demo;
}

std::vector<std::string> notes(const ResetPlan& plan) {
  std::vector<std::string> result;
  for (const auto& reset : plan.planned) result.push_back(reset.note);
  return result;
}

TEST_F(UsageModelTest, FreshModelHasNothingAndRunsNothing) {
  EXPECT_EQ(model->phase(), Phase::starting());
  EXPECT_TRUE(model->assessments().empty());
  EXPECT_FALSE(model->session());
  EXPECT_FALSE(model->week());
  EXPECT_FALSE(model->steerAssessment());
  EXPECT_FALSE(model->insights());
  EXPECT_TRUE(model->history().empty());
  EXPECT_EQ(model->now(), kStart);
  EXPECT_FALSE(model->isDemo());
  EXPECT_EQ(scheduler->tasksPending(), 0u);
  EXPECT_TRUE(probe->overrides.empty());
}

TEST_F(UsageModelTest, ConstructionPrunesTheStoredPlanWithoutRewritingIt) {
  ResetPlanStore store(OvelPaths::resetPlan());
  ResetPlan stored;
  stored.banked = 3;
  stored.planned = {{Uuid::random(), at(-kDay), Scope::all, "a day old"},
                    {Uuid::random(), at(-kDay + 1), Scope::week, "kept"}};
  ASSERT_FALSE(store.save(stored));
  std::string before = readText(store.url());

  build();
  EXPECT_EQ(notes(model->resetPlan()), std::vector<std::string>{"kept"});
  EXPECT_EQ(model->resetPlan().banked, 3);
  EXPECT_EQ(readText(store.url()), before);
}

TEST_F(UsageModelTest, RecomputeWithoutReadingsStillLearnsAndNotifies) {
  clock->advance(7);
  model->recompute();
  EXPECT_TRUE(model->assessments().empty());
  EXPECT_FALSE(model->steer());
  EXPECT_FALSE(UsageModelInternals::bindingKind(*model));
  EXPECT_FALSE(model->sessionWeekRatio());
  EXPECT_EQ(model->now(), at(7));
  EXPECT_EQ(UsageModelInternals::lastRecompute(*model), at(7));
  EXPECT_EQ(changedAt, std::vector<Date>{at(7)});
}

TEST_F(UsageModelTest, WritesNotifyOnlyWhenTheValueChanges) {
  QSignalSpy assessments(model.get(), &UsageModel::assessmentsChanged);
  QSignalSpy steer(model.get(), &UsageModel::steerChanged);
  QSignalSpy now(model.get(), &UsageModel::nowChanged);
  QSignalSpy plan(model.get(), &UsageModel::resetPlanChanged);
  QSignalSpy state(model.get(), &UsageModel::stateChanged);

  model->recompute();
  EXPECT_EQ(assessments.count(), 0);
  EXPECT_EQ(steer.count(), 0);
  EXPECT_EQ(now.count(), 0);

  model->probe();  // answers at once with a session and a week reading
  EXPECT_EQ(assessments.count(), 1);
  EXPECT_EQ(state.count(), 1);
  model->recompute();
  EXPECT_EQ(assessments.count(), 1);
  clock->advance(60);
  model->recompute();
  EXPECT_EQ(assessments.count(), 2);
  EXPECT_EQ(now.count(), 1);

  // The same readings again change nothing in the state, yet a merge is an
  // in-place change and always notifies.
  model->probe();
  EXPECT_EQ(state.count(), 2);

  model->setBankedResets(0);
  EXPECT_EQ(plan.count(), 0);
  model->setBankedResets(2);
  model->setBankedResets(2);
  EXPECT_EQ(plan.count(), 1);
}

TEST_F(UsageModelTest, PhaseFollowsProbeOutcomes) {
  struct Step {
    ProbeOutcome outcome;
    Phase phase;
    int phaseSignals;  // so far
  } steps[] = {
      {ProbeOutcome::failure("a"), Phase::failed("a"), 1},
      {ProbeOutcome::failure("a"), Phase::failed("a"), 1},
      {ProbeOutcome::failure("b"), Phase::failed("b"), 2},
      {probeAnswer({sessionReading(20, kStart)}), Phase::ready(), 3},
      // Once a window is known a failure shows only as the error.
      {ProbeOutcome::failure("c"), Phase::ready(), 3},
  };
  QSignalSpy phase(model.get(), &UsageModel::phaseChanged);
  QSignalSpy failures(model.get(), &UsageModel::consecutiveFailuresChanged);
  int step = 0;
  for (const auto& s : steps) {
    probe->work.answer = s.outcome;
    model->probe();
    EXPECT_EQ(model->phase(), s.phase) << step;
    EXPECT_EQ(phase.count(), s.phaseSignals) << step;
    ++step;
  }
  EXPECT_EQ(model->lastProbeError(), "c");
  EXPECT_EQ(model->consecutiveFailures(), 1);
  EXPECT_EQ(failures.count(), 5);  // three increments, one reset to 0, one increment
}

TEST_F(UsageModelTest, RateActivityOnlyWithLocalActivityOnAndNoDemo) {
  ActivityEvent event;
  event.timestamp = at(-60);
  event.model = "claude-opus-4";
  event.tokens.output = 100;
  scan->work.answer = {event};
  startAndSettle();
  ASSERT_EQ(model->activity().events().size(), 1u);
  EXPECT_EQ(model->rateActivity(), &model->activity());

  preferences.setUseLocalActivity(false);
  EXPECT_EQ(model->rateActivity(), nullptr);
  EXPECT_EQ(model->activity().events().size(), 1u);

  preferences.setUseLocalActivity(true);
  model->startDemo(Demo::make(Demo::Scenario::comfortable, kStart, "UTC"));
  EXPECT_EQ(model->rateActivity(), nullptr);
}

TEST_F(UsageModelTest, SamplesOfOneWindowInstanceInStoredOrder) {
  Date reset = at(3 * kHour);
  Demo demo;
  demo.windows = {reading(WindowKind::session(), 40, reset, kStart)};
  demo.history = {
      HistorySample(WindowKind::session(), 30, addSeconds(reset, 299), at(-60)),
      HistorySample(WindowKind::session(), 31, addSeconds(reset, 300), at(-50)),
      HistorySample(WindowKind::session(), 32, std::nullopt, at(-40)),
      HistorySample(WindowKind::week(), 33, reset, at(-30)),
      HistorySample(WindowKind::session(), 20, reset, at(-120)),
  };
  model->startDemo(demo);
  auto samples = model->samples(demo.windows[0]);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].usedPercent, 30);
  EXPECT_EQ(samples[1].usedPercent, 20);
}

TEST_F(UsageModelTest, SteerKeepsItsWindowWithinTheSwitchMargin) {
  struct Step {
    std::optional<double> weekFactor;  // absent: no windows at all
    std::optional<WindowKind> steer;
  } steps[] = {
      {0.9, WindowKind::session()},   // the session (0.8) is tighter
      {0.75, WindowKind::session()},  // tighter, but not below 0.8 x 0.9
      {0.7, WindowKind::week()},      // below 0.72: the week takes over
      {0.75, WindowKind::week()},     // and keeps it while within the margin
      {std::nullopt, std::nullopt},   // no steer: the binding kind is forgotten
      {0.75, WindowKind::week()},     // so the tightest wins outright
  };
  int step = 0;
  for (const auto& s : steps) {
    Demo demo = s.weekFactor ? steeringDemo(*s.weekFactor) : Demo{};
    model->startDemo(demo);
    if (s.weekFactor) {
      ASSERT_NEAR(model->week()->steer()->factor, *s.weekFactor, 1e-9) << step;
      ASSERT_NEAR(model->session()->steer()->factor, 0.8, 1e-9) << step;
    }
    EXPECT_EQ(model->steer() ? std::optional(model->steer()->kind) : std::nullopt, s.steer) << step;
    EXPECT_EQ(UsageModelInternals::bindingKind(*model), s.steer) << step;
    ++step;
  }
  EXPECT_EQ(model->steerAssessment()->window.kind, WindowKind::week());
}

TEST_F(UsageModelTest, PlannedWeekResetShortensOnlyTheWeekWindows) {
  Demo demo = steeringDemo(0.9);
  demo.windows.push_back(reading(WindowKind::weekModel("Opus"), 10, at(48 * kHour), kStart));
  model->startDemo(demo);
  WindowAssessment sessionWithoutPlan = *model->session();

  demo.resetPlan.planned = {{Uuid::random(), at(30 * kHour), Scope::week, ""}};
  model->startDemo(demo);
  ASSERT_EQ(model->assessments().size(), 3u);
  EXPECT_EQ(model->assessments()[0], sessionWithoutPlan);
  EXPECT_EQ(model->assessments()[1].plannedResetAt, at(30 * kHour));
  EXPECT_EQ(model->assessments()[2].plannedResetAt, at(30 * kHour));
}

TEST_F(UsageModelTest, RatioIsLearnedAgainOnlyWhenTheSampleCountChanges) {
  Demo demo = Demo::make(Demo::Scenario::atRisk, kStart, "UTC");
  // A week reading now lets the last session readings see the week's level.
  demo.history.emplace_back(WindowKind::week(), demo.windows[1].usedPercent, demo.windows[1].resetsAt, kStart);
  model->startDemo(demo);
  auto learned = model->sessionWeekRatio();
  ASSERT_TRUE(learned);

  Demo sameCount = demo;
  for (auto& sample : sameCount.history)
    if (sample.kindKey == "week") sample.usedPercent /= 2;
  ASSERT_NE(OvelEngine::sessionWeekRatio(sameCount.history, kMinimumSessionPoints), learned);
  model->startDemo(sameCount);
  EXPECT_EQ(model->sessionWeekRatio(), learned);

  Demo oneMore = sameCount;
  oneMore.history.emplace_back(WindowKind::week(), 40, demo.windows[1].resetsAt, at(1));
  model->startDemo(oneMore);
  EXPECT_EQ(model->sessionWeekRatio(), OvelEngine::sessionWeekRatio(oneMore.history, kMinimumSessionPoints));
}

TEST_F(UsageModelTest, PlanEditsPruneSaveAndRecompute) {
  Uuid shared = Uuid::random();
  ResetPlan initial;
  initial.banked = 1;
  initial.planned = {{shared, at(kDay), Scope::all, "one"},
                     {Uuid::random(), at(2 * kDay), Scope::week, "other"},
                     {shared, at(3 * kDay), Scope::session, "same id"}};
  struct Case {
    const char* name;
    std::function<void(UsageModel&)> edit;
    std::vector<std::string> notes;
    long long banked;
  } cases[] = {
      {"add",
       [](UsageModel& m) {
         m.addPlannedReset({Uuid::random(), at(2 * kHour), Scope::all, "soon"});
       },
       {"soon", "one", "other", "same id"},
       1},
      {"add a day old",
       [](UsageModel& m) {
         m.addPlannedReset({Uuid::random(), at(-kDay), Scope::all, "old"});
       },
       {"one", "other", "same id"},
       1},
      {"remove every entry with the id", [&shared](UsageModel& m) { m.removePlannedReset(shared); }, {"other"}, 1},
      {"remove unknown", [](UsageModel& m) { m.removePlannedReset(Uuid::random()); }, {"one", "other", "same id"}, 1},
      {"bank", [](UsageModel& m) { m.setBankedResets(4); }, {"one", "other", "same id"}, 4},
      {"bank below zero", [](UsageModel& m) { m.setBankedResets(-2); }, {"one", "other", "same id"}, 0},
  };
  ResetPlanStore store(OvelPaths::resetPlan());
  for (const auto& c : cases) {
    ASSERT_FALSE(store.save(initial));
    build();
    c.edit(*model);
    EXPECT_EQ(notes(model->resetPlan()), c.notes) << c.name;
    EXPECT_EQ(model->resetPlan().banked, c.banked) << c.name;
    EXPECT_EQ(store.load(), model->resetPlan()) << c.name;
    EXPECT_EQ(changedAt.size(), 1u) << c.name;
  }
}

TEST_F(UsageModelTest, PlanThatCannotBeSavedStaysInMemoryAndSaysWhy) {
  writeText(dir / "plain-file", "");
  build(ResetPlanStore(dir / "plain-file" / "reset-plan.json"));
  QSignalSpy errorChanged(model.get(), &UsageModel::planSaveErrorChanged);
  model->setBankedResets(3);
  EXPECT_EQ(model->resetPlan().banked, 3);
  EXPECT_EQ(changedAt.size(), 1u);
  EXPECT_EQ(model->planSaveError(), "Couldn't save your planned resets: Not a directory");
  EXPECT_EQ(errorChanged.count(), 1);

  // Once the folder can be written, the next edit saves the whole plan.
  std::filesystem::remove(dir / "plain-file");
  model->addPlannedReset({Uuid::random(), at(2 * kHour), Scope::session, "later"});
  EXPECT_EQ(model->planSaveError(), std::nullopt);
  EXPECT_EQ(errorChanged.count(), 2);
  ResetPlan saved = ResetPlanStore(dir / "plain-file" / "reset-plan.json").load();
  EXPECT_EQ(saved.banked, 3);
  ASSERT_EQ(saved.planned.size(), 1u);
  EXPECT_EQ(saved.planned[0].note, "later");
}

TEST_F(UsageModelTest, DemoEditsChangeThePlanInMemoryOnly) {
  model->startDemo(Demo::make(Demo::Scenario::plannedReset, kStart, "UTC"));
  model->addPlannedReset({Uuid::random(), at(kHour), Scope::session, "x"});
  model->removePlannedReset(model->resetPlan().planned.back().id);
  model->setBankedResets(5);
  model->redeemReset(Scope::all);
  EXPECT_EQ(notes(model->resetPlan()), std::vector<std::string>{"x"});
  EXPECT_EQ(model->resetPlan().banked, 4);
  scheduler->runDue();
  EXPECT_EQ(probe->runs(), 0u);
  EXPECT_FALSE(std::filesystem::exists(OvelPaths::resetPlan()));
}

TEST_F(UsageModelTest, EachDemoScenarioShowsItsShape) {
  using S = Demo::Scenario;
  using St = OvelStatus;
  struct Case {
    S scenario;
    St session, week;
    WindowKind steer;
    bool weekPlanned;
    long long banked;
  } cases[] = {
      {S::comfortable, St::comfortable, St::comfortable, WindowKind::week(), false, 0},
      {S::watch, St::watch, St::watch, WindowKind::week(), false, 0},
      {S::atRisk, St::atRisk, St::atRisk, WindowKind::session(), false, 0},
      {S::limited, St::limited, St::atRisk, WindowKind::session(), false, 0},
      {S::plannedReset, St::comfortable, St::comfortable, WindowKind::session(), true, 2},
  };
  for (const auto& c : cases) {
    build();
    clock->advance(1);
    Demo demo = Demo::make(c.scenario, clock->now(), "Europe/Berlin");
    model->startDemo(demo);
    const char* name = rawValue(c.scenario).data();
    EXPECT_TRUE(model->isDemo()) << name;
    EXPECT_EQ(model->phase(), Phase::ready()) << name;
    ASSERT_EQ(model->assessments().size(), 3u) << name;
    EXPECT_EQ(model->assessments()[2].window.kind, WindowKind::weekModel("Opus")) << name;
    EXPECT_EQ(model->session()->status, c.session) << name;
    EXPECT_EQ(model->week()->status, c.week) << name;
    EXPECT_EQ(model->steer()->kind, c.steer) << name;
    EXPECT_EQ(model->week()->plannedResetAt.has_value(), c.weekPlanned) << name;
    EXPECT_EQ(model->resetPlan().banked, c.banked) << name;
    EXPECT_EQ(model->history(), demo.history) << name;
    EXPECT_EQ(model->insights(), demo.insights) << name;
    EXPECT_EQ(model->state().insights(), demo.insights) << name;
    EXPECT_EQ(model->activity().events().size(), demo.events.size()) << name;
    EXPECT_EQ(model->lastProbeAt(), clock->now()) << name;
    EXPECT_EQ(model->lastStatusLineAt(), clock->now()) << name;
    EXPECT_EQ(changedAt.size(), 1u) << name;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << name;
  }
}

TEST_F(UsageModelTest, DemoThatIsNotLiveHasNoStatusLineTime) {
  Demo demo = Demo::make(Demo::Scenario::watch, kStart, "UTC");
  demo.live = false;
  model->startDemo(demo);
  EXPECT_FALSE(model->lastStatusLineAt());
  EXPECT_EQ(model->lastProbeAt(), kStart);
}

TEST_F(UsageModelTest, DemoStopsATickerAndStartDoesNothingAfterIt) {
  startAndSettle();
  ASSERT_TRUE(UsageModelInternals::tickIsPending(*model));
  model->startDemo(Demo::make(Demo::Scenario::watch, kStart, "UTC"));
  EXPECT_FALSE(UsageModelInternals::tickIsPending(*model));
  model->start();
  EXPECT_EQ(scheduler->tasksPending(), 0u);
}

}  // namespace
}  // namespace ovel::test
