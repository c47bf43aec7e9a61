// What the assembler does with a source, piece by piece, for the companion
// that explains it. The walk runs the assembler's own passes (the same
// pieces, normaliser, pass 1 and encoder) and listens to them; it writes
// no file. It reads the source twice, once for the symbol table and once
// to tell each piece, so memory stays flat apart from the names, however
// long a line is and however often a name is defined. A large file's first
// reading runs in two halves at once, on two threads.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
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

// A name as the first reading found it.
struct NameFacts {
  std::string_view name;  // kept by the walk
  std::int32_t value = 0;  // of its last definition, which wins
  std::uint32_t line = 0;  // of its last definition, from 1
  std::uint32_t definitions = 0;  // how often it is defined
  bool lastIsLabel = false;  // its last definition is a label, valued by its address
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
  std::uint32_t index = 0;   // among the pieces of its line, from 0
  std::uint32_t column = 1;  // of its first byte in the line
  std::string_view raw;  // its bytes as read, a line feed that ends it included
  // What pass 1 made of it.
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
  // Another piece of pass 2, used again from an earlier piece when there
  // is one: its text, word and match are to be set.
  IntermediatePiece& addWord();

  // Empties it for another piece, keeping its buffers.
  void clear();
  // Keeps a copy of the piece's bytes as `raw`.
  void keepRaw(std::span<const char> bytes) {
    std::copy(bytes.begin(), bytes.end(), rawBytes_.begin());
    raw = {rawBytes_.data(), bytes.size()};
  }

  // The column in the line of the byte at `offset` of `normalised`; the end
  // of the normalised text maps to the byte after the last one it took.
  [[nodiscard]] std::uint32_t columnOf(std::size_t offset) const;

 private:
  std::vector<IntermediatePiece> words_;
  std::size_t wordCount_ = 0;
  std::array<char, kPieceLength> rawBytes_;
  // For each normalised byte, its index in the piece; worked out by the
  // assembler's normaliser when a column is first asked for.
  mutable std::vector<std::uint32_t> origins_;
  mutable bool originsKnown_ = false;
  mutable std::string scratch_;  // the piece's bytes, normalised again for them
};

// A source line while the walk tells its pieces. Its length is known from
// its first piece on; its bytes are read on request, so that a line of any
// length costs no more memory than a short one.
class SourceLine {
 public:
  std::uint32_t number = 0;  // from 1
  std::uint64_t length = 0;  // bytes, without the line feed
  std::uint32_t pieces = 1;  // how many pieces the assembler reads it in
  bool endsInCr = false;     // its last byte is a CR (of a CR LF line end)

  // Up to `n` bytes of the line from `at` on, fewer at its end (or after a
  // read error); valid until the next call.
  [[nodiscard]] std::string_view bytes(std::uint64_t at, std::size_t n) const;

 private:
  friend class Walk;
  const SeekableSource* source_ = nullptr;
  std::uint64_t start_ = 0;  // where the line begins in the source
  // The whole line, when it is one piece, which the walk holds anyway.
  std::optional<std::string_view> held_;
  // Bytes read for earlier calls, from `cachedAt_` in the line.
  mutable std::string cache_;
  mutable std::uint64_t cachedAt_ = 0;
};

// Hears the lines of a source, piece by piece, from the walk.
class LineListener {
 public:
  virtual ~LineListener() = default;
  // The next piece of `line`; both stay valid until the call returns.
  virtual void piece(const SourceLine& line, const SourcePiece& piece) = 0;
  // `line` has had all its pieces.
  virtual void lineEnds(const SourceLine&) {}
};

class Walk {
 public:
  explicit Walk(Build build);

  // The first reading: pass 1 over the whole source, for the symbol table
  // and the facts of each name. False on a read error.
  [[nodiscard]] bool collect(const SeekableSource& source);

