// The source line normaliser and the token splitting of pass 1.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "chars.h"

namespace quellmark {

// Rewrites `line` in place into its canonical form: every run of separators
// (white space and ",()") becomes one blank, separators at the start vanish,
// a ";" or a NUL ends the line, and "A" to "Z" become lower case. Every
// other byte, those above 0x7F included, is kept unchanged. A trailing
// blank is kept. Returns the normalised text, a prefix of `line`; the bytes
// of `line` after it are left in no particular state.
std::string_view normalise(std::span<char> line);

// The same rewriting, also noting for every character of the result the
// index in `line` of the byte it came from (for a blank, the first
// separator of its run). `origins` needs room for `line.size()` entries.
std::string_view normalise(std::span<char> line, std::span<std::uint32_t> origins);

// Splits a normalised line into tokens without copying it.
//
// The first token skips any run of colons and blanks and ends at the next
// colon or blank, which is consumed; every later token skips blanks and ends
// at the next blank, so a colon is an ordinary character there. When nothing
// but blanks remains, every call yields the empty view.
class TokenSplitter {
 public:
  explicit TokenSplitter(std::string_view line) : rest_(line) {}

  // The first token; call it once, before `next`.
  std::string_view first() {
    const char* p = rest_.data();
    const char* const end = p + rest_.size();
    while (p != end && (*p == ':' || *p == ' ')) ++p;
    return cutAt(p, findEither(p, end, ':', ' '), end);
  }
  // The next later token, or empty when there is none.
  std::string_view next() {
    const char* p = rest_.data();
    const char* const end = p + rest_.size();
    while (p != end && *p == ' ') ++p;
    return cutAt(p, findEither(p, end, ' ', ' '), end);
  }

 private:
  // The token from `start` to `stop`; the colon or blank at `stop`, if
  // any, is consumed.
  std::string_view cutAt(const char* start, const char* stop, const char* end) {
    const std::string_view token(start, static_cast<std::size_t>(stop - start));
    if (stop != end) ++stop;
    rest_ = std::string_view(stop, static_cast<std::size_t>(end - stop));
    return token;
  }

  std::string_view rest_;
};

}  // namespace quellmark
