// Time texts, the data directory, the JSON writer and file writes.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "core/engine/Activity.h"
#include "core/engine/OvelPaths.h"
#include "core/support/FileIO.h"
#include "core/support/JsonWriter.h"
#include "core/support/Time.h"
#include "support/OddFiles.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::refusalOf;
using test::ScopedEnv;
using test::TempDir;

TEST(TimeTest, IsoStringIsWholeSecondsUtc) {
  EXPECT_EQ(isoString(dateFromSeconds1970(0)), "1970-01-01T00:00:00Z");
  EXPECT_EQ(isoString(dateFromSeconds1970(86400.999)), "1970-01-02T00:00:00Z");
  EXPECT_EQ(isoString(dateFromSeconds1970(-0.5)), "1969-12-31T23:59:59Z");
  EXPECT_EQ(isoString(dateFromSeconds1970(1781049600)), "2026-06-10T00:00:00Z");
}

TEST(TimeTest, ParsesIsoDatesLeniently) {
  struct Case {
    const char* text;
    std::optional<double> seconds;
  } cases[] = {
      {"1970-01-02T00:00:00Z", 86400},
      {"1970-01-02T00:00:00.250Z", 86400.25},
      {"1970-01-02T02:00:00+02:00", 86400},
      {"1970-01-01T19:00:00-05:00", 86400},
      {"1970-01-02T02:00:00+0200", 86400},
      {"1970-01-02T00:00:00", std::nullopt},
      {"1970-13-02T00:00:00Z", std::nullopt},
      {"1970-02-30T00:00:00Z", std::nullopt},
      {"1970-01-02T00:00:00.Z", std::nullopt},
      {"1970-01-02 00:00:00Z", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    auto parsed = parseIsoDate(c.text);
    ASSERT_EQ(parsed.has_value(), c.seconds.has_value()) << c.text;
    if (parsed) { EXPECT_DOUBLE_EQ(secondsSince1970(*parsed), *c.seconds) << c.text; }
  }
}

class OvelPathsTest : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path().string()};
  ScopedEnv dataEnv{"XDG_DATA_HOME", std::nullopt};
  ScopedEnv ovelEnv{"OVEL_HOME", std::nullopt};
};

TEST_F(OvelPathsTest, DefaultRootIsDataHomeOvel) {
  EXPECT_EQ(OvelPaths::root(), home.path() / ".local/share/Ovel");
  EXPECT_EQ(OvelPaths::history(), home.path() / ".local/share/Ovel/history.jsonl");
  EXPECT_EQ(OvelPaths::bridgeExecutable(), home.path() / ".local/share/Ovel/bin/ovel-bridge");
  ScopedEnv relativeData("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(OvelPaths::root(), home.path() / ".local/share/Ovel");
  ScopedEnv absoluteData("XDG_DATA_HOME", "/srv/data");
  EXPECT_EQ(OvelPaths::root(), fs::path("/srv/data/Ovel"));
}

TEST_F(OvelPathsTest, OvelHomeIsTheRootItself) {
  {
    ScopedEnv ovel("OVEL_HOME", "~/x");
    EXPECT_EQ(OvelPaths::root(), fs::path(home.path().string() + "/x"));
  }
  {
    ScopedEnv ovel("OVEL_HOME", "");
    EXPECT_EQ(OvelPaths::root(), home.path() / ".local/share/Ovel");
  }
  ScopedEnv ovel("OVEL_HOME", "/a");
  EXPECT_EQ(OvelPaths::resetPlan(), fs::path("/a/reset-plan.json"));
  ::setenv("OVEL_HOME", "/b", 1);
  EXPECT_EQ(OvelPaths::statusLineSnapshot(), fs::path("/b/statusline.json"));
  OvelPaths::setRootOverride(fs::path("/override"));
  EXPECT_EQ(OvelPaths::integrationRecord(), fs::path("/override/integration.json"));
  OvelPaths::setRootOverride(std::nullopt);
}

TEST_F(OvelPathsTest, ProbeFolderIsCreatedAndEnsureRootReportsErrors) {
  ScopedEnv ovel("OVEL_HOME", (home.path() / "data").string());
  EXPECT_TRUE(fs::is_directory(OvelPaths::probeWorkingDirectory()));
  EXPECT_EQ(OvelPaths::probeWorkingDirectory(), home.path() / "data/probe");
  EXPECT_FALSE(OvelPaths::ensureRoot());

  test::writeText(home / "file", "x");
  ScopedEnv blocked("OVEL_HOME", (home.path() / "file/data").string());
  EXPECT_TRUE(OvelPaths::ensureRoot());
}

TEST(ExpandTildeTest, ExpandsHomeAndKnownUsers) {
  ScopedEnv homeEnv("HOME", "/h");
  EXPECT_EQ(expandTilde("~"), "/h");
  EXPECT_EQ(expandTilde("~/a/b"), "/h/a/b");
  EXPECT_EQ(expandTilde("/a/~"), "/a/~");
  EXPECT_EQ(expandTilde("~root/x"), "/root/x");
  EXPECT_EQ(expandTilde("~no-such-user-here/x"), "~no-such-user-here/x");
}

TEST(JsonWriterTest, LayoutsAndSortedKeys) {
  auto value = nlohmann::json::parse(R"({"b":{"z":1,"a":"/usr/bin"},"a":[1.5,2]})");
  EXPECT_EQ(writeJson(value, {}), R"({"a":[1.5,2],"b":{"a":"/usr/bin","z":1}})");
  EXPECT_EQ(writeJson(value, {.escapeSlashes = true}), R"({"a":[1.5,2],"b":{"a":"\/usr\/bin","z":1}})");
  EXPECT_EQ(writeJson(nlohmann::json::parse(R"({"k":"v"})"), {.pretty = true, .finalNewline = true}),
            "{\n  \"k\": \"v\"\n}\n");
}

TEST(JsonWriterTest, DoublesRoundTripAndBadTextIsDiscarded) {
  double value = 1760000000.123456;
  auto text = writeJson(nlohmann::json{{"t", value}, {"u", 2.5}}, {});
  EXPECT_EQ(parseJsonOrDiscarded(text)["t"].get<double>(), value);
  EXPECT_TRUE(parseJsonOrDiscarded("{truncated").is_discarded());
}

TEST(FileIOTest, AtomicWriteCreatesFoldersAndLeavesNoTemporaries) {
  TempDir dir;
  auto target = dir / "a/b/file.json";
  ASSERT_FALSE(writeFileAtomically(target, "one"));
  ASSERT_FALSE(writeFileAtomically(target, "two"));
  EXPECT_EQ(test::readText(target), "two");
  EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), fs::directory_iterator()), 1);
}

