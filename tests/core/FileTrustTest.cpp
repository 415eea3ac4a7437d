// What may be trusted to hold a command we run: a file that no one but the
// user could have written, in folders that no one else could rearrange.
#include "core/support/FileTrust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/OddFiles.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using Reason = Untrusted::Reason;
using test::TempDir;

constexpr std::uint64_t kLimit = 1024;
// No account of this machine's: what another user would own.
constexpr uid_t kOtherUser = 4242;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

void setMode(const fs::path& path, mode_t mode) { ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path; }

// A folder "box/data" holding "record", all of the test's own, writable by
// the user alone whatever the umask.
class FileTrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(data);
    setMode(box, 0755);
    setMode(data, 0700);
    test::writeText(record, "saved");
    setMode(record, 0644);
  }

  std::optional<Untrusted> read(std::string* bytes = nullptr) {
    std::string contents = "left over";
    auto refusal = readTrustedFile(record, contents, kLimit);
    if (bytes) *bytes = contents;
    if (refusal) { EXPECT_EQ(contents, "") << "nothing is given of a file refused"; }
    return refusal;
  }

  TempDir dir;
  fs::path box = dir / "box";
  fs::path data = box / "data";
  fs::path record = data / "record";
};

TEST_F(FileTrustTest, ReadsWhatOnlyTheUserCouldHaveWritten) {
  std::string bytes;
  EXPECT_EQ(read(&bytes), std::nullopt);
  EXPECT_EQ(bytes, "saved");
  EXPECT_EQ(checkTrustedFolder(data), std::nullopt);
  // Read-only, or readable by all, is fine; a sticky folder above, as /tmp is.
  setMode(record, 0400);
  setMode(box, 01777);
  EXPECT_EQ(read(), std::nullopt);
}

TEST_F(FileTrustTest, RefusesWhatOthersCouldHaveWritten) {
  const struct {
    const char* name;
    fs::path path;
    mode_t mode;
    Reason reason;
    fs::path atFault;
  } cases[] = {
      {"record its group may write", record, 0664, Reason::writableByOthers, record},
      {"record anyone may write", record, 0646, Reason::writableByOthers, record},
      {"folder its group may write", data, 0770, Reason::writableByOthers, data},
      {"folder anyone may write", data, 0703, Reason::writableByOthers, data},
      {"its own folder sticky and open to all", data, 01777, Reason::writableByOthers, data},
      {"a folder above open to all", box, 0777, Reason::writableByOthers, box},
      {"a folder above its group may write", box, 0775, Reason::writableByOthers, box},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const mode_t before = modeOf(c.path);
    setMode(c.path, c.mode);
    EXPECT_EQ(read(), (Untrusted{c.reason, c.atFault, {}}));
    setMode(c.path, before);
  }
}

