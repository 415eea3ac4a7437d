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
  changed,             // another writer changed the file since it was read
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

// Which file a read found and the state it was in: a write in place changes
// its size or modification time, a write by rename its inode.
struct FileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedNanoseconds = 0;  // since 1970
  mode_t mode = 0;
  bool operator==(const FileVersion&) const = default;
};

// A whole file as one read found it.
struct FileContents {
  std::string bytes;
  FileVersion version;  // as the file stood just before its first byte was read
};
// readWholeFile with the version read.
[[nodiscard]] std::error_code readWholeFile(const std::filesystem::path& path, FileContents& contents,
                                            std::uint64_t limit);

// The file a path names once the symbolic links it is are followed (at most
// 40 of them); the path itself when it is none.
std::filesystem::path followSymlinks(const std::filesystem::path& path);

struct AtomicWriteOptions {
  // Give the new file the permission bits of the file it replaces, and its
  // owner and group as far as we may (a new file gets 0666 less the umask).
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
  // commit() for a read-merge-write: takes the target's place only while it
  // still holds what `found` read (absent: while there is none). Otherwise,
  // or when it changed while being replaced, the target is left as the other
  // writer made it and this gives FileError::changed. The target is swapped
  // with the new file (renameat2's RENAME_EXCHANGE) and the file handed back
  // is compared with `found`, the swap undone when they differ. Where the file
  // system cannot swap, or with `exchange` false, the target is looked at
  // just before a plain rename instead, which leaves another writer a moment.
  std::error_code commitIfUnchanged(const std::optional<FileContents>& found, bool exchange = true);

 private:
  // Closes the temporary, noting in `written` the file it is then.
  std::error_code finishWriting(FileVersion* written = nullptr);
  std::error_code placeIfAbsent(bool exchange);
  std::error_code exchangeIfUnchanged(const FileContents& found, const FileVersion& written);
  std::error_code renameIfUnchanged(const FileContents& found);
  std::error_code renameOverTarget();
  void syncFolderOnceReplaced() const;

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  bool onlyOverRegularFile_;
  bool synced_ = false;
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
