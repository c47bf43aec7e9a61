// The formatter: one layout for every source, which never changes what the
// assembler makes of it.
//
//   loop:   beq  r1, r0, done       ; leave when r1 = 0
//           lw   r1, squares(r2)
//   squares:
//           dw 0, 1, 4
//   define COUNT 5
//
// Labels at column 1; mnemonics and data directives at column 9, an
// instruction's operands at column 14 (after a longer label, one blank
// each); operands parted by ", ", an offset written as `4(r2)`; mnemonics
// and registers in lower case; a comment at column 33 where the code ends
// before it, else one blank after the code, its text kept byte for byte.
// Columns count letters, as editors show them, not bytes.
// `define` lines and lines of a comment alone keep their place.
//
// A line keeps its bytes when its new layout would read otherwise: when
// the assembler's canonical form of the two differs (a stray colon, a
// comment against the code, an unusual token), when either is read in
// several pieces, or when its statement is no instruction or directive of
// the build.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "build.h"

namespace quellmark {

inline constexpr std::size_t kMnemonicColumn = 9;
inline constexpr std::size_t kOperandColumn = 14;
inline constexpr std::size_t kCommentColumn = 33;

// Every line from `first` to `last` (from 1) whose layout changes, as an
// edit of the whole line (its line end stays).
std::vector<Edit> formatEdits(std::string_view source, Build build, std::uint32_t first = 1,
                              std::uint32_t last = UINT32_MAX);

// `source` in the layout.
std::string formatSource(std::string_view source, Build build);

}  // namespace quellmark
