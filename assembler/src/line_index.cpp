#include "line_index.h"

#include <algorithm>
#include <unordered_map>

namespace quellmark {

namespace {

// Lines longer than this get marks, so that a place on them is found
// without counting from their start.
constexpr std::size_t kStep = 256;
constexpr std::size_t kLong = 4 * kStep;

// How many bytes the UTF-8 sequence that starts with `lead` takes; a byte
// that starts none counts alone, as a replacement character would.
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// The length of the sequence at `at` of `text`, when it is whole and ends
// by `end`.
std::size_t sequenceAt(std::string_view text, std::size_t at, std::size_t end) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  const std::size_t n = sequenceLength(lead);
  if (at + n > end) return 1;
  for (std::size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

std::uint32_t unitsOf(std::size_t sequence) {
  return sequence == 4 ? 2 : 1;
}

}  // namespace

LineIndex::LineIndex(std::string_view text, Encoding encoding) : text_(text), encoding_(encoding) {
  starts_.push_back(0);
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    starts_.push_back(at + 1);
  }
  if (text.find('\r') == std::string_view::npos) return;
  // A CR ends a protocol line too, unless a line feed follows it.
  sameLines_ = false;
  sourceStarts_ = std::move(starts_);
  starts_.clear();
  starts_.push_back(0);
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\n' || (c == '\r' && (at + 1 == text.size() || text[at + 1] != '\n'))) {
      starts_.push_back(at + 1);
    }
  }
}

std::uint32_t LineIndex::lineOf(std::size_t offset) const {
  const auto fits = [this, offset](std::uint32_t line) {
    return starts_[line] <= offset && (line + 1 == starts_.size() || offset < starts_[line + 1]);
  };
  if (lastLine_ < starts_.size() && fits(lastLine_)) return lastLine_;
  if (lastLine_ + 1 < starts_.size() && fits(lastLine_ + 1)) return ++lastLine_;
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
  lastLine_ = static_cast<std::uint32_t>(after - starts_.begin() - 1);
  return lastLine_;
}

std::size_t LineIndex::contentEnd(std::uint32_t line) const {
  if (line + 1 >= starts_.size()) return text_.size();
  std::size_t end = starts_[line + 1] - 1;  // at its line end's last byte
  if (text_[end] == '\n' && end > starts_[line] && text_[end - 1] == '\r') --end;
  return end;
}

const std::vector<LineIndex::Mark>& LineIndex::marksOf(std::uint32_t line) const {
  const auto [found, isNew] = marks_.try_emplace(line);
  std::vector<Mark>& marks = found->second;
  if (!isNew) return marks;
  const std::size_t start = starts_[line];
  const std::size_t end = contentEnd(line);
  std::uint32_t units = 0;
  std::size_t next = start;
  for (std::size_t at = start; at < end;) {
    while (at >= next) {
      marks.push_back(Mark{at, units});
      next += kStep;
    }
    const std::size_t n = sequenceAt(text_, at, end);
    units += unitsOf(n);
    at += n;
  }
  if (marks.empty()) marks.push_back(Mark{start, 0});
  return marks;
}

std::uint32_t LineIndex::unitsTo(std::uint32_t line, std::size_t offset) const {
  std::size_t at = starts_[line];
  const std::size_t end = contentEnd(line);
  std::uint32_t units = 0;
  if (end - at > kLong) {
    const std::vector<Mark>& marks = marksOf(line);
    std::size_t k = std::min((offset - at) / kStep, marks.size() - 1);
    if (marks[k].offset > offset && k > 0) --k;
    at = marks[k].offset;
    units = marks[k].units;
  }
  while (at < offset) {
    const std::size_t n = sequenceAt(text_, at, end);
    if (at + n > offset) break;  // inside a letter: its start
    units += unitsOf(n);
    at += n;
  }
  return units;
}

std::size_t LineIndex::offsetOfUnits(std::uint32_t line, std::uint32_t units) const {
  std::size_t at = starts_[line];
  const std::size_t end = contentEnd(line);
  std::uint32_t counted = 0;
  if (end - at > kLong) {
    const std::vector<Mark>& marks = marksOf(line);
    const auto after = std::upper_bound(marks.begin(), marks.end(), units,
                                        [](std::uint32_t u, const Mark& m) { return u < m.units; });
    const Mark& mark = *(after - 1);  // the first mark has 0 units
    at = mark.offset;
    counted = mark.units;
  }
  while (at < end && counted < units) {
    const std::size_t n = sequenceAt(text_, at, end);
    counted += unitsOf(n);
    at += n;
  }
  return at;
}

std::size_t LineIndex::offsetOf(Position position) const {
  if (position.line >= starts_.size()) return text_.size();
  const std::size_t start = starts_[position.line];
  const std::size_t end = contentEnd(position.line);
  if (encoding_ == Encoding::utf8) return start + std::min<std::size_t>(position.character, end - start);
  return offsetOfUnits(position.line, position.character);
}

Position LineIndex::positionAt(std::size_t offset) const {
  offset = std::min(offset, text_.size());
  const std::uint32_t line = lineOf(offset);
  offset = std::min(offset, contentEnd(line));
  if (encoding_ == Encoding::utf8) return {line, static_cast<std::uint32_t>(offset - starts_[line])};
  return {line, unitsTo(line, offset)};
}

