// Reads an image back into a source that the full build assembles to the
// same image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quellmark {

// The words of an image, or why it is no image.
struct ImageWords {
  std::vector<std::uint16_t> words;
  std::size_t badPosition = 0;  // from 1; 0 when the image is good
  std::string problem;          // what is wrong there
};

// Reads the text of an image: groups of four hexadecimal digits (upper or
// lower case), each least significant digit first; one line end (LF or
// CR LF) may follow. Any other character, or a last group of fewer than four
// digits, is a problem at its position.
ImageWords readImage(std::string_view text);

// The source text of one word: the instruction that encodes exactly to it
// ("addi r1, r0, 5", "lw r1, 4(r2)", "beq r1, r0, 2", "j 16", "hlt"), or
// "dw N" for a word that no instruction encodes exactly.
std::string disassembleWord(std::uint16_t word);

// The source of a whole image: one row per word, its text followed by a
// comment with the address and the word ("; AAAA WWWW").
std::string disassemble(const std::vector<std::uint16_t>& words);

}  // namespace quellmark
