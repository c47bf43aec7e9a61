// The listing of a source: every source line with the address, the word and
// the image group of each word it makes; then the symbol table.
#pragma once

#include <string>
#include <string_view>

#include "walk.h"

namespace quellmark {

// "AAAA WWWW GGGG" for a word at `address`: the address and the word as
// upper-case hexadecimal, most significant digit first (an address past
// 0xFFFF takes the digits it needs), then the word's group in the image.
std::string wordColumns(std::uint32_t address, std::uint16_t word);

// The rows of one source line: one per word it makes (its number and text
// on the first), or one with blank word columns when it makes none.
void appendListingRows(const SourceLine& line, std::string& out);

// The symbol table, one line per name in the order of first definition:
// the name, the value that wins (decimal), its low 16 bits as 0xHHHH, and
// the source line of the winning definition ("loop 1 0x0001 4").
void appendSymbols(const Walk& walk, std::string& out);
// The same, written to `out` row by row, so that a large table is never
// held whole.
void writeSymbols(const Walk& walk, BufferedWriter& out);

}  // namespace quellmark
