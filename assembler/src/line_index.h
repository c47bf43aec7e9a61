// Places in a text as the language server protocol counts them, and as the
// assembler does. The protocol's lines end at a line feed, a CR LF or a
// lone CR, and its characters are UTF-8 bytes or UTF-16 units, as client
// and server agreed. The assembler's lines end only at a line feed (a CR
// stays in its line) and its columns count bytes. The one place where
// encodings and line ends are handled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis.h"

namespace quellmark {

enum class Encoding { utf8, utf16 };

struct Position {
  std::uint32_t line = 0;
  std::uint32_t character = 0;

  friend bool operator==(const Position&, const Position&) = default;
};

class LineIndex {
 public:
  // The text must outlive the index. Building it reads the text once;
  // looking places up in the order of the text costs time linear in the
  // bytes passed over, however long a line is.
  LineIndex(std::string_view text, Encoding encoding);

  // The byte offset of a protocol position. A character past the end of
  // its line's content is that end, before the line end; a character
  // inside a letter is the end of that letter; a line past the last is the
  // end of the text.
  [[nodiscard]] std::size_t offsetOf(Position position) const;
  // The protocol position of the byte at `offset`; an offset inside a
  // line end is the end of that line's content, one inside a letter the
  // start of the letter.
  [[nodiscard]] Position positionAt(std::size_t offset) const;

  // The offset of byte `column` (from 0) of the assembler's line `line`
  // (from 0); a column past the line's end is its end, before its line
  // feed, and a line past the last the end of the text.
  [[nodiscard]] std::size_t sourceOffset(std::uint32_t line, std::uint64_t column) const;
  // The assembler's line and column (both from 0) of the byte at `offset`.
  [[nodiscard]] std::pair<std::uint32_t, std::uint64_t> sourcePlace(std::size_t offset) const;
  // The protocol position of byte `column` of the assembler's line `line`.
  [[nodiscard]] Position positionOf(std::uint32_t line, std::uint64_t column) const {
    return positionAt(sourceOffset(line, column));
  }
  // The protocol positions of the start and end of `length` bytes from
  // byte `column` of the assembler's line `line`.
  [[nodiscard]] std::pair<Position, Position> rangeOf(std::uint32_t line, std::uint64_t column,
                                                      std::uint64_t length) const;
  // The protocol position of the end of the assembler's line `line`,
  // before its CR LF or line feed.
  [[nodiscard]] Position endOf(std::uint32_t line) const;
  // The bytes of the assembler's line `line`, without its line feed.
  [[nodiscard]] std::string_view sourceLine(std::uint32_t line) const;

  [[nodiscard]] std::size_t lines() const { return starts_.size(); }

 private:
  [[nodiscard]] std::uint32_t lineOf(std::size_t offset) const;
  [[nodiscard]] std::size_t contentEnd(std::uint32_t line) const;
  // UTF-16 units from the start of `line` to `offset`, a letter boundary.
  [[nodiscard]] std::uint32_t unitsTo(std::uint32_t line, std::size_t offset) const;
  [[nodiscard]] std::size_t offsetOfUnits(std::uint32_t line, std::uint32_t units) const;
  // Every kStep bytes of a long line: the first letter boundary at or
  // after that byte, with the units before it.
  struct Mark {
    std::size_t offset;
    std::uint32_t units;
  };
  const std::vector<Mark>& marksOf(std::uint32_t line) const;

  std::string_view text_;
  Encoding encoding_;
  std::vector<std::size_t> starts_;        // of the protocol's lines
  std::vector<std::size_t> sourceStarts_;  // of the assembler's lines, when they differ
  bool sameLines_ = true;                  // no CR: both kinds of line are one
  mutable std::uint32_t lastLine_ = 0;     // the line of the last look-up
  mutable std::unordered_map<std::uint32_t, std::vector<Mark>> marks_;  // by line
};

// Applies a protocol edit to `text`, whose index `index` is: the bytes
// from `from` to `to` become `replacement` (inserted at `from` when `to`
// comes before it). The index no longer fits the text afterwards.
void applyEdit(std::string& text, const LineIndex& index, Position from, Position to,
               std::string_view replacement);

// The one line in which `after` differs from `before`, when it differs
// within one line and no line feed comes or goes: its number (from 1) and
// its text in each, with its line feed when it has one. Nothing when the
// texts are the same or differ otherwise.
struct ChangedLine {
  std::uint32_t line = 0;
  std::string_view before;
  std::string_view after;
};
std::optional<ChangedLine> changedLine(std::string_view before, std::string_view after);

// `source` with every edit applied, its places counted as the assembler
// counts them; of edits that overlap, the first one wins.
std::string applyEdits(std::string_view source, std::vector<Edit> edits);

}  // namespace quellmark
