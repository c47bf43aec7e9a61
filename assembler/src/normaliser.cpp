#include "normaliser.h"

#include <array>
#include <cstring>

#include "chars.h"

namespace quellmark {

namespace {

// The kind of each byte in a normalised line, and what is written for it:
// an ordinary character, written as itself but "A" to "Z" in lower case; a
// separator, written as a blank; or an end (";" and NUL), where the line
// ends. Computed once from the definitions in chars.h.
enum Kind : std::uint8_t { kOrdinary = 0, kSeparator = 1, kEnd = 2 };

constexpr std::array<std::uint8_t, 256> kKinds = [] {
  std::array<std::uint8_t, 256> kinds{};
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    kinds[static_cast<std::size_t>(b)] = isSeparator(c)            ? kSeparator
                                         : (c == ';' || c == '\0') ? kEnd
                                                                   : kOrdinary;
  }
  return kinds;
}();

constexpr std::array<char, 256> kWritten = [] {
  std::array<char, 256> written{};
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    written[static_cast<std::size_t>(b)] = isSeparator(c) ? ' ' : toLowerAscii(c);
  }
  return written;
}();

// The one normaliser; `note(out, in, written)` hears where each character
// came from and whether it stays, and the plain version passes a note that
// does nothing.
//
// Every byte is written, and a separator that follows another (or starts
// the line) is written where the next character will go, so that nothing
// but the end of the line depends on the bytes: runs of letters and
// separators come in any order, and a branch on each would mispredict.
template <typename Note>
std::string_view normaliseWith(std::span<char> line, Note note) {
  char* const text = line.data();
  const std::size_t size = line.size();
  std::size_t in = 0;
  // Separators at the start vanish; most lines begin with some, and many
  // with eight blanks or more.
  constexpr std::uint64_t kEightBlanks = 0x2020202020202020u;
  for (std::uint64_t eight; size - in >= 8; in += 8) {
    std::memcpy(&eight, text + in, 8);
    if (eight != kEightBlanks) break;
  }
  while (in < size && kKinds[static_cast<unsigned char>(text[in])] == kSeparator) ++in;
  std::size_t out = 0;
  std::uint32_t afterSeparator = 1;
  for (; in < size; ++in) {
    const auto byte = static_cast<unsigned char>(text[in]);
    const std::uint32_t kind = kKinds[byte];  // 1 for a separator
    if (kind == kEnd) break;
    // Nothing is written past a separator that follows another: the next
    // character overwrites it.
    const std::uint32_t skip = kind & afterSeparator;
    text[out] = kWritten[byte];
    note(out, in, skip ^ 1);
    out += skip ^ 1;
    afterSeparator = kind;
  }
  return {text, out};
}

}  // namespace

std::string_view normalise(std::span<char> line) {
  return normaliseWith(line, [](std::size_t, std::size_t, unsigned) {});
}

std::string_view normalise(std::span<char> line, std::span<std::uint32_t> origins) {
  return normaliseWith(line, [origins](std::size_t out, std::size_t in, unsigned written) {
    if (written) origins[out] = static_cast<std::uint32_t>(in);
  });
}

}  // namespace quellmark
