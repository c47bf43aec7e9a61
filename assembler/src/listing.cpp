#include "listing.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "image.h"

namespace quellmark {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Upper-case hexadecimal, at least four digits, written at `at`; returns
// the end.
char* writeHex(std::uint32_t value, char* at) {
  if (value <= 0xFFFF) {  // the four digits of nearly every address
    const std::array<char, 4> digits = hexDigits(static_cast<std::uint16_t>(value));
    return std::copy(digits.begin(), digits.end(), at);
  }
  char text[8];
  int n = 0;
  do {
    text[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (n > 0) *at++ = text[--n];
  return at;
}

// "AAAA WWWW GGGG" at `at`; returns the end.
char* writeWordColumns(std::uint32_t address, std::uint16_t word, char* at) {
  at = writeHex(address, at);
  *at++ = ' ';
  at = writeHex(word, at);
  *at++ = ' ';
  const std::array<char, 4> group = imageGroup(word);
  return std::copy(group.begin(), group.end(), at);
}

}  // namespace

std::string_view ListingRows::listedText(const SourceLine& line) {
  constexpr std::size_t kListed = 200;
  if (line.length <= kListed) return line.bytes(0, static_cast<std::size_t>(line.length));
  cut_.assign(line.bytes(0, kListed));
  cut_ += "...";
  return cut_;
}

namespace {

// Blanks as wide as the word columns of a four-digit address.
constexpr std::string_view kNoWord = "              ";

// One row: its word columns (or blanks), the line number right-aligned in
// seven places (one blank before it at least), and the source text, if any.
void appendRow(const IntermediatePiece* w, std::uint32_t number, std::string_view text,
               std::string& out) {
  char row[64];
  char* at = w ? writeWordColumns(w->address, *w->word, row)
               : std::copy(kNoWord.begin(), kNoWord.end(), row);
  char digits[12];
  char* const end = digits + sizeof digits;
  char* first = end;
  do {
    *--first = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  for (std::ptrdiff_t pad = 7 - (end - first); pad > 0; --pad) *at++ = ' ';
  at = std::copy(first, end, at);
  if (!text.empty()) {
    *at++ = ' ';
    *at++ = ' ';
  }
  out.append(row, static_cast<std::size_t>(at - row));
  out.append(text);
  out += '\n';
}

}  // namespace

std::string hexText(std::uint32_t value) {
  char text[8];
  return std::string(text, writeHex(value, text));
}

std::string wordColumns(std::uint32_t address, std::uint16_t word) {
  char row[32];
  return std::string(row, writeWordColumns(address, word, row));
}

void ListingRows::piece(const SourceLine& line, const SourcePiece& piece) {
  for (const IntermediatePiece& w : piece.words()) {
    if (!w.word) continue;
    row_.clear();
    if (rowWritten_) {
      appendRow(&w, line.number, {}, row_);
    } else {
      appendRow(&w, line.number, listedText(line), row_);
      rowWritten_ = true;
    }
    out_.write(row_);
  }
}

void ListingRows::lineEnds(const SourceLine& line) {
  if (!rowWritten_) {
    row_.clear();
    appendRow(nullptr, line.number, listedText(line), row_);
    out_.write(row_);
  }
  rowWritten_ = false;
}

namespace {

// Hands each row of the symbol table to `emit`.
template <typename Emit>
void symbolRows(const Walk& walk, Emit emit) {
  // Each name in the order of its first definition, with its last one,
  // which wins.
  const ChunkedVector<NameFacts>& all = walk.names();
  for (std::size_t i = 0; i < all.size(); ++i) {
    const NameFacts& d = all[i];
    // "NAME VALUE 0xHHHH LINE", the value in decimal and as a word. A name
    // is at most a piece long.
    char text[160];
    const std::string_view name = all[i].name.substr(0, 100);
    char* at = std::copy(name.begin(), name.end(), text);
    *at++ = ' ';
    at = std::to_chars(at, text + sizeof text, d.value).ptr;
    *at++ = ' ';
    *at++ = '0';
    *at++ = 'x';
    at = writeHex(static_cast<std::uint32_t>(d.value) & 0xFFFFu, at);
    *at++ = ' ';
    at = std::to_chars(at, text + sizeof text, d.line).ptr;
    *at++ = '\n';
    emit(std::string_view(text, static_cast<std::size_t>(at - text)));
  }
}

}  // namespace

void appendSymbols(const Walk& walk, std::string& out) {
  symbolRows(walk, [&out](std::string_view row) { out.append(row); });
}

void writeSymbols(const Walk& walk, BufferedWriter& out) {
  symbolRows(walk, [&out](std::string_view row) { out.write(row); });
}

bool writeListing(const SeekableSource& source, Build build, BufferedWriter& out) {
  Walk walk(build);
  ListingRows rows(out);
  if (!walk.collect(source) || !walk.walk(source, rows)) return false;
  out.write("\n");
  writeSymbols(walk, out);
  return true;
}

bool writeSymbolTable(const SeekableSource& source, Build build, BufferedWriter& out) {
  Walk walk(build);
  if (!walk.collect(source)) return false;
  writeSymbols(walk, out);
  return true;
}

}  // namespace quellmark
