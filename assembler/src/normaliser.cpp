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

namespace {

// The one normaliser; `note(out, in)` hears where each written character
// came from, and the plain version passes a note that does nothing.
template <typename Note>
std::string_view normaliseWith(std::span<char> line, Note note) {
  const auto kindOf = [](char c) { return kKinds[static_cast<unsigned char>(c)]; };
  char* out = line.data();
  const char* in = line.data();
  const char* const end = in + line.size();
  const auto from = [&] {
    note(static_cast<std::size_t>(out - line.data()), static_cast<std::size_t>(in - line.data()));
  };
  // Separators at the start vanish; after that the line alternates between
  // runs of ordinary characters, copied, and runs of separators, each of
  // which becomes one blank.
  while (in != end && kindOf(*in) == Kind::separator) ++in;
  while (in != end) {
    while (in != end && kindOf(*in) == Kind::ordinary) {
      from();
      *out++ = toLowerAscii(*in++);
    }
    if (in == end || kindOf(*in) == Kind::comment) break;
    from();
    *out++ = ' ';
    do {
      ++in;
    } while (in != end && kindOf(*in) == Kind::separator);
  }
  return {line.data(), static_cast<std::size_t>(out - line.data())};
}

}  // namespace

std::string_view normalise(std::span<char> line) {
  return normaliseWith(line, [](std::size_t, std::size_t) {});
}

std::string_view normalise(std::span<char> line, std::span<std::uint32_t> origins) {
  return normaliseWith(line, [origins](std::size_t out, std::size_t in) {
    origins[out] = static_cast<std::uint32_t>(in);
  });
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
