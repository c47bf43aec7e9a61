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

std::string wordColumns(std::uint32_t address, std::uint16_t word) {
  char row[32];
  return std::string(row, writeWordColumns(address, word, row));
}

void appendListingRows(const SourceLine& line, std::string& out) {
  bool first = true;
  for (const SourcePiece& piece : line.pieces) {
    for (const IntermediatePiece& w : piece.words()) {
      if (!w.word) continue;
      appendRow(&w, line.number, first ? std::string_view(line.text) : std::string_view(), out);
      first = false;
    }
  }
  if (first) appendRow(nullptr, line.number, line.text, out);
}

namespace {

// Hands each row of the symbol table to `emit`.
template <typename Emit>
void symbolRows(const Walk& walk, Emit emit) {
  // Each name in the order of its first definition, with its last one,
  // which wins.
  const ChunkedVector<Definition>& all = walk.definitions();
  std::vector<std::size_t> last(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    last[i] = i;
    if (all[i].first >= 0) last[static_cast<std::size_t>(all[i].first)] = i;
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].first >= 0) continue;
    const Definition& d = all[last[i]];
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

}  // namespace quellmark
