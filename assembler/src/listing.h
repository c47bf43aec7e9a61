// The listing of a source: every source line with the address, the word and
// the image group of each word it makes; then the symbol table.
#pragma once

#include <string>
#include <string_view>

#include "walk.h"

namespace quellmark {

// A value as the listing writes an address: upper-case hexadecimal, at
// least four digits ("0012", "10000").
std::string hexText(std::uint32_t value);

// "AAAA WWWW GGGG" for a word at `address`: the address and the word as
// upper-case hexadecimal, most significant digit first (an address past
// 0xFFFF takes the digits it needs), then the word's group in the image.
std::string wordColumns(std::uint32_t address, std::uint16_t word);

// Writes the rows of each source line the walk tells: one per word it
// makes (its number and text on the first), or one with blank word columns
// when it makes none. A line of more than 200 bytes shows its first 200
// and "...".
class ListingRows final : public LineListener {
 public:
  explicit ListingRows(BufferedWriter& out) : out_(out) {}
  void piece(const SourceLine& line, const SourcePiece& piece) override;
  void lineEnds(const SourceLine& line) override;

 private:
  // The text of a line as its first row shows it; valid until the line
  // is read again.
  std::string_view listedText(const SourceLine& line);

  BufferedWriter& out_;
  bool rowWritten_ = false;  // for the line being told
  std::string row_;          // kept from row to row for its buffer
  std::string cut_;          // the shown part of a long line
};

// The listing of `source`: its rows, a blank line and the symbol table.
// False when the source could not be read.
[[nodiscard]] bool writeListing(const SeekableSource& source, Build build, BufferedWriter& out);
// The symbol table of `source` alone; false when it could not be read.
[[nodiscard]] bool writeSymbolTable(const SeekableSource& source, Build build,
                                    BufferedWriter& out);

// The symbol table, one line per name in the order of first definition:
// the name, the value that wins (decimal), its low 16 bits as 0xHHHH, and
// the source line of the winning definition ("loop 1 0x0001 4").
void appendSymbols(const Walk& walk, std::string& out);
// The same, written to `out` row by row, so that a large table is never
// held whole.
void writeSymbols(const Walk& walk, BufferedWriter& out);

}  // namespace quellmark
