#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "core/support/FileIO.h"
#include "model/Log.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

// The holder's process id and a line feed.
constexpr std::uint64_t kPidTextLimit = 4096;

std::string pidText(pid_t pid) {
  char buffer[24];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(pid)).ptr;
  return std::string(buffer, end);
}

// The holder writes its process id into the file; a reader may see it empty.
std::string holderOf(const fs::path& file) {
  std::string text = readWholeFile(file, kPidTextLimit).value_or("");
  auto digits = text.find_first_not_of("0123456789");
  return text.substr(0, digits);
}

}  // namespace

InstanceLock::InstanceLock(const fs::path& directory) {
  std::error_code created;
  fs::create_directories(directory, created);
  fs::path file = directory / kFileName;
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error_ = "Couldn't open the lock file " + file.string() + ": " + std::strerror(errno);
    return;
  }
  int locked;
  do locked = ::flock(fd, LOCK_EX | LOCK_NB);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    int reason = errno;
    ::close(fd);
    if (reason != EWOULDBLOCK) {
      error_ = "Couldn't lock " + file.string() + ": " + std::strerror(reason);
      return;
    }
    heldElsewhere_ = true;
    std::string holder = holderOf(file);
    error_ = "Ovel is already running" + (holder.empty() ? std::string() : " (process " + holder + ")") +
             " with the data directory " + directory.string() + ".";
    return;
  }
  // Only the holder writes, so the text is never a mix of two processes.
  // The lock holds without it; a second start just cannot name us.
  std::error_code written = ::ftruncate(fd, 0) == 0 ? writeAll(fd, pidText(::getpid()) + "\n") : lastError();
  if (written)
    qCWarning(logDesktop).noquote() << "couldn't write the process id into" << file.c_str() << ":"
                                    << written.message().c_str();
  fd_ = fd;
}

InstanceLock::~InstanceLock() {
  // The file stays: after an unlink, a process that had opened the old file
  // could lock it while a newcomer locks a new one, and both would run.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace ovel
