// Home folders from the password file, read as a plain file. The C
// library's own lookup goes through NSS, which a statically linked program
// cannot use safely (it loads the system's modules, and crashes for an
// account that only LDAP, SSSD or systemd-homed knows); this reader loads
// nothing and reads one bounded file without waiting on it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ovel {

class PasswdFile {
 public:
  static constexpr const char* kSystemPath = "/etc/passwd";
  // Far beyond any real file; a larger one reads as having no entries.
  static constexpr std::uint64_t kSizeLimit = std::uint64_t{16} << 20;

  // An account by its uid or by its name.
  using Account = std::variant<uid_t, std::string_view>;

  explicit PasswdFile(std::filesystem::path path = kSystemPath) : path_(std::move(path)) {}

  // The home folder of the first entry with that uid or name, read from
  // the file on every call. Absent when the file cannot be read, has no
  // such entry, or gives a home folder that is not an absolute path.
  std::optional<std::string> homeOf(Account account) const;

  // The same over a file's contents: name:password:uid:gid:gecos:home:shell
  // lines; a line of another shape, or a NIS "+"/"-" line, is skipped.
  static std::optional<std::string> homeIn(std::string_view contents, Account account);

 private:
  std::filesystem::path path_;
};

}  // namespace ovel
