#include "normaliser.h"

#include <array>

#include "chars.h"

namespace quellmark {

namespace {

enum class Kind : unsigned char { ordinary, separator, comment };

// The class of every byte, computed once from the definitions in chars.h.
constexpr std::array<Kind, 256> kKinds = [] {
  std::array<Kind, 256> kinds{};
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    kinds[static_cast<std::size_t>(b)] = isSeparator(c) ? Kind::separator
                                         : c == ';'     ? Kind::comment
                                                        : Kind::ordinary;
  }
  return kinds;
}();

}  // namespace

std::string_view normalise(std::span<char> line) {
  char* out = line.data();
  const char* in = line.data();
  const char* const end = in + line.size();
  bool afterSeparator = true;  // so that separators at the start vanish
  while (in != end) {
    const char c = *in++;
    const Kind kind = kKinds[static_cast<unsigned char>(c)];
    if (kind == Kind::ordinary) {
      *out++ = toLowerAscii(c);
      afterSeparator = false;
    } else if (kind == Kind::separator) {
      if (!afterSeparator) *out++ = ' ';
      afterSeparator = true;
    } else {
      break;  // a comment runs to the end of the line
    }
  }
  return {line.data(), static_cast<std::size_t>(out - line.data())};
}

namespace {

// Splits `rest` at the first position where `ends` holds; the ending
// character itself is consumed.
template <typename Predicate>
std::string_view cut(std::string_view& rest, Predicate ends) {
  std::size_t length = 0;
  while (length < rest.size() && !ends(rest[length])) ++length;
  const std::string_view token = rest.substr(0, length);
  rest.remove_prefix(length < rest.size() ? length + 1 : length);
  return token;
}

}  // namespace

std::string_view TokenSplitter::first() {
  std::size_t skip = 0;
  while (skip < rest_.size() && (rest_[skip] == ':' || rest_[skip] == ' ')) ++skip;
  rest_.remove_prefix(skip);
  return cut(rest_, [](char c) { return c == ':' || c == ' '; });
}

std::string_view TokenSplitter::next() {
  std::size_t skip = 0;
  while (skip < rest_.size() && rest_[skip] == ' ') ++skip;
  rest_.remove_prefix(skip);
  return cut(rest_, [](char c) { return c == ' '; });
}

}  // namespace quellmark
