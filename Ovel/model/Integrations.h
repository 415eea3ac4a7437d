// The application's side of the status-line connection and the login item:
// observable state for the views, and every failure turned into a text.
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

#include "core/claude/StatusLineIntegration.h"
#include "core/support/Time.h"
#include "model/AppBundle.h"
#include "model/LoginItem.h"

namespace ovel {

class Integrations final : public QObject {
  Q_OBJECT

 public:
  // Without a login item (no bundle identity) the launch-at-login switch
  // does nothing.
  Integrations(AppBundle bundle, std::unique_ptr<LoginItem> loginItem,
               StatusLineIntegration integration = StatusLineIntegration::standard(), QObject* parent = nullptr);
  ~Integrations() override;

  bool launchAtLogin() const { return launchAtLogin_; }
  // False without a bundle identity: the switch is then disabled.
  bool canLaunchAtLogin() const { return loginItem_ != nullptr; }
  const StatusLineIntegration::State& statusLine() const { return statusLine_; }
  const std::optional<QString>& statusLineError() const { return statusLineError_; }
  const std::optional<QString>& loginItemError() const { return loginItemError_; }
  bool hasDownstreamCommand() const { return hasDownstreamCommand_; }
  const StatusLineIntegration& integration() const { return integration_; }

  void refresh();
  void setLaunchAtLogin(bool on);
  void connect(Date now);
  void disconnect();

  // Copies the relay into the data directory: a temporary file beside the
  // target, executable, synced, renamed over it; nothing when the installed
  // copy is already that file. Gives the error text, or nothing.
  [[nodiscard]] std::optional<QString> installBridgeBinary() const;

 signals:
  void launchAtLoginChanged();
  void statusLineChanged();
  void statusLineErrorChanged();
  void loginItemErrorChanged();
  void hasDownstreamCommandChanged();

 private:
  void setStatusLineError(std::optional<QString> error);
  void setLoginItemError(std::optional<QString> error);

  AppBundle bundle_;
  std::unique_ptr<LoginItem> loginItem_;
  StatusLineIntegration integration_;
  bool launchAtLogin_ = false;
  StatusLineIntegration::State statusLine_ = StatusLineIntegration::State::notInstalled();
  std::optional<QString> statusLineError_;
  std::optional<QString> loginItemError_;
  bool hasDownstreamCommand_ = false;
};

}  // namespace ovel
