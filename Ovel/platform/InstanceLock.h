// One running application per data directory. Two would each keep their own
// copy of the history, and the one that prunes the file would drop the
// other's lines.
#pragma once

#include <filesystem>
#include <string>

namespace ovel {

// An advisory lock (flock) on a file in the directory, held while the object
// lives. The kernel drops it when the process ends in any way, so a lock file
// left by a dead process never blocks. Child processes do not inherit it.
class InstanceLock {
 public:
  static constexpr const char* kFileName = "instance.lock";

  // Creates the directory when missing and takes the lock, or fails with
  // `error()` set for the user.
  explicit InstanceLock(const std::filesystem::path& directory);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  bool isHeld() const { return fd_ >= 0; }
  // Another process holds it: a copy of Ovel runs with this directory.
  bool isHeldElsewhere() const { return heldElsewhere_; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  bool heldElsewhere_ = false;
  std::string error_;
};

}  // namespace ovel