TEST(FileIOTest, AtomicWriteKeepsModeAndFollowsLinks) {
  TempDir dir;
  auto real = dir / "dotfiles/settings.json";
  test::writeText(real, "old");
  ::chmod(real.c_str(), 0600);
  fs::create_symlink("dotfiles/settings.json", dir / "settings.json");

  ASSERT_FALSE(writeFileAtomically(dir / "settings.json", "new", {.keepExistingMode = true, .followSymlink = true}));
  EXPECT_TRUE(fs::is_symlink(dir / "settings.json"));
  EXPECT_EQ(test::readText(real), "new");
  struct stat info {};
  ASSERT_EQ(::stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// Root editing a user's file must leave it the user's, or the user could no
// longer read it; anyone may keep a group of their own.
TEST(FileIOTest, AtomicWriteKeepsOwnerAndGroup) {
  uid_t owner = ::geteuid();
  gid_t group = ::getegid();
  if (::geteuid() == 0) {
    owner = group = 65534;
  } else {
    gid_t groups[256];
    int count = ::getgroups(256, groups);
    for (int index = 0; index < count; ++index)
      if (groups[index] != ::getegid()) group = groups[index];
    if (group == ::getegid()) GTEST_SKIP() << "no second group to give the file";
  }
  TempDir dir;
  auto path = dir / "settings.json";
  test::writeText(path, "old");
  ASSERT_EQ(::chown(path.c_str(), owner, group), 0);
  ::chmod(path.c_str(), 0640);
  ASSERT_FALSE(writeFileAtomically(path, "new", {.keepExistingMode = true}));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(test::readText(path), "new");
  EXPECT_EQ(info.st_uid, owner);
  EXPECT_EQ(info.st_gid, group);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(FileIOTest, AtomicWriteFailureKeepsTheOldFile) {
  TempDir dir;
  test::writeText(dir / "blocker", "x");
  EXPECT_TRUE(writeFileAtomically(dir / "blocker/inside.json", "data"));
  EXPECT_EQ(test::readText(dir / "blocker"), "x");
}

// A process id that no process can have: at or above the kernel's limit.
pid_t deadWriter() {
  std::string limit = test::readText("/proc/sys/kernel/pid_max");
  return static_cast<pid_t>(std::stol(limit));
}

TEST(FileIOTest, StaleTemporariesOfKilledWritersAreRemoved) {
  // Our own temporaries are never stale (a slow write of ours may be under
  // way): a writer that lives is our parent.
  const std::string dead = std::to_string(deadWriter()), alive = std::to_string(::getppid()),
                    ours = std::to_string(::getpid());
  const struct {
    std::string name;
    bool old;
    bool goesWithTheWrite;  // writing file.json removes it
    bool goesAtStart;       // the sweep of the whole folder removes it
  } cases[] = {
      {".file.json.tmp-" + dead + "-0-17", false, true, true},
      {".file.json.tmp-" + alive + "-0-17", false, false, false},
      {".file.json.tmp-" + alive + "-1-17", true, true, true},
      {".file.json.tmp-" + ours + "-2-17", true, false, false},
      {".other.json.tmp-" + dead + "-3-9", false, false, true},
      {".file.json.tmp-x-0-17", true, false, false},
      {".file.json.tmp-" + dead + "-0", true, false, false},
      {"file.json.tmp-" + dead + "-0-17", true, false, false},
      {"notes.txt", true, false, false},
  };
  for (bool sweep : {false, true}) {
    TempDir dir;
    for (const auto& c : cases) {
      test::writeText(dir / c.name, "partial");
      if (c.old) fs::last_write_time(dir / c.name, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    }
    if (sweep) removeStaleTemporaries(dir.path());
    else ASSERT_FALSE(writeFileAtomically(dir / "file.json", "whole"));
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(fs::exists(dir / c.name), !(sweep ? c.goesAtStart : c.goesWithTheWrite));
    }
  }
}

// A read-merge-write takes the file's place only while it holds what was
// read; whatever another writer did meanwhile is left as that writer left it.
TEST(FileIOTest, ReplacingWhatWasReadLeavesAnotherWritersFile) {
  enum class Meanwhile { nothing, rewrittenInPlace, replacedByRename, removed, created };
  const struct {
    const char* name;
    bool existed;  // a file was there when it was read
    Meanwhile meanwhile;
  } cases[] = {
      {"untouched", true, Meanwhile::nothing},
      {"rewritten in place, same size", true, Meanwhile::rewrittenInPlace},
      {"replaced by rename", true, Meanwhile::replacedByRename},
      {"removed", true, Meanwhile::removed},
      {"still missing", false, Meanwhile::nothing},
      {"created", false, Meanwhile::created},
  };
  for (bool exchange : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (exchange ? ", exchanged" : ", checked before the rename"));
      TempDir dir;
      const fs::path target = dir / "settings.json";
      std::optional<FileContents> found;
      if (c.existed) {
        test::writeText(target, "read");
        found.emplace();
        ASSERT_FALSE(readWholeFile(target, *found, 100));
      }
      std::optional<std::string> before;
      std::error_code error;
      {
        FileReplacement replacement(target);
        ASSERT_FALSE(replacement.write("merged"));
        switch (c.meanwhile) {
          case Meanwhile::nothing: break;
          case Meanwhile::rewrittenInPlace: {
            int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            ASSERT_FALSE(writeAll(fd, "othr"));
            ::close(fd);
            break;
          }
          case Meanwhile::replacedByRename:
          case Meanwhile::created: test::writeText(target, "other"); break;
          case Meanwhile::removed: fs::remove(target); break;
        }
        before = readWholeFile(target, 100);
        error = replacement.commitIfUnchanged(found, exchange);
      }
      if (c.meanwhile == Meanwhile::nothing) {
        EXPECT_FALSE(error) << error.message();
        EXPECT_EQ(readWholeFile(target, 100), "merged");
      } else {
        EXPECT_EQ(error, std::error_code(FileError::changed));
        EXPECT_EQ(readWholeFile(target, 100), before);
      }
      EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), before || !error ? 1 : 0)
          << "no temporary is left";
    }
  }
  EXPECT_EQ(std::error_code(FileError::changed).message(), "Changed by another program meanwhile");
}

