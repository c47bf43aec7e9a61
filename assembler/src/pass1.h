// Pass 1: collects labels and named constants, expands the data directives
// and writes the intermediate text that pass 2 encodes.
#pragma once

#include <cstdint>
#include <span>

#include "build.h"
#include "normaliser.h"
#include "streams.h"
#include "symbol_table.h"

namespace quellmark {

// Hears what pass 1 does with each line, for a program that explains it;
// the assembler programs have none.
class Pass1Observer {
 public:
  enum class Kind { blank, words, bytes, define, instruction, label };
  virtual ~Pass1Observer() = default;
  // The line, normalised in place, was classified by its first token.
  virtual void classified(Kind kind, std::string_view line, std::string_view first) = 0;
  // `name` (a view into the normalised line) was defined with `value`.
  virtual void defined(std::string_view name, std::int32_t value) = 0;
};

class Pass1 {
 public:
  Pass1(Build build, SymbolTable& symbols, BufferedWriter& intermediate,
        Pass1Observer* observer = nullptr)
      : build_(build), symbols_(&symbols), out_(&intermediate), observer_(observer) {}
  // A pass 1 that only tells `observer` of its definitions: for a second
  // reading of a source whose symbols are known already.
  Pass1(Build build, BufferedWriter& intermediate, Pass1Observer& observer)
      : build_(build), symbols_(nullptr), out_(&intermediate), observer_(&observer) {}
  // A pass 1 that writes no intermediate text: for a first reading that
  // wants only the symbols and the definitions.
  Pass1(Build build, SymbolTable& symbols, Pass1Observer& observer)
      : build_(build), symbols_(&symbols), out_(nullptr), observer_(&observer) {}
  // A pass 1 that keeps no table and writes nothing, only tells `observer`:
  // for a part of a first reading whose definitions are entered later.
  Pass1(Build build, Pass1Observer& observer)
      : build_(build), symbols_(nullptr), out_(nullptr), observer_(&observer) {}

  // Handles one piece of the source as the reader delivered it: normalises
  // it in place, classifies it by its first token and writes its
  // intermediate lines. Bytes after a NUL are not part of the line.
  void handleLine(std::span<char> piece);

  // The number of words pass 2 will have written before the next line.
  [[nodiscard]] std::uint32_t locationCounter() const { return counter_; }
  // Starts at a line after `counter` words: for a reading that begins in
  // the middle of a source.
  void startAfter(std::uint32_t counter) { counter_ = counter; }

 private:
  void expandWords(TokenSplitter& tokens);
  void expandBytes(TokenSplitter& tokens);
  void define(TokenSplitter& tokens);
  void label(std::string_view name, TokenSplitter& tokens);
  void writeDataLine(std::string_view number);
  void note(Pass1Observer::Kind kind, std::string_view line, std::string_view first) const {
    if (observer_) observer_->classified(kind, line, first);
  }
  void defineSymbol(std::string_view name, std::int32_t value) {
    if (symbols_) symbols_->define(name, value);
    if (observer_) observer_->defined(name, value);
  }

  void write(std::string_view text) {
    if (out_) out_->write(text);
  }
  void put(char c) {
    if (out_) out_->put(c);
  }

  Build build_;
  SymbolTable* symbols_;
  BufferedWriter* out_;  // none when nothing is written
  Pass1Observer* observer_;
  // Unsigned so that even an absurdly long source wraps instead of
  // overflowing; label values take it as a signed 32-bit number.
  std::uint32_t counter_ = 0;
};

// True when `token` is one of the twenty mnemonics of the source language.
bool isMnemonic(std::string_view token);

}  // namespace quellmark
