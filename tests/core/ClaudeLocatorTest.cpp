// Finding the claude program: the search path and the override rule.
#include "core/claude/ClaudeLocator.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <set>

#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

constexpr const char* kElevenEntries =
    "/Users/a/.local/bin:/Users/a/.claude/local:/opt/homebrew/bin:/usr/local/bin:/Users/a/.npm-global/bin:"
    "/Users/a/.bun/bin:/Users/a/.volta/bin:/usr/bin:/bin:/usr/sbin:/sbin";

TEST(ClaudeLocatorTest, CandidatesAppendSuffixesToTheHomeAsWritten) {
  EXPECT_EQ(ClaudeLocator::candidateDirectories("/Users/a/"),
            (std::vector<std::string>{"/Users/a//.local/bin", "/Users/a//.claude/local", "/opt/homebrew/bin",
                                      "/usr/local/bin", "/Users/a//.npm-global/bin", "/Users/a//.bun/bin",
                                      "/Users/a//.volta/bin"}));
}

TEST(ClaudeLocatorTest, SearchPathPutsInheritedFoldersFirstWithoutRepeats) {
  struct Case {
    std::optional<std::string> inherited;
    std::string home;
    std::string expected;
  } cases[] = {
      {std::nullopt, "/Users/a", kElevenEntries},
      {"", "/Users/a", kElevenEntries},
      {":::", "/Users/a", kElevenEntries},
      {"/usr/bin::/opt/homebrew/bin", "/Users/a",
       "/usr/bin:/opt/homebrew/bin:/Users/a/.local/bin:/Users/a/.claude/local:/usr/local/bin:"
       "/Users/a/.npm-global/bin:/Users/a/.bun/bin:/Users/a/.volta/bin:/bin:/usr/sbin:/sbin"},
      // No normalisation: a trailing slash makes another entry.
      {"/usr/bin/:.", "/Users/a", "/usr/bin/:.:" + std::string(kElevenEntries)},
      {"/x:/x:/sbin", "/h",
       "/x:/sbin:/h/.local/bin:/h/.claude/local:/opt/homebrew/bin:/usr/local/bin:"
       "/h/.npm-global/bin:/h/.bun/bin:/h/.volta/bin:/usr/bin:/bin:/usr/sbin"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClaudeLocator::searchPath(c.inherited, c.home), c.expected) << c.inherited.value_or("(absent)");
  EXPECT_TRUE(ClaudeLocator::searchPath(std::nullopt, "/Users/a/")
                  .starts_with("/Users/a//.local/bin:/Users/a//.claude/local:"));
}

TEST(ClaudeLocatorTest, LocatesByOverrideOrFirstExecutableAlongThePath) {
  const std::string home = "/home/h";
  ScopedEnv homeEnv("HOME", home);
  struct Case {
    std::optional<std::string> override;
    std::optional<std::string> path;
    std::set<std::string> executables;
    std::optional<std::string> expected;
  } cases[] = {
      // A set override is final, found or not.
      {"~/bin/claude", std::nullopt, {home + "/bin/claude"}, home + "/bin/claude"},
      {"~/bin/claude", std::nullopt, {"/usr/local/bin/claude"}, std::nullopt},
      {"/opt/claude", "/x", {"/x/claude"}, std::nullopt},
      {"/opt/claude", std::nullopt, {"/opt/claude"}, "/opt/claude"},
      // An empty override is none.
      {"", std::nullopt, {"/usr/local/bin/claude"}, "/usr/local/bin/claude"},
      {std::nullopt, "", {home + "/.local/bin/claude", "/usr/local/bin/claude"}, home + "/.local/bin/claude"},
      {std::nullopt, "/x", {"/x/claude", home + "/.local/bin/claude"}, "/x/claude"},
      {std::nullopt, "/nowhere", {"/usr/bin/claude", "/usr/local/bin/claude"}, "/usr/local/bin/claude"},
      {std::nullopt, "/nowhere", {"/sbin/claude"}, "/sbin/claude"},
      {std::nullopt, "/nowhere", {"/nowhere"}, std::nullopt},
  };
  for (const auto& c : cases) {
    ScopedEnv pathEnv("PATH", c.path);
    std::vector<std::string> tested;
    auto isExecutable = [&](const std::string& path) {
      tested.push_back(path);
      return c.executables.count(path) > 0;
    };
    auto found = ClaudeLocator::locate(c.override, isExecutable);
    std::string label = c.override.value_or("(none)") + " / PATH " + c.path.value_or("(unset)");
    EXPECT_EQ(found ? std::optional(found->string()) : std::nullopt, c.expected) << label;
    // One test per folder, stopping at the first hit.
    std::set<std::string> distinct(tested.begin(), tested.end());
    EXPECT_EQ(distinct.size(), tested.size()) << label;
    if (found) { EXPECT_EQ(tested.back(), found->string()) << label; }
  }
}

TEST(ClaudeLocatorTest, ExecutableMeansARegularFileWithAnExecuteBit) {
  TempDir dir;
  auto make = [&](const char* name, mode_t mode) {
    fs::path path = dir / name;
    test::writeText(path, "#!/bin/sh\n");
    ::chmod(path.c_str(), mode);
    return path.string();
  };
  std::string runnable = make("runnable", 0755), plain = make("plain", 0644);
  fs::create_directory(dir / "folder");
  // Checked with the real test, so this also holds for root, who may
  // execute only what has an execute bit.
  EXPECT_TRUE(ClaudeLocator::isExecutableFile(runnable));
  EXPECT_FALSE(ClaudeLocator::isExecutableFile(plain));
  EXPECT_FALSE(ClaudeLocator::isExecutableFile((dir / "folder").string()));
  EXPECT_FALSE(ClaudeLocator::isExecutableFile((dir / "missing").string()));
  EXPECT_EQ(ClaudeLocator::locate(runnable), fs::path(runnable));
  EXPECT_EQ(ClaudeLocator::locate(plain), std::nullopt);

  // A folder named claude early in PATH is passed over.
  fs::create_directories(dir / "early/claude");
  fs::create_directories(dir / "late");
  fs::copy_file(runnable, dir / "late/claude");
  ScopedEnv pathEnv("PATH", (dir / "early").string() + ":" + (dir / "late").string());
  EXPECT_EQ(ClaudeLocator::locate(std::nullopt), dir / "late/claude");
}

}  // namespace
}  // namespace ovel
