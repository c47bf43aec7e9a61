// Reads an image back into a source that the full build assembles to the
// same image.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "streams.h"

namespace quellmark {

// The words of an image, or why it is no image.
struct ImageWords {
  std::vector<std::uint16_t> words;
  std::uint64_t badPosition = 0;  // from 1; 0 when the image is good
  std::string problem;          // what is wrong there
};

// Reads the text of an image: groups of four hexadecimal digits (upper or
// lower case), each least significant digit first; one line end (LF or
// CR LF) may follow. Any other character, or a last group of fewer than four
// digits, is a problem at its position. The text may come in parts of any
// size; only the words are kept, two bytes each.
class ImageReader {
 public:
  void feed(std::string_view bytes);
  // The words, or the problem, once every part is fed.
  [[nodiscard]] ImageWords finish();

 private:
  ImageWords image_;
  std::uint32_t group_ = 0;  // the digits of the group being read
  int digits_ = 0;
  std::uint64_t size_ = 0;      // bytes fed
  std::uint64_t firstBad_ = 0;  // from 1: the first byte that is no digit
  char bad_ = 0;
  std::array<char, 2> last_{};  // the last two bytes fed
};

// Reads a whole image text.
ImageWords readImage(std::string_view text);

// The source text of one word: the instruction that encodes exactly to it
// ("addi r1, r0, 5", "lw r1, 4(r2)", "beq r1, r0, 2", "j 16", "hlt"), or
// "dw N" for a word that no instruction encodes exactly.
std::string disassembleWord(std::uint16_t word);

// The source of a whole image: one row per word, its text followed by a
// comment with the address and the word ("; AAAA WWWW").
std::string disassemble(const std::vector<std::uint16_t>& words);
// The same, written row by row.
void writeDisassembly(const std::vector<std::uint16_t>& words, BufferedWriter& out);

}  // namespace quellmark
