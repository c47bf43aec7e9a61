// The two passes over streams, and a whole run held in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "build.h"
#include "streams.h"
#include "symbol_table.h"

namespace quellmark {

// Pass 1: reads the source piece by piece, fills `symbols` and writes the
// intermediate text, then closes `intermediate`. False on a read error of
// the source or a write or close error of the intermediate text.
[[nodiscard]] bool runPass1(ByteSource& source, ByteSink& intermediate, SymbolTable& symbols,
                            Build build);

// Pass 2: reads the intermediate text piece by piece, encodes each piece
// into its word and writes the image, then closes `image`. False on a read
// error of the intermediate text or a write or close error of the image.
[[nodiscard]] bool runPass2(ByteSource& intermediate, ByteSink& image, const SymbolTable& symbols,
                            Build build);

class EncodeObserver;

// Pass 2, one piece of the intermediate text at a time.
class Pass2 {
 public:
  Pass2(const SymbolTable& symbols, Build build, EncodeObserver* observer = nullptr)
      : symbols_(symbols), build_(build), observer_(observer) {}

  // The word of one piece as the reader delivered it, or nothing for an
  // empty line in the full build, which makes no word. Bytes after a NUL
  // are not part of the line. Pass 2 only reads the piece.
  std::optional<std::uint16_t> handleLine(std::string_view line);
  // The address of the next word.
  [[nodiscard]] std::uint32_t wordCounter() const { return wordCounter_; }
  // Starts at a piece after `counter` words: for a reading that begins in
  // the middle of the intermediate text.
  void startAfter(std::uint32_t counter) { wordCounter_ = counter; }

 private:
  const SymbolTable& symbols_;
  Build build_;
  EncodeObserver* observer_;
  std::uint32_t wordCounter_ = 0;
};

struct Assembly {
  std::string intermediate;  // what "temp.txt" holds
  std::string image;         // what "out.hex" holds
};

// A whole run over a source held in memory, through the same two passes as
// the programs.
Assembly assembleText(std::string_view source, Build build);

}  // namespace quellmark
