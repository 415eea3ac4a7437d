// Starting the application when the user logs in, as a freedesktop session
// does it.
#pragma once

#include <QString>

#include <filesystem>
#include <optional>

#include "model/LoginItem.h"

namespace ovel {

// An XDG autostart entry, $XDG_CONFIG_HOME/autostart/<name>.desktop. It counts
// as enabled only while it starts this executable and the desktop has not
// been told to skip it (Hidden, X-GNOME-Autostart-enabled=false).
class AutostartLoginItem final : public LoginItem {
 public:
  // `executable` is what the entry starts (inside an AppImage: $APPIMAGE).
  explicit AutostartLoginItem(std::filesystem::path executable, QString name = QStringLiteral("ovel"));

  // The file, following the environment at the moment of the call.
  std::filesystem::path entryPath() const;

  bool isEnabled() const override;
  // Writes the entry atomically, replacing any entry of that name.
  [[nodiscard]] std::optional<QString> registerItem() override;
  // Removes the entry; a missing one is no error.
  [[nodiscard]] std::optional<QString> unregisterItem() override;

 private:
  std::filesystem::path executable_;
  QString name_;
};

// The Exec value that starts `program` with no arguments, quoted and escaped
// by the desktop-entry rules.
QString desktopExecValue(const std::filesystem::path& program);

// The program that an Exec value starts; absent when the value is empty or
// badly quoted.
std::optional<std::filesystem::path> desktopExecProgram(const QString& exec);

}  // namespace ovel
