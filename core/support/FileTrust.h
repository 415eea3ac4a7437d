// Whether a file could have been written by no one but the user, before a
// command it names is run or it is run itself: the checks OpenSSH makes of
// authorized_keys. The file must be a regular file (not a link) that the
// user owns and that neither its group nor others may write. Its folder and
// every folder above it, up to the root, must be owned by the user or by
// root and be writable by neither group nor others; above the file's own
// folder a root-owned or user-owned folder with the sticky bit (/tmp) is
// fine, since there others cannot move or remove what they do not own.
//
// Every check is made with fstat on a descriptor opened one step below the
// last, from the root down, never by a second look at a name: what passes
// is what is read.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace ovel {

// Why a file or folder is not trusted.
struct Untrusted {
  enum class Reason {
    missing,           // it, or a folder above it, does not exist
    unreadable,        // it could not be opened or looked at: `error` says why
    notARegularFile,   // a link, FIFO, socket, device or folder where the file belongs
    notAFolder,        // a link or a file where a folder belongs
    ownedByOtherUser,  // a file not the user's, a folder neither the user's nor root's
    writableByOthers,  // its group or other users may write it
  };

  Reason reason;
  std::filesystem::path path;  // the file or folder at fault
  std::error_code error;       // for unreadable

  // In words, for a sentence of the caller's: "other users can write to /srv/ovel".
  std::string description() const;
  bool operator==(const Untrusted&) const = default;
};

// Checks `folder` and every folder above it (symbolic links in the path are
// resolved first, and what they lead to is checked).
[[nodiscard]] std::optional<Untrusted> checkTrustedFolder(const std::filesystem::path& folder,
                                                          uid_t user = ::geteuid());

// Reads the whole of a file of at most `limit` bytes when it and its folders
// pass, never waiting for a writer (a FIFO or device is refused unopened).
// On refusal `bytes` is left empty; a file that is simply not there is
// Reason::missing, so that callers can tell it from a file they must not use.
[[nodiscard]] std::optional<Untrusted> readTrustedFile(const std::filesystem::path& file, std::string& bytes,
                                                       std::uint64_t limit, uid_t user = ::geteuid());

// For the writer of such files: makes `folder` one that only the user can
// write (created with mode 0700 when missing, its parents as usual; one the
// user owns loses the group's and others' write permission, and `tightened`
// says so), then checks it as checkTrustedFolder does. A folder of another
// user is refused, never changed; nor is any folder above it.
[[nodiscard]] std::optional<Untrusted> secureFolder(const std::filesystem::path& folder, uid_t user = ::geteuid(),
                                                    bool* tightened = nullptr);

// The same for a regular file the user owns (one the user's umask left
// writable by the group): it loses the group's and others' write
// permission, then is checked as readTrustedFile checks it.
[[nodiscard]] std::optional<Untrusted> secureFile(const std::filesystem::path& file, uid_t user = ::geteuid(),
                                                  bool* tightened = nullptr);

}  // namespace ovel
