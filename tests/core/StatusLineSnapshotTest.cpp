// Taking the rate limits out of Claude Code's status-line input, turning
// them into readings, and storing them as statusline.json.
#include <gtest/gtest.h>

#include "core/claude/StatusLineSnapshot.h"
#include "support/TestSupport.h"

namespace ovel {

void PrintTo(const StatusLineSnapshot& snapshot, std::ostream* out) { *out << snapshot.encoded(); }

namespace {

namespace fs = std::filesystem;
using Limit = StatusLineSnapshot::Limit;
using test::TempDir;

constexpr double kT0 = 1767225600;  // 2026-01-01T00:00:00Z
const Date kNow = dateFromSeconds1970(kT0 + 0.25);

// Shaped like a real refresh: far more than the rate limits, including a
// context window with a used percentage of its own.
constexpr const char* kFullPayload = R"({
  "hook_event_name": "Status",
  "session_id": "5f0c2a9e-77d1-4c1e-9a51-2b7e0d3c9f10",
  "transcript_path": "/home/ann/.claude/projects/-home-ann-ovel/5f0c2a9e.jsonl",
  "cwd": "/home/ann/ovel",
  "model": {"id": "claude-sonnet-4-5", "display_name": "Sonnet"},
  "workspace": {"current_dir": "/home/ann/ovel", "project_dir": "/home/ann/ovel", "added_dirs": []},
  "version": "2.1.7",
  "output_style": {"name": "default"},
  "cost": {"total_cost_usd": 0.4821, "total_duration_ms": 913000, "total_lines_added": 12},
  "context_window": {"context_window_size": 200000, "used_percentage": 61, "current_usage": {"input_tokens": 9}},
  "exceeds_200k_tokens": false,
  "rate_limits": {
    "five_hour": {"used_percentage": 37.25, "resets_at": 1767240000},
    "seven_day": {"used_percentage": 104, "resets_at": 1767600000}
  },
  "vim": {"mode": "INSERT"}
})";

// An API-key user, or the first refresh of a session: no rate limits.
constexpr const char* kPayloadWithoutLimits = R"({
  "session_id": "a1", "version": "2.1.7", "model": {"id": "claude-opus-4-1"},
  "context_window": {"used_percentage": 12, "context_window_size": 200000}
})";

StatusLineSnapshot snapshot(std::optional<Limit> fiveHour, std::optional<Limit> sevenDay,
                            std::optional<std::string> sessionID = std::nullopt,
                            std::optional<std::string> version = std::nullopt) {
  return {kT0 + 0.25, {fiveHour, sevenDay}, std::move(sessionID), std::move(version)};
}

