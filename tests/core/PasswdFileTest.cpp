// Home folders from the password file read as a plain file, and the data
// directory's rule when $HOME does not say: found there, or not at all.
#include "core/support/PasswdFile.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/engine/OvelPaths.h"
#include "support/OddFiles.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

constexpr const char* kPasswd =
    "root:x:0:0:root:/root:/bin/bash\n"
    "+nisuser::::::\n"
    "-kim:x:1000:1000::/nis/kim:/bin/sh\n"
    "kim:x:1000:1000:Kim,,,:/home/kim:/bin/bash\n"
    "kim:x:1000:1000:second entry:/home/kim2:/bin/bash\n"
    "short:x:1001:1001:/home/short:/bin/sh\n"
    "long:x:1002:1002::/home/long:/bin/sh:extra\n"
    "badid:x:10x3:1003::/home/badid:/bin/sh\n"
    "relative:x:1004:1004::home/relative:/bin/sh\n"
    "nohome:x:1005:1005:::/bin/sh\n"
    "\n"
    "last:x:1006:1006::/home/last:/bin/sh";

TEST(PasswdFileTest, FindsTheFirstWellFormedEntryByUidOrName) {
  const struct {
    PasswdFile::Account account;
    std::optional<std::string> home;
  } cases[] = {
      {uid_t{0}, "/root"},
      {std::string_view("root"), "/root"},
      {uid_t{1000}, "/home/kim"},  // the first of two, never the NIS line before them
      {std::string_view("kim"), "/home/kim"},
      {std::string_view("nisuser"), std::nullopt},
      {std::string_view("+nisuser"), std::nullopt},
      {uid_t{1001}, std::nullopt},  // six fields
      {uid_t{1002}, std::nullopt},  // eight fields
      {std::string_view("badid"), "/home/badid"},
      {uid_t{1003}, std::nullopt},
      {uid_t{10}, std::nullopt},
      {uid_t{1004}, std::nullopt},  // a relative home is no home
      {uid_t{1005}, std::nullopt},
      {std::string_view("last"), "/home/last"},  // no final line feed
      {std::string_view(""), std::nullopt},
      {std::string_view("nobody-here"), std::nullopt},
      {uid_t{4242}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::holds_alternative<uid_t>(c.account) ? std::to_string(std::get<uid_t>(c.account))
                                                          : std::string(std::get<std::string_view>(c.account)));
    EXPECT_EQ(PasswdFile::homeIn(kPasswd, c.account), c.home);
  }
}

TEST(PasswdFileTest, ReadsTheFileOnEveryCallAndNeverWaits) {
  TempDir dir;
  const fs::path file = dir / "passwd";
  PasswdFile accounts(file);
  EXPECT_EQ(accounts.homeOf(uid_t{1000}), std::nullopt) << "no file";
  test::writeText(file, kPasswd);
  EXPECT_EQ(accounts.homeOf(std::string_view("kim")), "/home/kim");
  test::writeText(file, "kim:x:1000:1000::/srv/kim:/bin/sh\n");
  EXPECT_EQ(accounts.homeOf(uid_t{1000}), "/srv/kim");

  for (test::SpecialFile kind : test::kSpecialFiles) {
    SCOPED_TRACE(test::nameOf(kind));
    TempDir odd;
    test::makeSpecialFile(odd / "passwd", kind, PasswdFile::kSizeLimit, kPasswd);
    test::returnsPromptly(
        odd.path(), [&] { EXPECT_EQ(PasswdFile(odd / "passwd").homeOf(uid_t{0}), std::nullopt); }, "the read");
  }
}

class HomeFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::writeText(dir / "passwd", "me:x:" + std::to_string(::getuid()) + ":0::/srv/me:/bin/sh\n" +
                                        "ann:x:4242:4242::/srv/ann:/bin/sh\n");
  }

  TempDir dir;
  PasswdFile accounts{dir / "passwd"};
  PasswdFile empty{dir / "no-passwd"};
  ScopedEnv homeEnv{"HOME", std::nullopt};
  ScopedEnv dataEnv{"XDG_DATA_HOME", std::nullopt};
  ScopedEnv ovelEnv{"OVEL_HOME", std::nullopt};
};

TEST_F(HomeFolderTest, HomeComesFromHomeElseThePasswordFile) {
  EXPECT_EQ(findHomeDirectory(accounts), fs::path("/srv/me"));
  EXPECT_EQ(findHomeDirectory(empty), std::nullopt);
  for (const char* unusable : {"", ".", "relative/home"}) {
    ScopedEnv home("HOME", unusable);
    EXPECT_EQ(findHomeDirectory(accounts), fs::path("/srv/me")) << '"' << unusable << '"';
    EXPECT_EQ(findHomeDirectory(empty), std::nullopt) << '"' << unusable << '"';
  }
  ScopedEnv set("HOME", "/h");
  EXPECT_EQ(findHomeDirectory(empty), fs::path("/h"));
}

TEST_F(HomeFolderTest, TildesExpandThroughThePasswordFileOrNotAtAll) {
  const struct {
    const char* text;
    std::optional<std::string> withAccounts, withoutAny;
  } cases[] = {
      {"~", "/srv/me", std::nullopt},
      {"~/x/y", "/srv/me/x/y", std::nullopt},
      {"~ann/x", "/srv/ann/x", std::nullopt},
      {"~ann", "/srv/ann", std::nullopt},
      {"~nosuchuser/x", std::nullopt, std::nullopt},
      {"/a/~ann", "/a/~ann", "/a/~ann"},
      {"relative/x", "relative/x", "relative/x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(findTildeExpansion(c.text, accounts), c.withAccounts);
    EXPECT_EQ(findTildeExpansion(c.text, empty), c.withoutAny);
  }
}

TEST_F(HomeFolderTest, TheRelaysRootIsFoundOrAbsent) {
  EXPECT_EQ(OvelPaths::findRoot(accounts), fs::path("/srv/me/.local/share/Ovel"));
  EXPECT_EQ(OvelPaths::findRoot(empty), std::nullopt) << "no home, no data directory";
  {
    ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(OvelPaths::findRoot(empty), fs::path("/srv/data/Ovel")) << "no home needed";
  }
  {
    ScopedEnv ovel("OVEL_HOME", "~ann/ovel");
    EXPECT_EQ(OvelPaths::findRoot(accounts), fs::path("/srv/ann/ovel"));
  }
  ScopedEnv ovel("OVEL_HOME", "~nosuchuser/x");
  EXPECT_EQ(OvelPaths::findRoot(accounts), std::nullopt) << "never a folder named ~nosuchuser";
  // The application's own rule keeps the text as written, as before.
  EXPECT_EQ(OvelPaths::root(), fs::path("~nosuchuser/x"));
  OvelPaths::setRootOverride(fs::path("/override"));
  EXPECT_EQ(OvelPaths::findRoot(empty), fs::path("/override"));
  OvelPaths::setRootOverride(std::nullopt);
}

}  // namespace
}  // namespace ovel
