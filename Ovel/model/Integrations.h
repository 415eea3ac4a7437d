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
  // A command of the user's own that the relay will run: saved in a record
  // that no one else could have written (ChainedCommand).
  bool hasDownstreamCommand() const { return hasDownstreamCommand_; }
  const StatusLineIntegration& integration() const { return integration_; }

  // Connected with a record the relay refuses, the error says why the
  // user's own status line is not shown.
  void refresh();
  void setLaunchAtLogin(bool on);
  // Neither keeps nor restores a record that others could have written:
  // the error says why, and nothing is changed.
  void connect(Date now);
  void disconnect();

  // Copies the relay into the data directory: a temporary file beside the
  // target, mode 0755, synced, renamed over it; nothing when the installed
  // copy is already that file and only the user could have written it. The
  // data folder and bin/ are first made writable by the user alone (created
  // with mode 0700; the user's own lose the group's and others' write
  // permission), and every folder above them must pass FileTrust's checks.
  // Gives the error text, or nothing.
  [[nodiscard]] std::optional<QString> installBridgeBinary() const;

 signals:
  void launchAtLoginChanged();
  void statusLineChanged();
  void statusLineErrorChanged();
  void loginItemErrorChanged();
  void hasDownstreamCommandChanged();

 private:
  void setStatusLineError(std::optional<QString> error);
  // Why an integration record that is there may not be used, after `lead`.
  std::optional<QString> untrustedRecord(const char* lead) const;
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
