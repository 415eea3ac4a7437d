// The platform tests. Also helpers that hold an instance lock, or ask a
// running instance to come forward, for another test from a process of
// their own.
#include <unistd.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/InstanceLock.h"
#include "platform/RunningInstance.h"
#include "support/TestDesktop.h"

namespace {

// Holds the lock of `directory`, says so on descriptor 3, and waits to be killed.
int holdInstanceLock(const char* directory) {
  ovel::InstanceLock lock(directory);
  std::string report = lock.isHeld() ? "held\n" : "failed: " + lock.error() + "\n";
  if (::write(3, report.data(), report.size()) < 0) return 1;
  for (;;) ::pause();
}

// Exits 0 when the instance of `directory` answered, as a second start does.
int activateInstance(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  return ovel::RunningInstance::activate(argv[2], std::chrono::seconds(20)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--hold-instance-lock") == 0) return holdInstanceLock(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--activate-instance") == 0) return activateInstance(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ovel::test::installTestDesktop();
  return RUN_ALL_TESTS();
}
