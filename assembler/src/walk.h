// What the assembler does with a source, line by line, for the companion
// that explains it. The walk runs the assembler's own passes (the same
// pieces, normaliser, pass 1 and encoder) and listens to them; it writes
// no file. It reads the source twice, once for the symbol table and once
// to tell each line, so memory stays flat apart from the symbols. A large
// file's first reading runs in two halves at once, on two threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "build.h"
#include "chunked.h"
#include "encoder.h"
#include "pass1.h"
#include "streams.h"
#include "symbol_table.h"

namespace quellmark {

// One definition of a name, as pass 1 met it.
struct Definition {
  std::string_view name;  // kept by the walk
  std::int32_t value = 0;
  std::uint32_t line = 0;  // source line, from 1
  // Known once the whole source is read: the index of the first definition
  // of the same name when this one repeats it (else -1), and whether a
  // later one repeats this name.
  std::int32_t first = -1;
  bool definedAgain = false;
  bool label = false;  // a label, whose value is the address of a word
};

// The form that a piece of the intermediate text passed (no two prefixes
// start alike, so there is at most one), and what its pattern read. The
// text operand is kept as its place in the piece, so that the piece may
// move.
struct Match {
  Match(const InstructionForm& passed, const Operands& read, std::uint32_t at, std::uint32_t length,
        std::optional<std::int32_t> found)
      : form(&passed), operands(read), textAt(at), textLength(length), symbol(found) {
    operands.text = {};
  }

  const InstructionForm* form = nullptr;
  Operands operands;  // without its text
  std::uint32_t textAt = 0;
  std::uint32_t textLength = 0;
  // What pass 2 found for the text operand: the symbol's value, or nothing
  // when it is no symbol or was not looked up.
  std::optional<std::int32_t> symbol;
};

// One piece of the intermediate text as pass 2 read it: at most 99
// characters of its source piece's `intermediate`.
struct IntermediatePiece {
  std::uint32_t offset = 0;  // in the source piece's intermediate text
  std::uint32_t size = 0;
  std::string_view bytes;    // those characters, while the line is told
  std::optional<std::uint16_t> word;  // none: an empty line the full build skips
  std::uint32_t address = 0;          // of the word
  std::optional<Match> match;

  [[nodiscard]] std::string_view text() const { return bytes; }
  [[nodiscard]] std::string_view operandText() const {
    return match ? text().substr(match->textAt, match->textLength) : std::string_view();
  }
};

// One piece of a source line as pass 1 read it.
struct SourcePiece {
  std::uint32_t column = 1;  // of its first byte in the line
  // Set by the walk: the text of the whole line, which holds this piece's
  // bytes from `column` on, and how many bytes it read (a line feed that
  // ends it included).
  const std::string* lineText = nullptr;
  std::uint32_t rawSize = 0;
  // What pass 1 made of it; valid while its line is told.
  std::string_view normalised;
  Pass1Observer::Kind kind = Pass1Observer::Kind::blank;
  // Names defined here (views into `normalised`), with the index where
  // each begins (their columns are left to `columnOf`).
  struct Defined {
    std::string_view name;
    std::int32_t value = 0;
    std::size_t offset = 0;
  };
  std::vector<Defined> defined;
  std::string_view intermediate;  // what pass 1 wrote for this piece

  // The pieces that pass 2 read from `intermediate`, in order.
  [[nodiscard]] std::span<const IntermediatePiece> words() const {
    return {words_.data(), wordCount_};
  }
  // Another piece of pass 2, used again from an earlier line when there is
  // one: its text, word and match are to be set.
  IntermediatePiece& addWord();

  // Empties it for another piece, keeping its buffers.
  void clear();
  // Keeps a copy of `normalised` and `intermediate`, for a piece that the
  // reader's next piece may overwrite. `settle` points them, the names
  // defined and the words at the copies, once the piece stays where it is.
  void keep();
  void settle();

  // The column in the line of the byte at `offset` of `normalised`; the end
  // of the normalised text maps to the byte after the last one it took.
  [[nodiscard]] std::uint32_t columnOf(std::size_t offset) const;

 private:
  std::vector<IntermediatePiece> words_;
  std::size_t wordCount_ = 0;
  std::string kept_;
  std::string keptIntermediate_;
  bool isKept_ = false;
  // For each normalised byte, its index in the piece; worked out by the
  // assembler's normaliser when a column is first asked for.
  mutable std::vector<std::uint32_t> origins_;
  mutable bool originsKnown_ = false;
  mutable std::string raw_;  // the piece's bytes, normalised again for them
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
  explicit Walk(Build build);

  // The first reading: pass 1 over the whole source, for the symbol table
  // and the definitions in source order. False when the source cannot be
  // opened or read.
  [[nodiscard]] bool collect(const SourceOpener& open);

  // The second reading: calls `tell` with every source line in order.
  // False when the source cannot be opened or read.
  [[nodiscard]] bool walk(const SourceOpener& open,
                          const std::function<void(const SourceLine&)>& tell) const;

  [[nodiscard]] const SymbolTable& symbols() const { return symbols_; }
  // Every definition met, in source order, repeated names included, with
  // their lines but not their columns; the second reading meets them in the
  // same order and tells the columns.
  [[nodiscard]] const ChunkedVector<Definition>& definitions() const { return definitions_; }
  [[nodiscard]] Build build() const { return build_; }

  // A source of at least this many bytes that can be read from its middle
  // is read in two halves at once by the first reading, on two threads,
  // with the same result: by default a mebibyte, unless the machine has one
  // core only. Tests lower it.
  void splitSourcesFrom(std::uint64_t bytes) { splitFrom_ = bytes; }
  // Whether the last first reading was done in two halves.
  [[nodiscard]] bool readInHalves() const { return halves_; }

 private:
  // Keeps the names of the definitions in blocks that never move, so that
  // the views stay valid.
  class Names {
   public:
    std::string_view keep(std::string_view name);
    // Keeps the names that `other` kept as well.
    void take(Names&& other);

   private:
    static constexpr std::size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t free_ = 0;  // bytes left in the last block
    char* next_ = nullptr;
  };

  // What pass 1 met in one part of the source: its definitions, with lines
  // counted from the part's start, the line feeds read and the words
  // counted.
  struct Part {
    ChunkedVector<Definition> definitions;
    Names names;
    std::uint32_t lines = 0;
    std::uint32_t words = 0;
    bool failed = false;
  };
  // Pass 1 over `source` into `part`, entering the definitions into
  // `symbols` when it is given.
  void readPart(ByteSource& source, SymbolTable* symbols, Part& part) const;
  // Where a second reader of `source` may start: after the first line feed
  // from the middle on.
  [[nodiscard]] std::optional<std::uint64_t> splitPoint(const ByteSource& source) const;

  static constexpr std::uint64_t kSplitFrom = 1024 * 1024;

  Build build_;
  std::uint64_t splitFrom_;
  bool halves_ = false;
  SymbolTable symbols_;
  ChunkedVector<Definition> definitions_;
  Names names_;
};

// An ASCII-only test of the plain decimal numbers of the source language:
// an optional sign and at least one digit, nothing else ("5", "-3", "007").
bool isPlainDecimal(std::string_view token);

}  // namespace quellmark
