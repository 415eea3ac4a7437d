// Several Claude Code sessions refresh at once: every relay replaces
// statusline.json whole, and a reader never sees a torn or mixed file.
#include <atomic>
#include <charconv>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RelayProcess.h"
#include "core/support/FileIO.h"

namespace ovel {
namespace {

using test::Relay;
using test::TempDir;

constexpr int kRelays = 32;
constexpr int kRunsEach = 100;

std::string numberText(int value) {
  char digits[16];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// Each run reports its own figures: the session at n, the week at n + 1000,
// so a file mixed from two runs shows.
std::string refresh(int n) {
  return R"({"session_id":"relay-)" + numberText(n) + R"(","rate_limits":{"five_hour":{"used_percentage":)" +
         numberText(n) + R"(,"resets_at":1767243600},"seven_day":{"used_percentage":)" + numberText(n + 1000) +
         R"(,"resets_at":1767600000}},"context_window":{"used_percentage":50},"version":"2.3.1"})";
}

bool isOneRunsWhole(const StatusLineSnapshot& snapshot) {
  const auto& limits = snapshot.rateLimits;
  if (!limits.fiveHour || !limits.sevenDay || !limits.fiveHour->usedPercentage) return false;
  double n = *limits.fiveHour->usedPercentage;
  return limits.sevenDay->usedPercentage == n + 1000 &&
         snapshot.sessionID == "relay-" + numberText(static_cast<int>(n));
}

TEST(RelayStressTest, ConcurrentRelaysNeverLeaveATornSnapshot) {
  TempDir home;
  const auto file = test::snapshotFile(home.path());
  test::writeText(file, StatusLineSnapshot::fromStatusLineInput(refresh(0), systemNow())->encoded());

  std::atomic<bool> writing{true};
  std::atomic<int> reads{0}, badReads{0}, badRuns{0};
  std::thread reader([&] {
    std::string bytes;
    while (writing) {
      std::error_code error = readWholeFile(file, bytes, StatusLineSnapshot::kFileSizeLimit);
      auto snapshot = error ? std::nullopt : StatusLineSnapshot::decoded(bytes);
      if (!snapshot || !isOneRunsWhole(*snapshot)) ++badReads;
      ++reads;
    }
  });
  std::vector<std::thread> relays;
  for (int relay = 0; relay < kRelays; ++relay)
    relays.emplace_back([&, relay] {
      for (int run = 0; run < kRunsEach; ++run) {
        int n = 1 + relay * kRunsEach + run;
        auto result = Relay(home.path()).run({}, refresh(n));
        if (result.status != 0 || result.output.find("5h " + numberText(n) + "%") != 0) ++badRuns;
      }
    });
  for (auto& relay : relays) relay.join();
  writing = false;
  reader.join();

  EXPECT_EQ(badRuns, 0);
  EXPECT_EQ(badReads, 0) << "of " << reads << " reads";
  EXPECT_GT(reads, 0);
  auto last = StatusLineSnapshot::read(file);
  ASSERT_TRUE(last);
  EXPECT_TRUE(isOneRunsWhole(*last));
  EXPECT_EQ(test::namesIn(home.path()), std::vector<std::string>{"statusline.json"});
}

}  // namespace
}  // namespace ovel
