// One fuzz target per reader: a function that takes any bytes, must never
// crash, and checks what it can of its own result. libFuzzer drives each
// target in a program of its own (FuzzMain.cpp); the test suite replays the
// seeds and every finding kept in regressions/ (ReplayTest.cpp).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace ovel::fuzz {

using FuzzFunction = void (*)(std::string_view input);

// Every target linked into the program, by name.
std::map<std::string, FuzzFunction>& targets();

struct Registration {
  Registration(const char* name, FuzzFunction run) { targets().emplace(name, run); }
};

// A broken expectation: reported on standard error, then abort(), which
// libFuzzer keeps as a finding and a test sees as a crash.
[[noreturn]] void fail(const char* what);
inline void check(bool condition, const char* what) {
  if (!condition) fail(what);
}

// A folder of this process's own for targets that read files, emptied at exit.
const std::filesystem::path& scratchFolder();
// Writes `bytes` to `name` in the scratch folder and gives its path.
std::filesystem::path scratchFile(const std::string& name, std::string_view bytes);

}  // namespace ovel::fuzz

// Defines and registers a target: OVEL_FUZZ_TARGET(usageText) { ... input ... }
#define OVEL_FUZZ_TARGET(name)                                                     \
  static void name##Target(std::string_view input);                                \
  static const ::ovel::fuzz::Registration name##Registration(#name, name##Target); \
  static void name##Target(std::string_view input)
