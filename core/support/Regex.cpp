#include "core/support/Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace ovel {

Regex::Regex(std::string_view pattern, Options options) {
  uint32_t flags = PCRE2_UTF | PCRE2_UCP;
  if (options.caseless) flags |= PCRE2_CASELESS;
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &error, &errorOffset,
                        nullptr);
  if (!code_) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    throw std::logic_error("bad expression " + std::string(pattern) + ": " + reinterpret_cast<char*>(message));
  }
}

Regex::~Regex() { pcre2_code_free(code_); }

std::optional<Regex::Match> Regex::find(std::string_view subject, std::size_t offset) const {
  return run(subject, offset, false);
}

std::optional<Regex::Match> Regex::matchAt(std::string_view subject, std::size_t offset) const {
  return run(subject, offset, true);
}

std::optional<Regex::Match> Regex::run(std::string_view subject, std::size_t offset, bool anchored) const {
  if (offset > subject.size()) return std::nullopt;
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
      pcre2_match_data_create_from_pattern(code_, nullptr), &pcre2_match_data_free);
  if (!data) return std::nullopt;
  int count = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), offset,
                          anchored ? PCRE2_ANCHORED : 0, data.get(), nullptr);
  if (count <= 0) return std::nullopt;  // no match, or an error such as ill-formed UTF-8

  const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data.get());
  Match match;
  match.groups_.resize(pcre2_get_ovector_count(data.get()));
  for (std::size_t index = 0; index < static_cast<std::size_t>(count); ++index) {
    PCRE2_SIZE begin = vector[2 * index], end = vector[2 * index + 1];
    if (begin != PCRE2_UNSET) match.groups_[index] = subject.substr(begin, end - begin);
  }
  match.begin_ = vector[0];
  match.end_ = vector[1];
  return match;
}

}  // namespace ovel
