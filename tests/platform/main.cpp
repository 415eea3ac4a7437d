// The platform tests. Also a helper that holds an instance lock for another
// test, from a process of its own.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/InstanceLock.h"
#include "support/TestDesktop.h"

namespace {

// Holds the lock of `directory`, says so on descriptor 3, and waits to be killed.
int holdInstanceLock(const char* directory) {
  ovel::InstanceLock lock(directory);
  std::string report = lock.isHeld() ? "held\n" : "failed: " + lock.error() + "\n";
  if (::write(3, report.data(), report.size()) < 0) return 1;
  for (;;) ::pause();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--hold-instance-lock") == 0) return holdInstanceLock(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  ovel::test::installTestDesktop();
  return RUN_ALL_TESTS();
}
