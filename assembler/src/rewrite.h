// Changing source files in place, for `quellmark fix` and `quellmark
// format`: the new text replaces a file only once it is written whole.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"

namespace quellmark {

// Replaces the regular file `name` (through a link, the file it names) with
// `text`: written to a temporary file beside it, flushed to the disk, given
// the file's permissions, then renamed over it. Nothing changes when any
// step fails, or when `name` is no regular file or is read-only; the
// problem is returned ("cannot write 'x': No space left on device").
std::optional<std::string> rewriteFile(const std::string& name, std::string_view text);

// The unified diff that turns `source` into `source` with `edits` applied,
// with three lines of context, as `diff -u` writes it for `a/name` and
// `b/name`; empty when the edits change nothing.
std::string unifiedDiff(std::string_view name, std::string_view source, std::vector<Edit> edits);

}  // namespace quellmark
