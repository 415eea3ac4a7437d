// Qt needs an application object before timers and settings work. Also a
// helper that writes one clock text, for a test that runs this program again
// under another locale.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/Format.h"

namespace {

// Format::clock of two moments (seconds since 1970) in `zone`, in the
// locale the environment gives.
int writeClock(const char* zone, const char* date, const char* reference) {
  ovel::Format::setTimeZone(zone);
  std::string text = ovel::Format::clock(ovel::dateFromSeconds1970(std::atof(date)),
                                         ovel::dateFromSeconds1970(std::atof(reference)));
  std::printf("%s\n", text.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--write-clock") == 0) return writeClock(argv[2], argv[3], argv[4]);
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
