// One application per data directory, across processes and crashes.
#include "platform/InstanceLock.h"

#include <gtest/gtest.h>

#include "support/TestDesktop.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::BackgroundProcess;
using test::TempDir;

// A second copy of this test program that takes the lock and keeps it.
class LockHolder {
 public:
  explicit LockHolder(const fs::path& directory)
      : process_({fs::read_symlink("/proc/self/exe").string(), "--hold-instance-lock", directory.string()}, true) {
    report_ = process_.readLine().value_or("no answer");
  }
  const std::string& report() const { return report_; }
  pid_t pid() const { return process_.pid(); }
  void crash() { process_.kill(); }

 private:
  BackgroundProcess process_;
  std::string report_;
};

TEST(InstanceLock, SecondAcquireFailsUntilTheFirstIsGone) {
  TempDir dir;
  fs::path data = dir / "missing/Ovel";
  {
    InstanceLock first(data);
    ASSERT_TRUE(first.isHeld()) << first.error();
    EXPECT_FALSE(first.isHeldElsewhere());
    InstanceLock second(data);
    EXPECT_FALSE(second.isHeld());
    EXPECT_TRUE(second.isHeldElsewhere());
    EXPECT_EQ(second.error(), "Ovel is already running (process " + std::to_string(::getpid()) +
                                  ") with the data directory " + data.string() + ".");
  }
  InstanceLock again(data);
  EXPECT_TRUE(again.isHeld()) << again.error();
  EXPECT_TRUE(fs::exists(data / InstanceLock::kFileName));
}

TEST(InstanceLock, AnotherProcessBlocksAndItsCrashFreesTheLock) {
  TempDir dir;
  LockHolder holder(dir.path());
  ASSERT_EQ(holder.report(), "held");
  {
    InstanceLock blocked(dir.path());
    EXPECT_FALSE(blocked.isHeld());
    EXPECT_EQ(blocked.error(), "Ovel is already running (process " + std::to_string(holder.pid()) +
                                   ") with the data directory " + dir.path().string() + ".");
  }
  holder.crash();
  // Its lock file stays behind, naming a dead process.
  ASSERT_TRUE(fs::exists(dir / InstanceLock::kFileName));
  InstanceLock after(dir.path());
  EXPECT_TRUE(after.isHeld()) << after.error();
}

TEST(InstanceLock, BackgroundProcessesDoNotKeepIt) {
  // The application starts `claude` runs that may outlive it.
  TempDir dir;
  std::optional<BackgroundProcess> child;
  {
    InstanceLock mine(dir.path());
    ASSERT_TRUE(mine.isHeld());
    child.emplace(std::vector<std::string>{"/bin/sh", "-c", "echo started >&3; exec sleep 30"}, true);
    // Once it says so, it has passed exec, where it would or would not keep the lock.
    ASSERT_EQ(child->readLine(), "started");
  }
  InstanceLock next(dir.path());
  EXPECT_TRUE(next.isHeld()) << next.error();
}

TEST(InstanceLock, UnusableDirectoryIsAClearError) {
  TempDir dir;
  test::writeText(dir / "file", "");
  InstanceLock lock(dir / "file");
  EXPECT_FALSE(lock.isHeld());
  EXPECT_FALSE(lock.isHeldElsewhere());
  EXPECT_EQ(lock.error(),
            "Couldn't open the lock file " + (dir / "file" / InstanceLock::kFileName).string() + ": Not a directory");
}

}  // namespace
}  // namespace ovel