  // Lines of a source from a line's start on, with what the passes have
  // counted before them.
  struct Stretch {
    std::uint64_t from = 0;  // the first byte, where a line starts
    std::uint64_t to = UINT64_MAX;  // past the last byte
    std::uint32_t linesBefore = 0;
    std::uint32_t pass1Words = 0;  // the words pass 1 counted before `from`
    std::uint32_t pass2Words = 0;  // and those pass 2 made
  };
  // The second reading: tells `listener` every piece of every source line
  // in order. False on a read error.
  [[nodiscard]] bool walk(const SeekableSource& source, LineListener& listener) const {
    return walk(source, listener, Stretch{}, nullptr);
  }
  // The second reading of the lines of `stretch` alone; `wordsAfter`, when
  // given, is set to pass 2's word counter after them, and `pass1After` to
  // pass 1's.
  [[nodiscard]] bool walk(const SeekableSource& source, LineListener& listener,
                          const Stretch& stretch, std::uint32_t* wordsAfter,
                          std::uint32_t* pass1After = nullptr) const;
  // The second half of the last first reading, when it was read in two:
  // from the line where it began to the end. Pass 2 is taken to have made
  // as many words before it as pass 1 counted, which holds unless an
  // intermediate line is longer than pass 2 reads at once.
  [[nodiscard]] std::optional<Stretch> secondHalf() const { return secondHalf_; }
  // Whether a name was defined in both halves of the last first reading.
  [[nodiscard]] bool definedInBothHalves() const { return definedInBoth_; }

  [[nodiscard]] const SymbolTable& symbols() const { return symbols_; }
  // Every name defined, in the order of its first definition.
  [[nodiscard]] const ChunkedVector<NameFacts>& names() const { return names_; }
  // Whether any name is defined more than once.
  [[nodiscard]] bool repeats() const { return definitions_ != names_.size(); }
  // The index of `name` among `names()`, or nothing when it is not defined;
  // known only when some name is defined more than once, as only then is
  // it asked for.
  [[nodiscard]] std::optional<std::size_t> indexOf(std::string_view name) const;
  [[nodiscard]] Build build() const { return build_; }

  // A source of at least this many bytes is read in two halves at once by
  // the first reading, on two threads, with the same result: by default a
  // mebibyte, unless the machine has one core only. Tests lower it.
  void splitSourcesFrom(std::uint64_t bytes) { splitFrom_ = bytes; }
  // Reads the two halves one after the other, on this thread, with the same
  // result: for a fuzzer, where starting a thread for every input would cost
  // more than the reading.
  void readHalvesInTurn() { inTurn_ = true; }
  // Whether the last first reading was done in two halves.
  [[nodiscard]] bool readInHalves() const { return halves_; }

 private:
  // Keeps the names in blocks that never move, so that the views stay
  // valid.
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

  // What pass 1 met in one part of the source: its names, with lines
  // counted from the part's start, the line feeds read and the words
  // counted.
  struct Part {
    SymbolTable index;  // of each name among `names`
    ChunkedVector<NameFacts> names;
    Names kept;
    std::size_t definitions = 0;
    std::uint32_t lines = 0;
    std::uint32_t words = 0;
    bool failed = false;
  };
  // Pass 1 over `source` into `part`.
  void readPart(ByteSource& source, Part& part) const;
  // Pass 1 over the two halves of `source` at once, split at `split`, on
  // two threads; false, having read nothing, when no second thread can be
  // had (or the build has no threads).
  bool readTwoHalves(const SeekableSource& source, std::uint64_t split, Part& first,
                     Part& second) const;
  // Where a second reader of `source` may start: after the first line feed
  // from the middle on.
  [[nodiscard]] std::optional<std::uint64_t> splitPoint(const SeekableSource& source) const;

  static constexpr std::uint64_t kSplitFrom = 1024 * 1024;

  Build build_;
  std::uint64_t splitFrom_;
  bool halves_ = false;
  bool inTurn_ = false;
  std::optional<Stretch> secondHalf_;
  bool definedInBoth_ = false;
  SymbolTable symbols_;
  SymbolTable index_;  // of each name among names_
  ChunkedVector<NameFacts> names_;
  std::size_t definitions_ = 0;
  Names kept_;
};

// An ASCII-only test of the plain decimal numbers of the source language:
// an optional sign and at least one digit, nothing else ("5", "-3", "007").
bool isPlainDecimal(std::string_view token);

}  // namespace quellmark