TEST_F(FileTrustTest, RefusesWhatAnotherUserOwns) {
  std::string bytes;
  if (::geteuid() != 0) {
    // For another user, the first of the test's folders is not theirs (nor root's).
    EXPECT_EQ(readTrustedFile(record, bytes, kLimit, ::geteuid() + 1),
              (Untrusted{Reason::ownedByOtherUser, dir.path(), {}}));
    GTEST_SKIP() << "only root can give a file away";
  }
  ASSERT_EQ(::chown(record.c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_EQ(read(), (Untrusted{Reason::ownedByOtherUser, record, {}}));
  ASSERT_EQ(::chown(record.c_str(), 0, 0), 0);
  ASSERT_EQ(::chown(data.c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_EQ(read(), (Untrusted{Reason::ownedByOtherUser, data, {}}));
  // Root's folders are fine above the user's; the record itself must be the user's.
  EXPECT_EQ(readTrustedFile(record, bytes, kLimit, kOtherUser), (Untrusted{Reason::ownedByOtherUser, record, {}}));

  // Securing leaves another user's folder as it is.
  setMode(data, 0777);
  EXPECT_EQ(secureFolder(data), (Untrusted{Reason::ownedByOtherUser, data, {}}));
  EXPECT_EQ(modeOf(data), 0777u);
}

TEST_F(FileTrustTest, LinksAreRefusedInPlaceOfTheFileAndFollowedInTheFolders) {
  // A link where the file belongs could point anywhere, at any time.
  fs::rename(record, data / "real");
  fs::create_symlink("real", record);
  EXPECT_EQ(read(), (Untrusted{Reason::notARegularFile, record, {}}));
  fs::remove(record);
  fs::rename(data / "real", record);

  // A link in the folders is followed, and what it leads to is checked.
  fs::create_symlink(data, dir / "link");
  std::string bytes;
  EXPECT_EQ(readTrustedFile(dir / "link" / "record", bytes, kLimit), std::nullopt);
  EXPECT_EQ(bytes, "saved");
  setMode(data, 0777);
  EXPECT_EQ(readTrustedFile(dir / "link" / "record", bytes, kLimit), (Untrusted{Reason::writableByOthers, data, {}}));
}

TEST_F(FileTrustTest, OddFilesAreRefusedWithoutWaiting) {
  for (test::SpecialFile kind : test::kSpecialFiles) {
    SCOPED_TRACE(test::nameOf(kind));
    fs::remove_all(record);
    test::makeSpecialFile(record, kind, kLimit, "saved");
    if (kind == test::SpecialFile::overLimit) setMode(record, 0644);
    if (kind == test::SpecialFile::folder) setMode(record, 0700);
    test::returnsPromptly(
        data,
        [&] {
          auto refusal = read();
          ASSERT_TRUE(refusal);
          if (kind == test::SpecialFile::overLimit)
            EXPECT_EQ(*refusal,
                      (Untrusted{Reason::unreadable, record, std::make_error_code(std::errc::file_too_large)}));
          else EXPECT_EQ(*refusal, (Untrusted{Reason::notARegularFile, record, {}}));
        },
        "the read");
  }
  fs::remove_all(record);
  EXPECT_EQ(read(), (Untrusted{Reason::missing, record, {}}));
  fs::remove_all(data);
  EXPECT_EQ(read(), (Untrusted{Reason::missing, data, {}}));
  test::writeText(data, "a file where the folder belongs");
  EXPECT_EQ(read()->reason, Reason::notAFolder);
}

TEST_F(FileTrustTest, SecuringMakesTheUsersOwnPrivateAndRefusesTheRest) {
  // Missing: made, for the user alone.
  bool tightened = true;
  EXPECT_EQ(secureFolder(data / "new/bin", ::geteuid(), &tightened), std::nullopt);
  EXPECT_FALSE(tightened);
  EXPECT_EQ(modeOf(data / "new/bin"), 0700u);

  // The user's own folder and file lose the write permission of the others.
  setMode(data, 0777);
  EXPECT_EQ(secureFolder(data, ::geteuid(), &tightened), std::nullopt);
  EXPECT_TRUE(tightened);
  EXPECT_EQ(modeOf(data), 0755u);
  setMode(record, 0666);
  tightened = false;
  EXPECT_EQ(secureFile(record, ::geteuid(), &tightened), std::nullopt);
  EXPECT_TRUE(tightened);
  EXPECT_EQ(modeOf(record), 0644u);
  EXPECT_EQ(read(), std::nullopt);
  tightened = false;
  EXPECT_EQ(secureFile(record, ::geteuid(), &tightened), std::nullopt);
  EXPECT_FALSE(tightened) << "nothing to take";

  // A folder above is the user's business: refused, never changed.
  setMode(box, 0777);
  EXPECT_EQ(secureFolder(data), (Untrusted{Reason::writableByOthers, box, {}}));
  EXPECT_EQ(modeOf(box), 0777u);
  setMode(box, 0755);

  fs::create_symlink(record, data / "link");
  EXPECT_EQ(secureFile(data / "link"), (Untrusted{Reason::notARegularFile, data / "link", {}}));
}

TEST_F(FileTrustTest, DescriptionsSayWhyInWords) {
  EXPECT_EQ((Untrusted{Reason::writableByOthers, "/srv/ovel", {}}).description(), "other users can write to /srv/ovel");
  EXPECT_EQ((Untrusted{Reason::ownedByOtherUser, "/srv/ovel", {}}).description(), "/srv/ovel belongs to another user");
  EXPECT_EQ((Untrusted{Reason::notARegularFile, "/a/b", {}}).description(), "/a/b isn't a regular file");
  EXPECT_EQ((Untrusted{Reason::unreadable, "/a", std::make_error_code(std::errc::permission_denied)}).description(),
            "couldn't check /a: Permission denied");
}

}  // namespace
}  // namespace ovel