TEST(StatusLineSnapshotTest, TakesOnlyTheRateLimitsFromTheInput) {
  const Limit session42{42, 1767243600};
  struct Case {
    std::string input;
    std::optional<StatusLineSnapshot> expected;
  } cases[] = {
      {R"({"rate_limits":{"five_hour":{"used_percentage":42,"resets_at":1767243600}}})", snapshot(session42, {})},
      {R"({"rate_limits":{"seven_day":{"used_percentage":13}}})", snapshot({}, Limit{13, {}})},
      {R"({"rate_limits":{"five_hour":{"used_percentage":104.5}}})", snapshot(Limit{104.5, {}}, {})},
      {R"({"rate_limits":{"five_hour":{"used_percentage":-3}}})", snapshot(Limit{-3, {}}, {})},
      // A window with only a reset time is kept, but does not make a snapshot.
      {R"({"rate_limits":{"five_hour":{"resets_at":1767243600},"seven_day":{"used_percentage":13}},"session_id":"s/1","version":"2.0.1"})",
       snapshot(Limit{{}, 1767243600}, Limit{13, {}}, "s/1", "2.0.1")},
      {R"({"rate_limits":{"five_hour":{"resets_at":1767243600}}})", std::nullopt},
      {R"({"rate_limits":{"five_hour":{},"seven_day":null}})", std::nullopt},
      // Unread keys do not matter, at any level and of any type.
      {R"({"model":{"id":"x"},"observed_at":"now","rate_limits":{"five_hour":{"used_percentage":42,"resets_at":1767243600,"extra":[1,{"a":null}]},"other":true},"session_id":null})",
       snapshot(session42, {})},
      {kFullPayload,
       snapshot(Limit{37.25, 1767240000}, Limit{104, 1767600000}, "5f0c2a9e-77d1-4c1e-9a51-2b7e0d3c9f10", "2.1.7")},
      {kPayloadWithoutLimits, std::nullopt},
      {R"({"rate_limits":null})", std::nullopt},
      {"{}", std::nullopt},
      // A wrong type on any key that is read spoils the whole input.
      {R"({"rate_limits":{"five_hour":{"used_percentage":42}},"session_id":7})", std::nullopt},
      {R"({"rate_limits":{"five_hour":{"used_percentage":42}},"version":true})", std::nullopt},
      {R"({"rate_limits":{"five_hour":{"used_percentage":"42"}}})", std::nullopt},
      {R"({"rate_limits":{"five_hour":{"used_percentage":42,"resets_at":"2026-03-20T15:00:00Z"}}})", std::nullopt},
      {R"({"rate_limits":{"five_hour":5}})", std::nullopt},
      {R"({"rate_limits":{"five_hour":{"used_percentage":[42]}}})", std::nullopt},
      {R"({"rate_limits":[]})", std::nullopt},
      // A reset time no calendar can show counts as absent.
      {R"({"rate_limits":{"five_hour":{"used_percentage":5,"resets_at":1e300}}})", snapshot(Limit{5, {}}, {})},
      {R"({"rate_limits":{"five_hour":{"used_percentage":5,"resets_at":-1}}})", snapshot(Limit{5, {}}, {})},
      {R"({"rate_limits":{"five_hour":{"used_percentage":5,"resets_at":253402300800}}})", snapshot(Limit{5, {}}, {})},
      {R"({"rate_limits":{"five_hour":{"used_percentage":5,"resets_at":253402300799}}})",
       snapshot(Limit{5, 253402300799}, {})},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusLineSnapshot::fromStatusLineInput(c.input, kNow), c.expected) << c.input;
}

TEST(StatusLineSnapshotTest, MalformedInputGivesNothing) {
  const std::string valid = R"({"rate_limits":{"five_hour":{"used_percentage":42}}})";
  const std::string cases[] = {
      "",
      " \n\t ",
      "[]",
      "42",
      "not json",
      valid.substr(0, valid.size() - 2),         // truncated
      valid + "x",                               // trailing text
      valid + std::string(1, '\0') + "garbage",  // a NUL byte ends no JSON text
      R"({"rate_limits":{"five_hour":{"used_percentage":42}},"cwd":"/home/ann/caf)"
      "\xE9"
      R"("})",                    // Latin-1
      std::string(5 << 20, '{'),  // 5 MB, never closed
      R"({"rate_limits":{"five_hour":{"used_percentage":42}} // comment
})",
  };
  for (const auto& input : cases)
    EXPECT_FALSE(StatusLineSnapshot::fromStatusLineInput(input, kNow)) << input.substr(0, 80);
}

TEST(StatusLineSnapshotTest, DeepValuesUnderUnreadKeysAreSkippedCheaply) {
  std::string nesting(1 << 20, '[');
  std::string input = R"({"rate_limits":{"seven_day":{"used_percentage":13}},"padding":)" + nesting +
                      std::string(nesting.size(), ']') + "}";
  EXPECT_EQ(StatusLineSnapshot::fromStatusLineInput(input, kNow), snapshot({}, Limit{13, {}}));
}

TEST(StatusLineSnapshotTest, WindowsAreSessionThenWeek) {
  auto taken = StatusLineSnapshot::fromStatusLineInput(kFullPayload, kNow);
  ASSERT_TRUE(taken);
  auto windows = taken->windows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0],
            (UsageWindow{WindowKind::session(), 37.25, dateFromSeconds1970(1767240000), kNow, DataSource::statusLine}));
  EXPECT_EQ(windows[1],
            (UsageWindow{WindowKind::week(), 104, dateFromSeconds1970(1767600000), kNow, DataSource::statusLine}));

  auto weekOnly = snapshot(Limit{{}, 1767243600}, Limit{13, {}}).windows();
  ASSERT_EQ(weekOnly.size(), 1u);
  EXPECT_EQ(weekOnly[0].kind, WindowKind::week());
  EXPECT_FALSE(weekOnly[0].resetsAt);
  EXPECT_TRUE(snapshot({}, {}).windows().empty());
}

