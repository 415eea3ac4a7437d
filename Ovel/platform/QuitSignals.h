// A logout, `systemctl --user stop` or Ctrl+C ends Ovel through its normal
// quit, as the tray's Quit does, so that it finishes what it was writing.
#pragma once

#include <signal.h>

#include <QObject>

#include <array>
#include <csignal>
#include <functional>
#include <optional>

class QSocketNotifier;

namespace ovel {

// Catches SIGTERM, SIGINT and SIGHUP while it lives. The handler only
// writes the signal's number into a pipe, which the event loop reads, so
// `quit` runs on the GUI thread with the number. A second signal of the
// same kind ends the process at once, should the quit itself hang. A signal
// that was ignored at start (nohup, a shell's background job) stays ignored.
// One at a time per process.
class QuitSignals final : public QObject {
 public:
  explicit QuitSignals(std::function<void(int signal)> quit, QObject* parent = nullptr);
  // Gives each signal back what it did before.
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // False when the pipe or a handler could not be set up (said in the log).
  bool isCatching() const { return catching_; }

  static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

 private:
  void readSignals();

  std::function<void(int)> quit_;
  QSocketNotifier* notifier_ = nullptr;
  // What each signal of kSignals did before, where it is caught.
  std::array<std::optional<struct sigaction>, std::size(kSignals)> previous_;
  bool catching_ = false;
};

}  // namespace ovel
