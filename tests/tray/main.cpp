// The application's desktop parts. Suites named "...X11Test" run on a
// private Xvfb display; the others under the offscreen platform.
#include <gtest/gtest.h>

#include "support/TestDesktop.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ovel::test::installTestDesktop();
  return RUN_ALL_TESTS();
}
