#include "image.h"

#include <utility>

namespace quellmark {

void swap4(std::span<char> text) {
  std::swap(text[0], text[3]);
  std::swap(text[1], text[2]);
}

std::array<char, 4> imageGroup(std::uint16_t word) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  // The four digits most significant first, as "%04X" gives them, then
  // reversed.
  std::array<char, 4> group = {kDigits[(word >> 12) & 0xF], kDigits[(word >> 8) & 0xF],
                               kDigits[(word >> 4) & 0xF], kDigits[word & 0xF]};
  swap4(group);
  return group;
}

void ImageWriter::writeWord(std::uint16_t word) {
  const std::array<char, 4> group = imageGroup(word);
  out_.write({group.data(), group.size()});
}

}  // namespace quellmark