std::size_t LineIndex::sourceOffset(std::uint32_t line, std::uint64_t column) const {
  const std::string_view bytes = sourceLine(line);
  if (line >= (sameLines_ ? starts_ : sourceStarts_).size()) return text_.size();
  return static_cast<std::size_t>(bytes.data() - text_.data()) +
         static_cast<std::size_t>(std::min<std::uint64_t>(column, bytes.size()));
}

std::pair<std::uint32_t, std::uint64_t> LineIndex::sourcePlace(std::size_t offset) const {
  const std::vector<std::size_t>& starts = sameLines_ ? starts_ : sourceStarts_;
  offset = std::min(offset, text_.size());
  const auto after = std::upper_bound(starts.begin(), starts.end(), offset);
  const auto line = static_cast<std::uint32_t>(after - starts.begin() - 1);
  return {line, offset - starts[line]};
}

std::string_view LineIndex::sourceLine(std::uint32_t line) const {
  const std::vector<std::size_t>& starts = sameLines_ ? starts_ : sourceStarts_;
  if (line >= starts.size()) return text_.substr(text_.size());
  const std::size_t start = starts[line];
  const std::size_t end = line + 1 < starts.size() ? starts[line + 1] - 1 : text_.size();
  return text_.substr(start, end - start);
}

std::pair<Position, Position> LineIndex::rangeOf(std::uint32_t line, std::uint64_t column,
                                                 std::uint64_t length) const {
  const std::size_t from = sourceOffset(line, column);
  const std::size_t to = sourceOffset(line, column + length);
  const Position start = positionAt(from);
  const std::string_view bytes = text_.substr(from, to - from);
  // Bytes within one line (a token) end on the line they start on, found
  // without looking the line up again.
  if (bytes.find_first_of("\r\n") != std::string_view::npos) return {start, positionAt(to)};
  if (encoding_ == Encoding::utf8) {
    return {start, Position{start.line, start.character + static_cast<std::uint32_t>(bytes.size())}};
  }
  std::uint32_t units = 0;
  for (std::size_t at = from; at < to;) {
    const std::size_t n = sequenceAt(text_, at, text_.size());
    if (at + n > to) break;  // an end inside a letter is its start
    units += unitsOf(n);
    at += n;
  }
  return {start, Position{start.line, start.character + units}};
}

Position LineIndex::endOf(std::uint32_t line) const {
  std::string_view bytes = sourceLine(line);
  if (bytes.ends_with('\r')) bytes.remove_suffix(1);
  return positionAt(static_cast<std::size_t>(bytes.data() - text_.data()) + bytes.size());
}

void applyEdit(std::string& text, const LineIndex& index, Position from, Position to,
               std::string_view replacement) {
  const std::size_t start = index.offsetOf(from);
  const std::size_t end = index.offsetOf(to);
  // A range that ends before it starts is an insertion at its start.
  text.replace(start, end >= start ? end - start : 0, replacement);
}

std::optional<ChangedLine> changedLine(std::string_view before, std::string_view after) {
  const std::size_t shorter = std::min(before.size(), after.size());
  const std::size_t head = static_cast<std::size_t>(
      std::mismatch(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(shorter), after.begin()).first -
      before.begin());
  if (head == before.size() && head == after.size()) return std::nullopt;
  // The same bytes at the end, short of those at the start.
  const std::size_t tail = static_cast<std::size_t>(
      std::mismatch(before.rbegin(), before.rbegin() + static_cast<std::ptrdiff_t>(shorter - head), after.rbegin())
          .first -
      before.rbegin());
  const std::string_view gone = before.substr(head, before.size() - head - tail);
  const std::string_view come = after.substr(head, after.size() - head - tail);
  if (gone.find('\n') != std::string_view::npos || come.find('\n') != std::string_view::npos) return std::nullopt;
  const std::size_t start = head == 0 ? 0 : before.rfind('\n', head - 1) + 1;  // npos + 1 is 0
  const auto through = [head](std::string_view text) {
    const std::size_t feed = text.find('\n', head);
    return feed == std::string_view::npos ? text.size() : feed + 1;
  };
  ChangedLine changed;
  changed.line = static_cast<std::uint32_t>(1 + std::count(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(start), '\n'));
  changed.before = before.substr(start, through(before) - start);
  changed.after = after.substr(start, through(after) - start);
  return changed;
}

std::string applyEdits(std::string_view source, std::vector<Edit> edits) {
  // Byte offsets of the lines the edits touch, found in one reading.
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
    return a.at.line != b.at.line ? a.at.line < b.at.line : a.at.column < b.at.column;
  });
  std::string out;
  out.reserve(source.size() + 64);
  std::size_t copied = 0;
  std::size_t lineStart = 0;
  std::uint32_t line = 1;
  for (const Edit& edit : edits) {
    while (line < edit.at.line) {
      const std::size_t feed = source.find('\n', lineStart);
      if (feed == std::string_view::npos) return std::string(source);
      lineStart = feed + 1;
      ++line;
    }
    const std::size_t from = std::min(source.size(), lineStart + (edit.at.column > 0 ? edit.at.column - 1 : 0));
    if (from < copied) continue;  // overlapping: the first one wins
    out.append(source.substr(copied, from - copied));
    out += edit.text;
    copied = std::min(source.size(), from + edit.at.length);
  }
  out.append(source.substr(copied));
  return out;
}

}  // namespace quellmark
