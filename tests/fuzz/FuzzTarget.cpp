#include "FuzzTarget.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/support/FileIO.h"

namespace ovel::fuzz {
namespace fs = std::filesystem;

std::map<std::string, FuzzFunction>& targets() {
  static std::map<std::string, FuzzFunction> all;
  return all;
}

void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

const fs::path& scratchFolder() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "ovel-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) fail("no scratch folder");
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(scratchFolder(), ignored);
    });
    return fs::path(pattern);
  }();
  return folder;
}

fs::path scratchFile(const std::string& name, std::string_view bytes) {
  fs::path path = scratchFolder() / name;
  if (writeFileAtomically(path, bytes, {.sync = false})) fail("cannot write a scratch file");
  return path;
}

}  // namespace ovel::fuzz
