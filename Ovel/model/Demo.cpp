#include "model/Demo.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/engine/EngineConstants.h"
#include "core/support/TimeZone.h"

namespace ovel {
namespace {

constexpr std::array<std::string_view, 5> kScenarioNames = {"comfortable", "watch", "at-risk", "limited",
                                                            "planned-reset"};
constexpr std::array<Demo::Scenario, 5> kScenarios = {Demo::Scenario::comfortable, Demo::Scenario::watch,
                                                      Demo::Scenario::atRisk, Demo::Scenario::limited,
                                                      Demo::Scenario::plannedReset};

struct ProjectShare {
  const char* name;
  double share;
};
constexpr std::array<ProjectShare, 5> kProjects = {{
    {"checkout-service", 0.38},
    {"ios-app", 0.27},
    {"docs-site", 0.16},
    {"infra", 0.11},
    {"scratch", 0.08},
}};

__extension__ using UInt128 = unsigned __int128;

constexpr double kSessionSampleMinutes = 5;
constexpr double kSessionRecentMinutes = 40;
constexpr double kWeekRecentHours = 24;
constexpr int kFirstDayHour = 9;
constexpr int kLastDayHour = 23;
constexpr int kActivitySlotMinutes = 6;
constexpr int kActivityMinutes = 10080;
constexpr int kBusyMinutes = 300;

bool isDaytime(Date date, std::string_view zone) {
  int hour = localTime(date, zone).hour;
  return hour >= kFirstDayHour && hour <= kLastDayHour;
}

UsageWindow reading(WindowKind kind, double used, std::optional<Date> resetsAt, Date now, DataSource source) {
  return UsageWindow{std::move(kind), used, resetsAt, now, source};
}

const char* projectFor(double r) {
  double runningTotal = 0;
  for (const ProjectShare& project : kProjects) {
    runningTotal += project.share;
    if (runningTotal > r) return project.name;
  }
  return kProjects.back().name;
}

UsageInsights demoInsights(Date now) {
  using Finding = UsageInsights::Finding;
  UsageInsights::Period day{"Last 24h",
                            842,
                            9,
                            {Finding{54, "was at >150k context"}, Finding{31, "came from subagent-heavy sessions"},
                             Finding{22, "came from sessions active for 8+ hours"}},
                            {},
                            {}};
  UsageInsights::Period week{
      "Last 7d", 5210, 41, {Finding{47, "was at >150k context"}, Finding{35, "came from subagent-heavy sessions"}},
      {},        {}};
  return UsageInsights{{day, week}, now};
}

}  // namespace

std::uint64_t SeededGenerator::next() {
  state_ += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double SeededGenerator::uniform(double lo, double hi) {
  for (;;) {
    double unit = static_cast<double>(next() & ((1ULL << 53) - 1)) * 0x1p-53;
    double value = lo + (hi - lo) * unit;
    if (value != hi) return value;
  }
}

std::uint64_t SeededGenerator::below(std::uint64_t bound) {
  UInt128 product = static_cast<UInt128>(next()) * bound;
  auto low = static_cast<std::uint64_t>(product);
  if (low < bound) {
    std::uint64_t threshold = (0 - bound) % bound;
    while (low < threshold) {
      product = static_cast<UInt128>(next()) * bound;
      low = static_cast<std::uint64_t>(product);
    }
  }
  return static_cast<std::uint64_t>(product >> 64);
}

std::string_view rawValue(Demo::Scenario scenario) { return kScenarioNames[static_cast<std::size_t>(scenario)]; }

std::optional<Demo::Scenario> scenarioFromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kScenarioNames.size(); ++i)
    if (kScenarioNames[i] == raw) return kScenarios[i];
  return std::nullopt;
}

std::optional<Demo::Scenario> Demo::requested(std::span<const std::string> arguments) {
  auto flag = std::find(arguments.begin(), arguments.end(), "--demo");
  if (flag == arguments.end() || flag + 1 == arguments.end()) return std::nullopt;
  return scenarioFromRaw(*(flag + 1));
}

