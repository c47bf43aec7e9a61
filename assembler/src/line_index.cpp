#include "line_index.h"

#include <algorithm>

namespace quellmark {

namespace {

// How many bytes the UTF-8 sequence that starts with `lead` takes; a byte
// that starts none counts alone, as a replacement character would.
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// The length of the sequence at `at` of `line`, when it is whole.
std::size_t sequenceAt(std::string_view line, std::size_t at) {
  const std::size_t n = sequenceLength(static_cast<unsigned char>(line[at]));
  if (at + n > line.size()) return 1;
  for (std::size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(line[at + i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

}  // namespace

LineIndex::LineIndex(std::string_view text, Encoding encoding) : text_(text), encoding_(encoding) {
  starts_.push_back(0);
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    starts_.push_back(at + 1);
  }
}

std::string_view LineIndex::line(std::uint32_t line) const {
  if (line >= starts_.size()) return {};
  const std::size_t start = starts_[line];
  const std::size_t end = line + 1 < starts_.size() ? starts_[line + 1] - 1 : text_.size();
  return text_.substr(start, end - start);
}

std::size_t LineIndex::offsetOf(Position position) const {
  if (position.line >= starts_.size()) return text_.size();
  const std::string_view text = line(position.line);
  const std::size_t start = starts_[position.line];
  if (encoding_ == Encoding::utf8) return start + std::min<std::size_t>(position.character, text.size());
  std::size_t units = 0;
  std::size_t at = 0;
  while (at < text.size() && units < position.character) {
    const std::size_t n = sequenceAt(text, at);
    units += n == 4 ? 2 : 1;
    at += n;
  }
  return start + at;
}

Position LineIndex::positionOf(std::uint32_t line, std::uint64_t column) const {
  if (line >= starts_.size()) return endOf(static_cast<std::uint32_t>(starts_.size() - 1));
  const std::string_view text = this->line(line);
  const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(column, text.size()));
  if (encoding_ == Encoding::utf8) return {line, static_cast<std::uint32_t>(end)};
  std::uint32_t units = 0;
  for (std::size_t at = 0; at < end;) {
    const std::size_t n = sequenceAt(text, at);
    units += n == 4 ? 2 : 1;
    at += n;
  }
  return {line, units};
}

Position LineIndex::endOf(std::uint32_t line) const {
  std::string_view text = this->line(line);
  if (text.ends_with('\r')) text.remove_suffix(1);
  return positionOf(line, text.size());
}

}  // namespace quellmark
