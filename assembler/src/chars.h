// Character classes of the assembler, written out for 7-bit ASCII so that
// they never depend on the locale and are defined for every byte value.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quellmark {

// The six white-space characters of the C locale.
constexpr bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// White space and ",()": a run of them becomes one blank in a normalised line.
constexpr bool isSeparator(char c) {
  return isWhiteSpace(c) || c == ',' || c == '(' || c == ')';
}

constexpr bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr char toLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Byte-wise equality, inlined: the texts compared here (mnemonics,
// prefixes, names) are a few bytes long, too short to pay for a call.
constexpr bool sameBytes(const char* a, const char* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The eight bytes at `p` as one number, the first one lowest, whatever the
// byte order of the machine.
inline std::uint64_t load8(const char* p) {
  std::uint64_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, 8);
  } else {
    for (int i = 0; i < 8; ++i) {
      value |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    }
  }
  return value;
}

// The index of the first of the eight bytes of `word` that equals `a` or
// `b`, or 8 when none does. The usual test for a zero byte marks the first
// one exactly (later marks may be false).
constexpr unsigned firstOfEither(std::uint64_t word, char a, char b) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  const auto zeroes = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  const std::uint64_t marks = zeroes(word ^ (kOnes * static_cast<unsigned char>(a))) |
                              zeroes(word ^ (kOnes * static_cast<unsigned char>(b)));
  return static_cast<unsigned>(std::countr_zero(marks)) / 8;
}

// The first byte from `p` on that equals `a` or `b`, or `end`: eight bytes
// at a time while eight are there, so that the length of a token costs no
// mispredicted branch.
inline const char* findEither(const char* p, const char* const end, char a, char b) {
  for (; end - p >= 8; p += 8) {
    const unsigned at = firstOfEither(load8(p), a, b);
    if (at < 8) return p + at;
  }
  while (p != end && *p != a && *p != b) ++p;
  return p;
}

}  // namespace quellmark
