// Character classes of the assembler, written out for 7-bit ASCII so that
// they never depend on the locale and are defined for every byte value.
#pragma once

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

}  // namespace quellmark
