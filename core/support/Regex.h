// A compiled PCRE2 expression in UTF mode with Unicode classes (\d, \s and
// \w follow Unicode, so \s covers U+00A0 and U+202F). Compile each
// expression once (a function-local static) and share it: matching is
// thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;

namespace ovel {

class Regex {
 public:
  struct Options {
    bool caseless = false;
  };

  class Match {
   public:
    // Capture `index` (0 is the whole match); absent when it took no part.
    std::optional<std::string_view> group(std::size_t index) const {
      return index < groups_.size() ? groups_[index] : std::nullopt;
    }
    std::size_t begin() const { return begin_; }
    std::size_t end() const { return end_; }

   private:
    friend class Regex;
    std::vector<std::optional<std::string_view>> groups_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
  };

  // A bad pattern is a programming error: throws std::logic_error.
  explicit Regex(std::string_view pattern) : Regex(pattern, Options{}) {}
  Regex(std::string_view pattern, Options options);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // The leftmost match at or after byte `offset`. A subject that is not
  // valid UTF-8 never matches.
  std::optional<Match> find(std::string_view subject, std::size_t offset = 0) const;
  // A match that starts exactly at byte `offset`.
  std::optional<Match> matchAt(std::string_view subject, std::size_t offset) const;

 private:
  std::optional<Match> run(std::string_view subject, std::size_t offset, bool anchored) const;

  pcre2_real_code_8* code_;
};

}  // namespace ovel
