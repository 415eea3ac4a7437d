// Planned and banked resets, their file, and the identifiers they carry.
#include "core/engine/ResetPlan.h"

#include <gtest/gtest.h>

#include <set>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::TempDir;
using Scope = PlannedReset::Scope;

constexpr double kNoon = 1'772'366'400;  // 2026-03-01T12:00:00Z
constexpr double kHour = 3600;

Date at(double hoursAfterNoon) { return dateFromSeconds1970(kNoon + hoursAfterNoon * kHour); }

PlannedReset planned(Scope scope, Date date, std::string note = "") {
  return {Uuid::random(), date, scope, std::move(note)};
}

TEST(UuidTest, RandomIdentifiersAreVersionFourInUpperCase) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    std::string text = Uuid::random().string();
    ASSERT_EQ(text.size(), 36u);
    for (std::size_t at : {8, 13, 18, 23}) EXPECT_EQ(text[at], '-') << text;
    EXPECT_EQ(text[14], '4') << text;
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(UuidTest, ParsesEitherCaseAndRejectsOtherText) {
  auto upper = Uuid::parse("0F8FAD5B-D9CB-469F-A165-70867728950E");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->string(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
  EXPECT_EQ(Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950e"), upper);
  EXPECT_EQ(Uuid::parse("00000000-0000-0000-0000-000000000000"), Uuid());
  for (const char* bad : {"", "0F8FAD5B-D9CB-469F-A165-70867728950", "0F8FAD5B-D9CB-469F-A165-70867728950EE",
                          "0F8FAD5BD-9CB-469F-A165-70867728950E", "0F8FAD5B-D9CB-469F-A165-70867728950G",
                          "{0F8FAD5B-D9CB-469F-A165-70867728950}", "0F8FAD5B D9CB 469F A165 70867728950E"})
    EXPECT_FALSE(Uuid::parse(bad)) << bad;
}

TEST(ResetScopeTest, LabelsRawValuesAndCoverage) {
  EXPECT_EQ(PlannedReset::allScopes, (std::array<Scope, 3>{Scope::all, Scope::session, Scope::week}));
  EXPECT_EQ(label(Scope::all), "All limits");
  EXPECT_EQ(label(Scope::session), "Session (5h)");
  EXPECT_EQ(label(Scope::week), "Weekly limits");
  for (auto scope : PlannedReset::allScopes) EXPECT_EQ(scopeFromRaw(rawValue(scope)), scope);
  EXPECT_FALSE(scopeFromRaw("Week"));

  struct Case {
    Scope scope;
    WindowKind kind;
    bool covered;
  } cases[] = {
      {Scope::all, WindowKind::session(), true},
      {Scope::all, WindowKind::weekModel("Opus"), true},
      {Scope::session, WindowKind::session(), true},
      {Scope::session, WindowKind::week(), false},
      {Scope::session, WindowKind::weekModel("Opus"), false},
      {Scope::week, WindowKind::week(), true},
      {Scope::week, WindowKind::weekModel("Opus"), true},
      {Scope::week, WindowKind::session(), false},
  };
  for (const auto& c : cases) EXPECT_EQ(covers(c.scope, c.kind), c.covered) << rawValue(c.scope) << " " << c.kind.key();
}

TEST(ResetPlanTest, HorizonIsTheEarliestCoveringResetStrictlyInsideTheWindow) {
  UsageWindow session;
  session.kind = WindowKind::session();
  session.resetsAt = at(6);  // 18:00, now is noon
  struct Case {
    const char* name;
    std::vector<PlannedReset> planned;
    std::optional<Date> horizon;
  } cases[] = {
      {"session reset at 15:00", {planned(Scope::session, at(3))}, at(3)},
      {"week reset does not cover the session", {planned(Scope::week, at(3))}, std::nullopt},
      {"earliest of two", {planned(Scope::all, at(3)), planned(Scope::all, at(2))}, at(2)},
      {"at the window's own reset", {planned(Scope::all, at(6))}, std::nullopt},
      {"at now", {planned(Scope::all, at(0))}, std::nullopt},
      {"in the past", {planned(Scope::all, at(-1))}, std::nullopt},
      {"nothing planned", {}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ((ResetPlan{c.planned, 0}.horizon(session, at(0))), c.horizon) << c.name;

  UsageWindow unknownReset = session;
  unknownReset.resetsAt.reset();
  EXPECT_FALSE((ResetPlan{{planned(Scope::all, at(1))}, 0}.horizon(unknownReset, at(0))));
}

TEST(ResetPlanTest, PruningKeepsADayOfPastResetsAndSortsStably) {
  auto dayOld = planned(Scope::all, at(-24));
  auto almostDayOld = planned(Scope::week, addSeconds(at(-24), 1));
  auto late = planned(Scope::all, at(5), "late");
  auto tieFirst = planned(Scope::session, at(2), "first");
  auto tieSecond = planned(Scope::week, at(2), "second");
  ResetPlan plan{{late, dayOld, tieFirst, almostDayOld, tieSecond}, 3};
  ResetPlan pruned = plan.pruned(at(0));
  EXPECT_EQ(pruned, (ResetPlan{{almostDayOld, tieFirst, tieSecond, late}, 3}));
  EXPECT_EQ(plan.planned.size(), 5u);
}

class ResetPlanStoreTest : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path url = dir / "nested/data/reset-plan.json";
  ResetPlanStore store{url};
};

TEST_F(ResetPlanStoreTest, SavedPlanLoadsBackWithWholeSeconds) {
  ResetPlan plan{
      {planned(Scope::session, addSeconds(at(-1.75), 0.75), "before the demo / talk"), planned(Scope::week, at(30))},
      2};
  ASSERT_FALSE(store.save(plan));
  ResetPlan loaded = store.load();
  ResetPlan expected = plan;
  expected.planned[0].date = at(-1.75);  // 10:15:00.750 is saved as 10:15:00
  EXPECT_EQ(loaded, expected);
}

TEST_F(ResetPlanStoreTest, FileIsPrettySortedWithEscapedSlashes) {
  auto entry = planned(Scope::all, at(3), "a/b");
  ASSERT_FALSE(store.save(ResetPlan{{entry}, 1}));
  std::string text = test::readText(url);
  EXPECT_NE(text.find("\n  \"banked\": 1,\n  \"planned\": ["), std::string::npos) << text;
  EXPECT_NE(text.find("\"a\\/b\""), std::string::npos) << text;
  json element = json::parse(text)["planned"][0];
  EXPECT_EQ(element,
            (json{{"date", "2026-03-01T15:00:00Z"}, {"id", entry.id.string()}, {"note", "a/b"}, {"scope", "all"}}));
  auto date = text.find("\"date\""), id = text.find("\"id\""), note = text.find("\"note\""),
       scope = text.find("\"scope\"");
  EXPECT_TRUE(date < id && id < note && note < scope) << text;
}

TEST_F(ResetPlanStoreTest, ReadsDatesAndIdentifiersLeniently) {
  test::writeText(url, R"({"banked": 0, "planned": [
    {"date": "2026-03-01T15:00:00.500Z", "id": "0f8fad5b-d9cb-469f-a165-70867728950e", "note": "", "scope": "week"},
    {"date": "2026-03-01T16:00:00+02:00", "id": "1F8FAD5B-D9CB-469F-A165-70867728950E", "note": "x\/y", "scope": "all"}
  ], "future": true})");
  ResetPlan loaded = store.load();
  ASSERT_EQ(loaded.planned.size(), 2u);
  EXPECT_EQ(loaded.planned[0].date, addSeconds(at(3), 0.5));
  EXPECT_EQ(loaded.planned[0].id.string(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
  EXPECT_EQ(loaded.planned[1].date, at(2));
  EXPECT_EQ(loaded.planned[1].note, "x/y");
}

TEST_F(ResetPlanStoreTest, AnythingMalformedLoadsAsAnEmptyPlan) {
  const std::string entry =
      R"({"date":"2026-03-01T15:00:00Z","id":"0F8FAD5B-D9CB-469F-A165-70867728950E","note":"","scope":"all"})";
  const std::string cases[] = {
      "",
      "not json",
      "[]",
      R"({"planned":[]})",
      R"({"banked":1.5,"planned":[]})",
      R"({"banked":"2","planned":[]})",
      R"({"banked":18446744073709551615,"planned":[]})",
      R"({"banked":1,"planned":{}})",
      R"({"banked":1,"planned":[)" + entry +
          R"(,{"date":"2026-03-01T15:00:00Z","id":"0F8FAD5B-D9CB-469F-A165-70867728950E","note":"","scope":"daily"}]})",
      R"({"banked":1,"planned":[{"date":"2026-03-01T15:00:00Z","id":"not-a-uuid","note":"","scope":"all"}]})",
      R"({"banked":1,"planned":[{"date":"2026-03-01 15:00:00","id":"0F8FAD5B-D9CB-469F-A165-70867728950E","note":"","scope":"all"}]})",
      R"({"banked":1,"planned":[{"date":"2026-03-01T15:00:00Z","id":"0F8FAD5B-D9CB-469F-A165-70867728950E","scope":"all"}]})",
      R"({"banked":1,"planned":[)" + entry,
  };
  std::error_code problem;
  EXPECT_EQ(store.load(), ResetPlan{});  // no file at all
  EXPECT_EQ(store.load(problem), ResetPlan{});
  EXPECT_EQ(problem, std::error_code()) << "a missing file is no problem";
  for (const auto& text : cases) {
    test::writeText(url, text);
    EXPECT_EQ(store.load(), ResetPlan{}) << text;
    EXPECT_EQ(store.load(problem), ResetPlan{}) << text;
    EXPECT_EQ(problem, text.empty() ? std::error_code() : FileError::malformed) << text;
  }
  test::writeText(url, R"({"banked":1,"planned":[)" + entry + "]}");
  EXPECT_EQ(store.load().planned.size(), 1u);
  EXPECT_EQ(store.load(problem).planned.size(), 1u);
  EXPECT_EQ(problem, std::error_code());
}

TEST_F(ResetPlanStoreTest, ResetsNoCalendarCanShowAreNotPlanned) {
  auto entry = [](const char* date) {
    return std::string(R"({"date":")") + date +
           R"(","id":"0F8FAD5B-D9CB-469F-A165-70867728950E","note":"","scope":"all"})";
  };
  test::writeText(url, R"({"banked":3,"planned":[)" + entry("1969-12-31T23:59:59Z") + "," +
                           entry("0000-01-01T00:00:00Z") + "," + entry("2026-03-01T15:00:00Z") + "]}");
  ResetPlan loaded = store.load();
  EXPECT_EQ(loaded.banked, 3);
  ASSERT_EQ(loaded.planned.size(), 1u);
  EXPECT_EQ(loaded.planned[0].date, at(3));
}

TEST_F(ResetPlanStoreTest, UnreadableFileIsKeptAsideBeforeTheFirstSave) {
  const std::string damaged = R"({"banked": 4, "planned": [{"date": "tomorrow"}]})";
  test::writeText(store.keptAsideUrl(), "an older damaged copy");
  test::writeText(url, damaged);
  ASSERT_EQ(store.load(), ResetPlan{});

  ResetPlan plan{{planned(Scope::all, at(3))}, 1};
  ASSERT_FALSE(store.save(plan));
  EXPECT_EQ(test::readText(store.keptAsideUrl()), damaged);
  EXPECT_EQ(store.load(), plan);

  // A readable file is simply replaced; the copy aside stays as it was.
  plan.banked = 0;
  ASSERT_FALSE(store.save(plan));
  EXPECT_EQ(test::readText(store.keptAsideUrl()), damaged);
  EXPECT_EQ(store.load(), plan);
}

TEST_F(ResetPlanStoreTest, WhatCannotBeReadAtAllIsMovedAside) {
  fs::create_directories(url / "inside");
  ASSERT_FALSE(store.save(ResetPlan{{}, 2}));
  EXPECT_TRUE(fs::is_directory(store.keptAsideUrl() / "inside"));
  EXPECT_EQ(store.load().banked, 2);
}

TEST_F(ResetPlanStoreTest, SaveCreatesFoldersAndReportsFailures) {
  ASSERT_FALSE(store.save(ResetPlan{}));
  EXPECT_TRUE(fs::is_regular_file(url));
  EXPECT_EQ(std::distance(fs::directory_iterator(url.parent_path()), fs::directory_iterator()), 1);
  EXPECT_FALSE(fs::exists(store.keptAsideUrl()));

  test::writeText(dir / "file", "x");
  ResetPlanStore blocked(dir / "file/reset-plan.json");
  EXPECT_TRUE(blocked.save(ResetPlan{}));
  EXPECT_EQ(test::readText(dir / "file"), "x");
}

}  // namespace
}  // namespace ovel
