#include "platform/QuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "model/Log.h"

namespace ovel {
namespace {

// The handler's only state: a plain int, written before the handlers go in.
volatile sig_atomic_t writeEnd = -1;

void onSignal(int signal) {
  int saved = errno;
  auto number = static_cast<unsigned char>(signal);
  // Non-blocking: with the pipe full, the quit is on its way already.
  [[maybe_unused]] ssize_t written = ::write(writeEnd, &number, 1);
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void(int)> quit, QObject* parent) : QObject(parent), quit_(std::move(quit)) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    qCWarning(logApp) << "signals end Ovel at once: no pipe:" << std::strerror(errno);
    return;
  }
  readEnd_ = ends[0];
  writeEnd = ends[1];
  notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::readSignals);

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  catching_ = true;
  for (int signal : kSignals) {
    if (::sigaction(signal, &action, nullptr) == 0) continue;
    qCWarning(logApp).nospace() << "SIG" << sigabbrev_np(signal) << " ends Ovel at once: " << std::strerror(errno);
    catching_ = false;
  }
}

QuitSignals::~QuitSignals() {
  for (int signal : kSignals) std::signal(signal, SIG_DFL);
  if (readEnd_ < 0) return;
  delete notifier_;
  ::close(writeEnd);
  writeEnd = -1;
  ::close(readEnd_);
}

void QuitSignals::readSignals() {
  unsigned char numbers[16];
  ssize_t count;
  while ((count = ::read(readEnd_, numbers, sizeof numbers)) > 0)
    for (ssize_t i = 0; i < count; ++i) quit_(numbers[i]);
}

}  // namespace ovel
