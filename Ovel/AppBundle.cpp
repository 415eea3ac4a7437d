#include "AppBundle.h"

#include <QGuiApplication>
#include <QIcon>

namespace ovel {
namespace fs = std::filesystem;

AppBundle AppBundle::current() {
  std::error_code ignored;
  fs::path executable = fs::read_symlink("/proc/self/exe", ignored);
  if (executable.empty()) executable = QCoreApplication::applicationFilePath().toStdString();
  return AppBundle{QStringLiteral("ovel"), executable};
}

void AppBundle::identifyApplication() {
  QGuiApplication::setApplicationName(QStringLiteral("Ovel"));
  QGuiApplication::setOrganizationName(QStringLiteral("Ovel"));
  QGuiApplication::setDesktopFileName(QStringLiteral("ovel"));
  // The installed theme icon, else the one built in.
  QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ovel"), QIcon(QStringLiteral(":/ovel.svg"))));
}

std::vector<fs::path> AppBundle::relayCandidates() const {
  fs::path folder = executable.parent_path();
  return {folder / ".." / "libexec" / "ovel" / "ovel-bridge", folder / "ovel-bridge"};
}

}  // namespace ovel
