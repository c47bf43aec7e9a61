// What must hold for any source, whatever its bytes: checked by the
// fuzzer on every input and by the tests on every input that ever found a
// fault.
#pragma once

#include <string>
#include <string_view>

#include "assemble.h"
#include "streams.h"

namespace quellmark {

// The number of words pass 2 makes of an intermediate text: one for every
// piece the reader cuts from it, but for empty lines in the full build.
inline std::size_t wordsOf(std::string_view intermediate, Build build) {
  MemorySource source(intermediate);
  PieceReader reader(source);
  std::size_t words = 0;
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    if (build == Build::reduced || piece[0] != '\n') ++words;
  }
  return words;
}

// Empty when every property holds for `source` in `build`, else what broke.
inline std::string assemblyFault(std::string_view source, Build build) {
  const Assembly first = assembleText(source, build);
  if (first.image.size() % 4 != 0) return "the image is not a whole number of groups";
  for (const char c : first.image) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return "the image holds a character other than 0-9 and A-F";
    }
  }
  if (first.image.size() / 4 != wordsOf(first.intermediate, build)) {
    return "the image has not one group per word of the intermediate text";
  }
  const Assembly second = assembleText(source, build);
  if (second.image != first.image || second.intermediate != first.intermediate) {
    return "the same source gave different results";
  }
  return {};
}

}  // namespace quellmark
