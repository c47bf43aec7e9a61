// The words of the checker's messages: texts, quoted tokens and numbers
// made into one string, and the phrases several findings share.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "image.h"

namespace quellmark::messages {

// A token as a message shows it, in backquotes.
struct Quoted {
  std::string_view text;
};

// A word as four upper-case hexadecimal digits.
struct Hex4 {
  std::uint16_t word;
};

template <typename Part>
void appendPart(std::string& out, const Part& part) {
  if constexpr (std::is_same_v<Part, Quoted>) {
    // A token of a piece may be 99 bytes long; a message quotes at most 64
    // of them, so that no message line grows much past 300 bytes.
    constexpr std::size_t kQuoted = 64;
    out += '`';
    if (part.text.size() <= kQuoted) {
      out.append(part.text);
    } else {
      out.append(part.text.substr(0, kQuoted - 3));
      out += "...";
    }
    out += '`';
  } else if constexpr (std::is_same_v<Part, Hex4>) {
    const std::array<char, 4> digits = hexDigits(part.word);
    out.append(digits.data(), digits.size());
  } else if constexpr (std::is_same_v<Part, char>) {
    out += part;
  } else if constexpr (std::is_integral_v<Part>) {
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, part).ptr);
  } else {
    out.append(std::string_view(part));
  }
}

// A message made of texts, quoted tokens and numbers, in one string.
template <typename... Parts>
std::string said(const Parts&... parts) {
  std::string text;
  text.reserve(160);  // room for nearly every message at once
  (appendPart(text, parts), ...);
  return text;
}

// The value of the low `bits` bits of `value` as a two's-complement number.
inline std::int64_t signedField(std::int64_t value, int bits) {
  const std::int64_t field = value & ((std::int64_t{1} << bits) - 1);
  return field >= (std::int64_t{1} << (bits - 1)) ? field - (std::int64_t{1} << bits) : field;
}

inline bool looksHexadecimal(std::string_view token) {
  if (!token.empty() && (token[0] == '-' || token[0] == '+')) token.remove_prefix(1);
  return token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
}

// What a text operand that is neither a name nor a plain number reads as.
inline std::string readsAs(std::string_view token, std::int32_t value, std::string_view what) {
  if (looksHexadecimal(token)) {
    return said(Quoted{token}, " reads as ", value,
                ": the source language has only decimal numbers");
  }
  return said(Quoted{token}, " is ", what, ": it reads as ", value);
}

// What a register number beyond its field at `shift` sets: every field to
// its left that one of its bits lands in.
inline std::string spillOf(std::int32_t number, int shift) {
  if (number < 0) return "a negative number sets every bit to the left of its field";
  const std::uint64_t bits = static_cast<std::uint64_t>(number) << shift;
  std::vector<const char*> into;
  if (shift < 7 && (bits & 0x0380u)) into.push_back("the middle register field");
  if (shift < 10 && (bits & 0x1C00u)) into.push_back("the high register field");
  if (bits & 0xE000u) into.push_back("the opcode");
  if (bits & ~std::uint64_t{0xFFFF}) into.push_back("bits past the word, which are cut");
  std::string text = "it spills into ";
  for (std::size_t i = 0; i < into.size(); ++i) {
    if (i > 0) text += i + 1 == into.size() ? " and " : ", ";
    text += into[i];
  }
  return text;
}

// What a byte-order mark at the start of a source does, by the bytes that
// follow it on the first line.
inline std::string byteOrderMarkMessage(std::string_view after) {
  std::size_t end = 0;
  while (end < after.size() && after[end] != ' ' && after[end] != '\t' && after[end] != ',' &&
         after[end] != ';' && after[end] != ':' && after[end] != '\r') {
    ++end;
  }
  const std::string_view token = after.substr(0, end);
  const std::string start =
      "the source begins with a byte-order mark (EF BB BF), which the assembler reads as part of "
      "the first token";
  if (token.empty()) return start;
  if (end < after.size() && after[end] == ':') {
    return said(start, ": the label defined here is not ", Quoted{token},
                " but those three bytes and ", Quoted{token}, ", so a use of ", Quoted{token},
                " finds no label");
  }
  return said(start, ": ", Quoted{token}, " is read with those three bytes in front of it");
}

}  // namespace quellmark::messages
