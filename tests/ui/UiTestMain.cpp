// The views draw without a display; springs are off so that every value is
// shown at once, as in snapshots.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/Spring.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  ovel::Spring::setAnimationsEnabled(false);
  return RUN_ALL_TESTS();
}
