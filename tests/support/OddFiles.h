// Files in place of ours that are not what a reader expects: a FIFO, a
// folder, a socket, or a regular file over the reader's size limit. And a
// watchdog that fails a test, instead of hanging it, when a reader waits.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <string>
#include <system_error>

#include "support/TestSupport.h"

namespace ovel::test {

enum class SpecialFile { fifo, folder, socket, overLimit };

inline constexpr SpecialFile kSpecialFiles[] = {SpecialFile::fifo, SpecialFile::folder, SpecialFile::socket,
                                                SpecialFile::overLimit};

inline const char* nameOf(SpecialFile kind) {
  switch (kind) {
    case SpecialFile::fifo: return "a FIFO";
    case SpecialFile::folder: return "a folder";
    case SpecialFile::socket: return "a socket";
    case SpecialFile::overLimit: return "a file over the limit";
  }
  return "?";
}

// What a whole-file read (and, but for the size, an append) gives for each.
inline std::error_code refusalOf(SpecialFile kind) {
  switch (kind) {
    case SpecialFile::fifo:
    case SpecialFile::socket: return FileError::notRegularFile;
    case SpecialFile::folder: return std::make_error_code(std::errc::is_a_directory);
    case SpecialFile::overLimit: return std::make_error_code(std::errc::file_too_large);
  }
  return {};
}

// Puts one at `path` (its folder is created); `limit` is the reader's. The
// file over the limit starts with `start` and is sparse: it costs no disk.
inline void makeSpecialFile(const std::filesystem::path& path, SpecialFile kind, std::uint64_t limit,
                            const std::string& start = {}) {
  std::filesystem::create_directories(path.parent_path());
  switch (kind) {
    case SpecialFile::fifo:
      if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + path.string());
      return;
    case SpecialFile::folder: std::filesystem::create_directory(path); return;
    case SpecialFile::socket: {
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      if (path.native().size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
      std::strcpy(address.sun_path, path.c_str());
      int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      if (fd >= 0) ::close(fd);  // the socket's file stays
      if (!bound) throw std::runtime_error("bind " + path.string());
      return;
    }
    case SpecialFile::overLimit:
      writeText(path, start);
      std::filesystem::resize_file(path, limit + 1);
      return;
  }
}

// Runs `work` on a thread of its own and fails the test when it has not
// returned within the watchdog. Readers stuck on a FIFO below `folder` are
// then let go (each FIFO is opened for writing and closed, until the work
// returns), so that the test goes on to report instead of hanging.
template <class Work>
void returnsPromptly(const std::filesystem::path& folder, Work work, const std::string& what) {
  auto done = std::async(std::launch::async, std::move(work));
  if (done.wait_for(std::chrono::duration<double>(kWatchdogSeconds)) == std::future_status::ready) {
    done.get();
    return;
  }
  ADD_FAILURE() << what << " did not return";
  while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
      if (!entry.is_fifo(ignored)) continue;
      int fd = ::open(entry.path().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    }
  }
  done.get();
}

}  // namespace ovel::test
