// What must hold for any bytes read as a pattern file.
#pragma once

#include <string>
#include <string_view>

#include "ptn_format.h"

namespace tarnwick {

// Empty when reading `bytes`, writing the cells and reading the file back
// gives the same cells and a file of 134 bytes; else what broke.
inline std::string patternFault(std::string_view bytes) {
  const Cells cells = decodePattern(bytes);
  const std::string file = encodePattern(cells);
  if (file.size() != kPatternFileSize) return "the written file is not 134 bytes";
  if (decodePattern(file) != cells) return "the cells did not survive writing and reading";
  if (encodePattern(decodePattern(file)) != file) return "writing the cells again differs";
  return {};
}

}  // namespace tarnwick