TEST(StatusLineSnapshotTest, FileBytesAreCompactSortedAndEscaped) {
  StatusLineSnapshot stored{kT0 + 0.5, {Limit{{}, 1767243600}, Limit{13, {}}}, "s/1", "2.0.1"};
  EXPECT_EQ(stored.encoded(), R"({"observed_at":1767225600.5,"rate_limits":{"five_hour":{"resets_at":1767243600},)"
                              R"("seven_day":{"used_percentage":13}},"session_id":"s\/1","version":"2.0.1"})");
  StatusLineSnapshot empty{kT0, {Limit{}, std::nullopt}, {}, {}};
  EXPECT_EQ(empty.encoded(), R"({"observed_at":1767225600,"rate_limits":{"five_hour":{}}})");
}

TEST(StatusLineSnapshotTest, ReadingNeedsObservedAtAndRateLimits) {
  struct Case {
    const char* bytes;
    std::optional<StatusLineSnapshot> expected;
  } cases[] = {
      {R"({"observed_at":1767225600.25,"rate_limits":{"seven_day":{"used_percentage":13}}})",
       snapshot({}, Limit{13, {}})},
      {R"({"observed_at":1767225600.25,"rate_limits":{},"session_id":null,"version":"2","later":1})",
       snapshot({}, {}, {}, "2")},
      {R"({"rate_limits":{"seven_day":{"used_percentage":13}}})", std::nullopt},
      {R"({"observed_at":"1","rate_limits":{}})", std::nullopt},
      {R"({"observed_at":null,"rate_limits":{}})", std::nullopt},
      {R"({"observed_at":1767225600.25})", std::nullopt},
      {R"({"observed_at":1e300,"rate_limits":{}})", std::nullopt},
      {R"({"observed_at":1767225600.25,"rate_limits":{"seven_day":{"used_percentage":13,"resets_at":-5}}})",
       snapshot({}, Limit{13, {}})},
      {R"({"observed_at":1767225600.25,"rate_limits":null})", std::nullopt},
      {R"({"observed_at":1767225600.25,"rate_limits":{"seven_day":{"used_percentage":"13"}}})", std::nullopt},
      {"", std::nullopt},
      {"[{}]", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusLineSnapshot::decoded(c.bytes), c.expected) << c.bytes;
}

TEST(StatusLineSnapshotTest, WriteThenReadGivesTheSameSnapshot) {
  TempDir dir;
  fs::path file = dir / "not-yet/ovel/statusline.json";
  StatusLineSnapshot stored{1767225600.123456, {Limit{33.333333333333336, 1767243600}, Limit{0.1, 1e10}}, "id", {}};
  ASSERT_FALSE(stored.write(file));
  EXPECT_EQ(StatusLineSnapshot::read(file), stored);
  EXPECT_EQ(test::readText(file), stored.encoded());
  EXPECT_FALSE(StatusLineSnapshot::read(dir / "missing.json"));
  EXPECT_FALSE(StatusLineSnapshot::read(dir.path()));

  // Why nothing was read.
  const struct {
    fs::path file;
    std::error_code error;
  } cases[] = {
      {file, {}},
      {dir / "missing.json", std::make_error_code(std::errc::no_such_file_or_directory)},
      {dir.path(), std::make_error_code(std::errc::is_a_directory)},
      {dir / "garbage.json", FileError::malformed},
  };
  test::writeText(dir / "garbage.json", "{\"observed_at\":");
  for (const auto& c : cases) {
    std::error_code error = std::make_error_code(std::errc::io_error);
    EXPECT_EQ(StatusLineSnapshot::read(c.file, error).has_value(), !c.error) << c.file;
    EXPECT_EQ(error, c.error) << c.file;
  }
}

TEST(StatusLineSnapshotTest, FailedWriteLeavesNothingBehind) {
  TempDir dir;
  // A file where the data directory should be: works the same as root.
  test::writeText(dir / "blocker", "x");
  EXPECT_TRUE(snapshot({}, Limit{13, {}}).write(dir / "blocker/statusline.json"));
  EXPECT_EQ(test::readText(dir / "blocker"), "x");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace ovel