Demo Demo::make(Scenario scenario, Date now, std::string_view zone) {
  switch (scenario) {
    case Scenario::watch: return build({58, 2.0, 14}, {63, 52, 0.62}, 12, now, zone);
    case Scenario::atRisk: return build({71, 1.6, 27}, {79, 30, 0.8}, 18, now, zone);
    case Scenario::limited: return build({100, 0.7, 0}, {88, 26, 0.5}, 21, now, zone);
    case Scenario::comfortable: break;
    case Scenario::plannedReset: {
      Demo demo = build({34, 3.1, 8}, {41, 70, 0.55}, 6, now, zone);
      PlannedReset announced{Uuid::random(), addSeconds(now, 108000), PlannedReset::Scope::week, "announced"};
      demo.resetPlan = ResetPlan{{announced}, 2};
      return demo;
    }
  }
  return build({34, 3.1, 8}, {41, 70, 0.55}, 6, now, zone);
}

Demo Demo::build(Pace session, Pace week, double modelUsed, Date now, std::string_view zone) {
  Demo demo;
  Date sessionReset = addSeconds(now, session.hoursToReset * kHour);
  Date weekReset = addSeconds(now, week.hoursToReset * kHour);
  demo.windows = {
      reading(WindowKind::session(), session.used, sessionReset, now, DataSource::statusLine),
      reading(WindowKind::week(), week.used, weekReset, now, DataSource::statusLine),
      reading(WindowKind::weekModel("Opus"), modelUsed, weekReset, now, DataSource::usageCommand),
  };

  // Session: the current rate over the last 40 minutes, a straight climb
  // from the window's start before that.
  double elapsedMinutes = (5 - session.hoursToReset) * 60;
  double level40 = std::max(session.used - session.ratePerHour * kSessionRecentMinutes / 60, 0.0);
  double climbSpan = std::max(elapsedMinutes - kSessionRecentMinutes, 1.0);
  for (int step = 0;; ++step) {
    double m = elapsedMinutes - kSessionSampleMinutes * step;
    if (m < kSessionSampleMinutes) break;
    double value = m <= kSessionRecentMinutes ? std::max(session.used - session.ratePerHour * m / 60, 0.0)
                                              : level40 * (elapsedMinutes - m) / climbSpan;
    demo.history.emplace_back(WindowKind::session(), std::min(value, session.used), sessionReset,
                              addSeconds(now, -60 * m));
  }

  // Week: hourly, with the nights left out before the last day.
  double elapsedHours = 168 - week.hoursToReset;
  double level24 = std::max(week.used - kWeekRecentHours * week.ratePerHour, 0.0);
  double weekSpan = std::max(elapsedHours - kWeekRecentHours, 1.0);
  for (int step = 0;; ++step) {
    double h = elapsedHours - step;
    if (h < 1) break;
    Date time = addSeconds(now, -kHour * h);
    double value = 0;
    if (h <= kWeekRecentHours) {
      value = std::max(week.used - week.ratePerHour * h, 0.0);
    } else {
      if (!isDaytime(time, zone)) continue;
      value = level24 * (elapsedHours - h) / weekSpan;
    }
    demo.history.emplace_back(WindowKind::week(), std::min(value, week.used), weekReset, time);
  }

  SeededGenerator generator;
  for (int m = kActivityMinutes; m >= kActivitySlotMinutes; m -= kActivitySlotMinutes) {
    Date time = addSeconds(now, -60.0 * m);
    if (!isDaytime(time, zone) && m >= kBusyMinutes) continue;
    double r = generator.uniform(0, 1);
    const char* project = projectFor(r);
    double multiplier = m < kBusyMinutes ? 1.6 : 1.0;
    double n = static_cast<double>(generator.below(2001));
    TokenCounts tokens{900, static_cast<std::int64_t>((400 + n) * multiplier), 60000, 4000, 0};
    demo.events.push_back(
        {time, r < 0.8 ? "claude-opus-4" : "claude-sonnet-4", std::string("/Users/demo/") + project, tokens});
  }

  demo.insights = demoInsights(now);
  return demo;
}

}  // namespace ovel
