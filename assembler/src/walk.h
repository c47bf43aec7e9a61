// What the assembler does with a source, line by line, for the companion
// that explains it. The walk runs the assembler's own passes (the same
// pieces, normaliser, pass 1 and encoder) and listens to them; it writes
// no file. It reads the source twice, once for the symbol table and once
// to tell each line, so memory stays flat apart from the symbols.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "build.h"
#include "encoder.h"
#include "pass1.h"
#include "streams.h"
#include "symbol_table.h"

namespace quellmark {

// One definition of a name, as pass 1 met it.
struct Definition {
  std::string name;
  std::int32_t value = 0;
  std::uint32_t line = 0;    // source line, from 1
  std::uint32_t column = 0;  // of the name, from 1
};

// One form that a piece of the intermediate text passed, and what its
// pattern read.
struct Match {
  const InstructionForm* form = nullptr;
  Operands operands;
};

// One piece of the intermediate text as pass 2 read it.
struct IntermediatePiece {
  std::string text;                   // with its newline, if it has one
  std::optional<std::uint16_t> word;  // none: an empty line the full build skips
  std::uint32_t address = 0;          // of the word
  std::vector<Match> matches;
};

// One piece of a source line as pass 1 read it.
struct SourcePiece {
  std::uint32_t column = 1;  // of its first byte in the line
  std::string raw;           // as read, before the cut at a NUL
  std::string normalised;
  std::vector<std::uint32_t> origins;  // for each normalised byte, its index in `raw`
  Pass1Observer::Kind kind = Pass1Observer::Kind::blank;
  std::string first;  // the first token
  // Names defined here, with the index in `normalised` where each begins.
  std::vector<std::pair<Definition, std::size_t>> defined;
  std::string intermediate;  // what pass 1 wrote for this piece
  // A deque, so that the operand texts of its matches, views into the
  // pieces' texts, stay valid as it grows.
  std::deque<IntermediatePiece> words;

  // The column in the line of the byte at `offset` of `normalised`; the end
  // of the normalised text maps to the byte after the last one it took.
  [[nodiscard]] std::uint32_t columnOf(std::size_t offset) const;
};

struct SourceLine {
  std::uint32_t number = 0;  // from 1
  std::string text;          // the whole line, without its line feed
  std::vector<SourcePiece> pieces;
};

// Opens the source afresh for each of the two readings; null when it
// cannot be opened.
using SourceOpener = std::function<std::unique_ptr<ByteSource>()>;

class Walk {
 public:
  explicit Walk(Build build) : build_(build) {}

  // The first reading: pass 1 over the whole source, for the symbol table
  // and the definitions in source order. False when the source cannot be
  // opened or read.
  [[nodiscard]] bool collect(const SourceOpener& open);

  // The second reading: calls `tell` with every source line in order.
  // False when the source cannot be opened or read.
  [[nodiscard]] bool walk(const SourceOpener& open,
                          const std::function<void(const SourceLine&)>& tell) const;

  [[nodiscard]] const SymbolTable& symbols() const { return symbols_; }
  // Every definition met, in source order, repeated names included.
  [[nodiscard]] const std::vector<Definition>& definitions() const { return definitions_; }
  [[nodiscard]] Build build() const { return build_; }

 private:
  Build build_;
  SymbolTable symbols_;
  std::vector<Definition> definitions_;
};

// An ASCII-only test of the plain decimal numbers of the source language:
// an optional sign and at least one digit, nothing else ("5", "-3", "007").
bool isPlainDecimal(std::string_view token);

}  // namespace quellmark
