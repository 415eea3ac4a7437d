#include "model/AppBundle.h"

#include <QCoreApplication>

namespace ovel {
namespace fs = std::filesystem;

AppBundle AppBundle::current() {
  std::error_code ignored;
  fs::path executable = fs::read_symlink("/proc/self/exe", ignored);
  if (executable.empty()) executable = QCoreApplication::applicationFilePath().toStdString();
  return AppBundle{QStringLiteral("ovel"), executable};
}

std::vector<fs::path> AppBundle::relayCandidates() const {
  fs::path folder = executable.parent_path();
  return {folder / ".." / "libexec" / "ovel" / "ovel-bridge", folder / "ovel-bridge"};
}

}  // namespace ovel
