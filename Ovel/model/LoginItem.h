// Starting the application when the user logs in. Integrations switch it
// and show its errors; the desktop's kind is in
// platform/AutostartLoginItem.h, and tests give a fake.
#pragma once

#include <QString>

#include <optional>

namespace ovel {

class LoginItem {
 public:
  virtual ~LoginItem() = default;

  virtual bool isEnabled() const = 0;
  // Each gives absent on success, else a text for the user.
  [[nodiscard]] virtual std::optional<QString> registerItem() = 0;
  [[nodiscard]] virtual std::optional<QString> unregisterItem() = 0;
};

}  // namespace ovel
