// File operations that every store shares: whole-file reads, atomic
// whole-file replacement, and appends that never rewrite what is there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace ovel {

// Failures of our own beside the system's.
enum class FileError {
  notRegularFile = 1,  // a FIFO, a socket or a device, which could block or never end
  malformed,           // read whole, it does not hold what a file of its kind holds
};
std::error_code make_error_code(FileError error);

// Reads the whole of a regular file of at most `limit` bytes, never waiting
// for a writer: what is not a regular file is never opened, and the file is
// opened without blocking and looked at again before a byte is read. A
// folder gives std::errc::is_a_directory, any other file that is not
// regular FileError::notRegularFile, and a larger file
// std::errc::file_too_large, none of it read. On failure `bytes` is left
// empty.
[[nodiscard]] std::error_code readWholeFile(const std::filesystem::path& path, std::string& bytes, std::uint64_t limit);
std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::uint64_t limit);

struct AtomicWriteOptions {
  // Give the new file the permission bits of the file it replaces
  // (a new file gets 0666 less the umask).
  bool keepExistingMode = false;
  // When the path is a symbolic link, replace the file it points to and
  // leave the link in place.
  bool followSymlink = false;
  // fsync the file before the rename.
  bool sync = true;
  // Exact permission bits for the new file, past the umask (a copy that must
  // be no more readable than its original). Wins over keepExistingMode.
  std::optional<mode_t> mode = std::nullopt;
  // Leave a target that is there and is not a regular file (a FIFO, a
  // socket, a folder): the write fails as a read of it would.
  bool onlyOverRegularFile = false;
};

// Creates the parent folders, writes a uniquely named temporary file beside
// the target and renames it over the target. On failure the target is as it
// was and the temporary file is gone. Stale temporaries of the same target
// that a killed writer left behind are removed first.
[[nodiscard]] std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                                  const AtomicWriteOptions& options = {});

// writeFileAtomically in steps, for a writer that must add the last bytes at
// the moment of the rename: open, write and sync as needed, then commit().
// The first failure sticks: later steps do nothing and give it again. Gone
// without a commit (or after a failed one), the temporary is removed and the
// target is as it was. `options.sync` is left to the caller's sync().
class FileReplacement {
 public:
  explicit FileReplacement(const std::filesystem::path& path, const AtomicWriteOptions& options = {});
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  std::error_code write(std::string_view bytes);
  std::error_code sync();
  // Closes the temporary and renames it over the target.
  std::error_code commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  bool onlyOverRegularFile_;
  int fd_ = -1;
  std::error_code error_;
};

// Every temporary of ours beside `folder`'s files that no write will finish:
// named as writeFileAtomically names them, written by another process, and
// either left by a process that is gone or older than a minute. Other files,
// and this process's own temporaries, are never touched.
void removeStaleTemporaries(const std::filesystem::path& folder);

// Appends to an existing regular file opened with O_APPEND (never creates
// it: a missing file gives std::errc::no_such_file_or_directory, a folder
// std::errc::is_a_directory, anything else but a regular file
// FileError::notRegularFile, none of them opened; a FIFO, which would block
// once full, is never waited on). When the file is not empty and does not end
// in a line feed, a line feed is written first, so the new text never joins
// a torn last line.
[[nodiscard]] std::error_code appendOnNewLine(const std::filesystem::path& path, std::string_view bytes);

// Writes all of `bytes` to the descriptor, retrying on EINTR and short writes.
[[nodiscard]] std::error_code writeAll(int fd, std::string_view bytes);

std::error_code lastError();

}  // namespace ovel

template <>
struct std::is_error_code_enum<ovel::FileError> : std::true_type {};
