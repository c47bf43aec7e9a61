// Pass 2's encoding of one intermediate line into a 16-bit word.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "build.h"
#include "symbol_table.h"

namespace quellmark {

// The operands that a pattern read from a line, by position. An operand the
// line did not supply reads as 0, a text operand as the empty text.
struct Operands {
  std::array<std::int32_t, 3> number{};
  std::string_view text;
};

// Reads `line` the way a scanf-style `pattern` matches it: the letters of
// the pattern must stand literally, a blank matches any run of white space
// (also none), "%d" skips white space and reads an optional sign and decimal
// digits (keeping the low 32 bits), "%s" skips white space and reads a run
// of other characters. Reading stops at the first mismatch; every operand,
// "%s" included, takes the next position. The first `matched` characters
// of `line` are known to equal those of `pattern` and are not compared.
Operands scanOperands(std::string_view line, std::string_view pattern, std::size_t matched = 0);

// The word of one intermediate line (its newline may be there or not):
// every prefix test of the build is run, and the words of all that match
// are combined by OR; a line that passes none is the word 0. `wordCounter`
// is the address of the word, which a branch to a symbol needs.
std::uint16_t encodeLine(std::string_view line, std::uint32_t wordCounter,
                         const SymbolTable& symbols, Build build);

}  // namespace quellmark
