// Character classes of the assembler, written out for 7-bit ASCII so that
// they never depend on the locale and are defined for every byte value.
#pragma once

#include <cstddef>

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

}  // namespace quellmark
