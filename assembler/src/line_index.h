// Places in a text as the language server protocol counts them: lines
// from 0 and characters in UTF-8 bytes or UTF-16 units, as the client and
// server agreed; the analysis counts bytes. The one place where encodings
// are handled.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace quellmark {

enum class Encoding { utf8, utf16 };

struct Position {
  std::uint32_t line = 0;
  std::uint32_t character = 0;

  friend bool operator==(const Position&, const Position&) = default;
};

class LineIndex {
 public:
  // Lines end at each line feed. The text must outlive the index.
  LineIndex(std::string_view text, Encoding encoding);

  // The byte offset of `position`; a character past its line's end is the
  // end of the line (before its line feed), a line past the last the end
  // of the text.
  [[nodiscard]] std::size_t offsetOf(Position position) const;
  // The position of the byte at `column` (from 0) of `line` (from 0); a
  // column past the end of the line is its end.
  [[nodiscard]] Position positionOf(std::uint32_t line, std::uint64_t column) const;
  // The end of `line`, before its CR LF or line feed.
  [[nodiscard]] Position endOf(std::uint32_t line) const;

  [[nodiscard]] std::size_t lines() const { return starts_.size(); }
  // The bytes of `line`, without its line feed.
  [[nodiscard]] std::string_view line(std::uint32_t line) const;

 private:
  std::string_view text_;
  Encoding encoding_;
  std::vector<std::size_t> starts_;
};

}  // namespace quellmark
