// Diagnostics for a source: what the silent assembler does with each line
// that a user may not expect, in the form compilers use
// ("FILE:LINE:COLUMN: warning: MESSAGE [-WNAME]", the line, a caret).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "streams.h"
#include "walk.h"

namespace quellmark {

// The part of a line shown under a remark: all of a line of at most 200
// bytes (without the CR of a CR LF line end), else a window of 200 bytes
// that holds the remark's column, with "..." where it cuts the line.
struct Shown {
  std::string_view text;   // the bytes shown
  std::uint64_t start = 0;  // where they begin in the line
  bool cutBefore = false;
  bool cutAfter = false;
};
// The shown part of `line` for a remark at `column` (from 1); its text is
// valid until `line` is read again.
Shown shownPart(const SourceLine& line, std::uint64_t column);

// A place in the source with what is said about it.
struct Remark {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::string message;
  // The line it is about, to show a part of when it is printed; without
  // one, `shown` is printed.
  const SourceLine* source = nullptr;
  Shown shown;
};

struct Finding {
  Remark at;
  std::string_view name;  // the -W name
  std::optional<Remark> note;
};

// Hears the findings of a check, in source order.
class FindingListener {
 public:
  virtual ~FindingListener() = default;
  // A finding, valid during the call; its remark's line may be read then.
  virtual void found(const Finding& finding) = 0;
};

// Checks the pieces a walk tells, and tells `listener` of each finding, in
// source order within each line. The walk must have collected its source.
class Checker final : public LineListener {
 public:
  Checker(const Walk& walk, FindingListener& listener);
  ~Checker() override;
  void piece(const SourceLine& line, const SourcePiece& piece) override;
  // How many findings it told.
  [[nodiscard]] std::size_t findings() const;

 private:
  class LineChecker;
  std::unique_ptr<LineChecker> checker_;
};

// Appends the warning and its note as they are printed for `file` to
// `out`: each remark, then the shown part of its line and a caret under
// its column.
void appendFinding(std::string_view file, const Finding& finding, std::string& out);

// Appends the note of a finding's fix as it is printed for `file`:
// "FILE:LINE:COLUMN: note: did you mean 'add'?".
void appendFixNote(std::string_view file, const Finding& finding, std::string_view note,
                   std::string& out);

// Checks `source` (it is read twice) and writes every finding for `file`
// to `out`, in source order. The number of findings, or nothing when the
// source could not be read.
std::optional<std::size_t> checkSource(std::string_view file, const SeekableSource& source,
                                       Build build, BufferedWriter& out);

}  // namespace quellmark
