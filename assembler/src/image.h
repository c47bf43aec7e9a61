// The hex image "out.hex": one group of four upper-case hexadecimal digits
// per word, least significant digit first, with nothing between the groups
// and no line end.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "streams.h"

namespace quellmark {

// Exchanges the first and fourth and the second and third characters of a
// text of at least four characters; the rest is left alone.
void swap4(std::span<char> text);

// The group of `word` as it stands in the image: 0x1234 gives "4321".
std::array<char, 4> imageGroup(std::uint16_t word);

// Appends the groups of the words, in the order they are written.
class ImageWriter {
 public:
  explicit ImageWriter(BufferedWriter& out) : out_(out) {}
  void writeWord(std::uint16_t word);

 private:
  BufferedWriter& out_;
};

}  // namespace quellmark
