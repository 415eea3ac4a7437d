#include "core/support/PasswdFile.h"

#include <array>
#include <charconv>

#include "core/support/FileIO.h"

namespace ovel {
namespace {

constexpr std::size_t kFieldCount = 7;
constexpr std::size_t kNameField = 0, kUidField = 2, kHomeField = 5;

// The seven fields of one line, or nothing when it has another number.
std::optional<std::array<std::string_view, kFieldCount>> fieldsOf(std::string_view line) {
  std::array<std::string_view, kFieldCount> fields;
  for (std::size_t index = 0; index < kFieldCount; ++index) {
    std::size_t colon = line.find(':');
    if ((colon == std::string_view::npos) != (index == kFieldCount - 1)) return std::nullopt;
    fields[index] = line.substr(0, colon);
    if (colon != std::string_view::npos) line.remove_prefix(colon + 1);
  }
  return fields;
}

std::optional<uid_t> uidOf(std::string_view text) {
  uid_t uid = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), uid);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return uid;
}

bool matches(const std::array<std::string_view, kFieldCount>& fields, const PasswdFile::Account& account) {
  if (const uid_t* uid = std::get_if<uid_t>(&account)) return uidOf(fields[kUidField]) == *uid;
  std::string_view name = std::get<std::string_view>(account);
  return !name.empty() && fields[kNameField] == name;
}

}  // namespace

std::optional<std::string> PasswdFile::homeIn(std::string_view contents, Account account) {
  while (!contents.empty()) {
    std::size_t end = contents.find('\n');
    std::string_view line = contents.substr(0, end);
    contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
    if (line.starts_with('+') || line.starts_with('-')) continue;
    auto fields = fieldsOf(line);
    if (!fields || !matches(*fields, account)) continue;
    // The first entry decides, as the C library's own file lookup does.
    std::string_view home = (*fields)[kHomeField];
    if (!home.starts_with('/')) return std::nullopt;
    return std::string(home);
  }
  return std::nullopt;
}

std::optional<std::string> PasswdFile::homeOf(Account account) const {
  std::string contents;
  if (readWholeFile(path_, contents, kSizeLimit)) return std::nullopt;
  return homeIn(contents, account);
}

}  // namespace ovel