TEST(FileIOTest, AppendStartsOnANewLineAndNeverCreates) {
  TempDir dir;
  auto path = dir / "lines";
  EXPECT_EQ(appendOnNewLine(path, "a\n"), std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_FALSE(fs::exists(path));
  test::writeText(path, "");
  ASSERT_FALSE(appendOnNewLine(path, "a\n"));
  ASSERT_FALSE(appendOnNewLine(path, "b\n"));
  test::writeText(path, test::readText(path) + "{\"torn");
  ASSERT_FALSE(appendOnNewLine(path, "c\n"));
  EXPECT_EQ(test::readText(path), "a\nb\n{\"torn\nc\n");
}

// Whole-file reads never wait and never take more than their limit.
TEST(FileIOTest, WholeFileReadsTakeRegularFilesWithinTheirLimitOnly) {
  TempDir dir;
  constexpr std::uint64_t kLimit = 1000;
  for (test::SpecialFile kind : test::kSpecialFiles) {
    fs::path path = dir / test::nameOf(kind);
    test::makeSpecialFile(path, kind, kLimit);
    test::returnsPromptly(
        dir.path(),
        [&] {
          std::string bytes = "left over";
          EXPECT_EQ(readWholeFile(path, bytes, kLimit), refusalOf(kind)) << test::nameOf(kind);
          EXPECT_EQ(bytes, "") << test::nameOf(kind);
        },
        std::string("reading ") + test::nameOf(kind));
  }
  const std::error_code notRegular = FileError::notRegularFile;
  std::string bytes;
  EXPECT_EQ(readWholeFile("/dev/null", bytes, kLimit), notRegular) << "a device";
  EXPECT_EQ(notRegular.message(), "Not a regular file");

  test::writeText(dir / "at the limit", std::string(kLimit, 'x'));
  EXPECT_EQ(readWholeFile(dir / "at the limit", kLimit), std::string(kLimit, 'x'));
  // A file that says it is empty and holds more, as those of /proc do.
  EXPECT_EQ(readWholeFile("/proc/self/status", bytes, 16), std::errc::file_too_large);
  EXPECT_FALSE(readWholeFile("/proc/self/status", bytes, kLimit * 1000));
  EXPECT_NE(bytes, "");
}

// Opening a device can do something of its own (a tape rewinds, a line
// hangs up) and some drivers wait in open() whatever the flags: reads and
// appends refuse what is not a regular file without opening it.
TEST(FileIOTest, WhatIsNotARegularFileIsNeverOpened) {
  TempDir dir;
  for (auto kind : {test::SpecialFile::fifo, test::SpecialFile::folder}) {
    SCOPED_TRACE(test::nameOf(kind));
    fs::path path = dir / test::nameOf(kind);
    test::makeSpecialFile(path, kind, 0);
    int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(opens, 0);
    ASSERT_GE(::inotify_add_watch(opens, path.c_str(), IN_OPEN), 0);
    std::string bytes;
    EXPECT_EQ(readWholeFile(path, bytes, 1000), refusalOf(kind));
    EXPECT_EQ(appendOnNewLine(path, "a\n"), refusalOf(kind));
    alignas(inotify_event) char events[4096];
    EXPECT_LT(::read(opens, events, sizeof events), 0) << "it was opened";
    ::close(opens);
  }
}

TEST(FileIOTest, AppendGoesOnlyIntoARegularFileAndNeverWaits) {
  TempDir dir;
  for (auto kind : {test::SpecialFile::fifo, test::SpecialFile::folder, test::SpecialFile::socket}) {
    fs::path path = dir / test::nameOf(kind);
    test::makeSpecialFile(path, kind, 0);
    // A FIFO would take a few kilobytes, then block the writer for good.
    test::returnsPromptly(
        dir.path(),
        [&] { EXPECT_EQ(appendOnNewLine(path, std::string(1 << 20, 'x')), refusalOf(kind)) << test::nameOf(kind); },
        std::string("appending to ") + test::nameOf(kind));
  }
  EXPECT_EQ(appendOnNewLine("/dev/null", "a\n"), std::error_code(FileError::notRegularFile));
}

TEST(ActivityTest, WeightsByFamily) {
  TokenCounts counts{1000, 200, 50000, 3000, 0};
  EXPECT_DOUBLE_EQ(counts.weight("claude-sonnet-4-5"), 10750);
  EXPECT_DOUBLE_EQ(counts.weight("claude-opus-4-1"), 10750 * 1.6666666666666667);
  EXPECT_DOUBLE_EQ(counts.weight("claude-3-5-haiku"), 10750 * 0.3333333333333333);
  EXPECT_DOUBLE_EQ(counts.weight("Claude-HAIKU-x"), counts.weight("claude-3-5-haiku"));
  EXPECT_DOUBLE_EQ(counts.weight("sonnet-haiku"), counts.weight("claude-3-5-haiku"));
  EXPECT_EQ(TokenCounts{}.total(), 0);
  EXPECT_EQ(TokenCounts{}.weight("unknown"), 0);
  EXPECT_DOUBLE_EQ((TokenCounts{0, 0, 0, 0, 10}.weight("opus")), 20 * 1.6666666666666667);
  EXPECT_EQ((TokenCounts{INT64_MAX, 1, 0, 0, 0}.total()), INT64_MAX);
}

TEST(ActivityTest, ProjectIsLastPathComponent) {
  struct Case {
    const char* cwd;
    const char* project;
  } cases[] = {{"", "Unknown"}, {"/", "/"}, {"/a/b", "b"}, {"/a/b/", "b"}, {"plain", "plain"}};
  for (const auto& c : cases) {
    ActivityEvent event;
    event.cwd = c.cwd;
    EXPECT_EQ(event.project(), c.project) << c.cwd;
  }
}

}  // namespace
}  // namespace ovel
