// Diagnostics for a source: what the silent assembler does with each line
// that a user may not expect, in the form compilers use
// ("FILE:LINE:COLUMN: warning: MESSAGE [-WNAME]", the line, a caret).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "streams.h"
#include "walk.h"

namespace quellmark {

// A place in the source with what is said about it.
struct Remark {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::string message;
  std::string_view text;  // the source line, shown under the remark (not owned)
};

struct Finding {
  Remark at;
  std::string_view name;  // the -W name
  std::optional<Remark> note;
};

// Appends the warning and its note as they are printed for `file` to
// `out`: each remark, then its source line (cut after 200 bytes with "...")
// and a caret under its column.
void appendFinding(std::string_view file, const Finding& finding, std::string& out);

// Checks the source that `open` gives (it is read twice) and writes every
// finding for `file` to `out`, in source order. The number of findings, or
// nothing when the source could not be read.
std::optional<std::size_t> checkSource(std::string_view file, const SourceOpener& open,
                                       Build build, BufferedWriter& out);

}  // namespace quellmark
