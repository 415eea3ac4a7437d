#include "platform/QuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include "model/Log.h"

namespace ovel {
namespace {

// The handler's only state: the write end of a pipe made once and never
// closed, so that a handler still running while a QuitSignals goes never
// writes into a descriptor the process has reused.
volatile sig_atomic_t writeEnd = -1;
int readEnd = -1;

void onSignal(int signal) {
  int saved = errno;
  auto number = static_cast<unsigned char>(signal);
  // Non-blocking: with the pipe full, the quit is on its way already.
  [[maybe_unused]] ssize_t written = ::write(writeEnd, &number, 1);
  errno = saved;
}

bool openPipeOnce() {
  if (readEnd >= 0) return true;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  readEnd = ends[0];
  writeEnd = ends[1];
  return true;
}

// Signals that came for an earlier QuitSignals are not this one's.
void drainPipe() {
  unsigned char numbers[16];
  while (::read(readEnd, numbers, sizeof numbers) > 0) {}
}

// nohup and a shell's background jobs start a program with the signal
// ignored, so that it outlives the terminal: it stays so.
bool isIgnored(const struct sigaction& action) {
  return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void(int)> quit, QObject* parent) : QObject(parent), quit_(std::move(quit)) {
  if (!openPipeOnce()) {
    qCWarning(logApp) << "signals end Ovel at once: no pipe:" << std::strerror(errno);
    return;
  }
  drainPipe();
  notifier_ = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::readSignals);

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  catching_ = true;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction found {};
    if (::sigaction(kSignals[i], nullptr, &found) == 0 && isIgnored(found)) {
      qCDebug(logApp).nospace() << "SIG" << sigabbrev_np(kSignals[i]) << " stays ignored, as Ovel was started";
      continue;
    }
    if (::sigaction(kSignals[i], &action, nullptr) == 0) {
      previous_[i] = found;
      continue;
    }
    qCWarning(logApp).nospace() << "SIG" << sigabbrev_np(kSignals[i]) << " ends Ovel at once: " << std::strerror(errno);
    catching_ = false;
  }
}

QuitSignals::~QuitSignals() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    if (previous_[i]) ::sigaction(kSignals[i], &*previous_[i], nullptr);
  delete notifier_;
}

void QuitSignals::readSignals() {
  unsigned char numbers[16];
  ssize_t count;
  while ((count = ::read(readEnd, numbers, sizeof numbers)) > 0)
    for (ssize_t i = 0; i < count; ++i) quit_(numbers[i]);
}

}  // namespace ovel
