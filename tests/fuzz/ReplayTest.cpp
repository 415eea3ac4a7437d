// Replays every seed and every kept finding through its fuzz target, so a
// fault the fuzzers once found stays found without a fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "FuzzTarget.h"
#include "core/support/FileIO.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;

// Kept inputs are small, as libFuzzer makes them.
constexpr std::uint64_t kInputLimit = std::uint64_t{1} << 30;

const fs::path kFuzzFolder = OVEL_FUZZ_FOLDER;

std::vector<fs::path> inputsOf(const std::string& target) {
  std::vector<fs::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kFuzzFolder / kind / target, error))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

class FuzzReplayTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzReplayTest, SeedsAndFindingsPass) {
  std::vector<fs::path> inputs = inputsOf(GetParam());
  EXPECT_FALSE(inputs.empty()) << "no seeds for " << GetParam();
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.string());
    auto bytes = readWholeFile(input, kInputLimit);
    ASSERT_TRUE(bytes);
    fuzz::targets().at(GetParam())(*bytes);  // a broken check aborts the test
  }
}

std::vector<std::string> targetNames() {
  std::vector<std::string> names;
  for (const auto& [name, run] : fuzz::targets()) names.push_back(name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplayTest, ::testing::ValuesIn(targetNames()),
                         [](const auto& info) { return info.param; });

// Every target has a folder of seeds, and nothing else lies there.
TEST(FuzzTargetsTest, CorpusFoldersMatchTheTargets) {
  std::vector<std::string> folders;
  for (const auto& entry : fs::directory_iterator(kFuzzFolder / "corpus")) folders.push_back(entry.path().filename());
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, targetNames());
}

}  // namespace
}  // namespace ovel
