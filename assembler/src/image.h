// The hex image "out.hex": one group of four upper-case hexadecimal digits
// per word, least significant digit first, with nothing between the groups
// and no line end.
#pragma once

#include <array>
#include <string>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "streams.h"

namespace quellmark {

// Exchanges the first and fourth and the second and third characters of a
// text of at least four characters; the rest is left alone.
inline void swap4(std::span<char> text) {
  std::swap(text[0], text[3]);
  std::swap(text[1], text[2]);
}

// The four upper-case hexadecimal digits of `word`, most significant first,
// as "%04X" gives them: 0x1234 gives "1234".
inline std::array<char, 4> hexDigits(std::uint16_t word) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(word >> 12) & 0xF], kDigits[(word >> 8) & 0xF], kDigits[(word >> 4) & 0xF],
          kDigits[word & 0xF]};
}

// The four hex digits of the low 16 bits of `value`, as a text.
inline std::string hex4(std::uint32_t value) {
  const std::array<char, 4> digits = hexDigits(static_cast<std::uint16_t>(value));
  return std::string(digits.data(), digits.size());
}

// The group of `word` as it stands in the image: its digits reversed,
// 0x1234 gives "4321".
inline std::array<char, 4> imageGroup(std::uint16_t word) {
  std::array<char, 4> group = hexDigits(word);
  swap4(group);
  return group;
}

// Appends the groups of the words, in the order they are written.
class ImageWriter {
 public:
  explicit ImageWriter(BufferedWriter& out) : out_(out) {}
  void writeWord(std::uint16_t word) {
    const std::array<char, 4> group = imageGroup(word);
    out_.write({group.data(), group.size()});
  }

 private:
  BufferedWriter& out_;
};

}  // namespace quellmark
