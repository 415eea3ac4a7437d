// Fake programs for process tests: small bash scripts in a test's own
// folder, and a check that nothing started by them is still running.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "core/support/ChildProcess.h"
#include "support/TestSupport.h"

namespace ovel::test {

// Writes an executable bash script. Every process a test starts should carry
// `marker` in its command line (the script's path does, and `exec -a` gives
// it to a program the script replaces itself with).
inline std::filesystem::path writeScript(const std::filesystem::path& path, const std::string& body) {
  writeText(path, "#!/bin/bash\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

// Command lines of live processes that contain `marker` (zombies have none).
inline std::string processesMatching(const std::string& marker) {
  ChildProcess::Options options;
  options.program = "/usr/bin/pgrep";
  options.arguments = {"-a", "-f", marker};
  options.error = ChildProcess::Stream::nullDevice;
  options.timeLimit = 10;
  return ChildProcess::run(options).output;
}

// Empty when none is left; allows a moment for a killed process to go.
inline std::string processesLeft(const std::string& marker) {
  std::string left;
  for (int attempt = 0; attempt < 20; ++attempt) {
    left = processesMatching(marker);
    if (left.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return left;
}

// Calls `run` on a thread of its own and waits for it at most `watchdog`
// seconds, then sets `stop` (which must end the run) and waits for it to
// return. Whether it returned before the watchdog.
template <typename Run>
bool returnsWithin(double watchdog, std::atomic<bool>& stop, Run run) {
  auto done = std::async(std::launch::async, std::move(run));
  bool inTime = done.wait_for(std::chrono::duration<double>(watchdog)) == std::future_status::ready;
  stop = true;
  done.get();
  return inTime;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace ovel::test
