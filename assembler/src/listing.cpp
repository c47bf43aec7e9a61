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
  char text[8];
  int n = 0;
  do {
    text[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0 || n < 4);
  while (n > 0) *at++ = text[--n];
  return at;
}

void appendWordColumns(std::uint32_t address, std::uint16_t word, std::string& out) {
  char row[32];
  char* at = writeHex(address, row);
  *at++ = ' ';
  at = writeHex(word, at);
  *at++ = ' ';
  const std::array<char, 4> group = imageGroup(word);
  at = std::copy(group.begin(), group.end(), at);
  out.append(row, static_cast<std::size_t>(at - row));
}

// Blanks as wide as the word columns of a four-digit address.
constexpr std::string_view kNoWord = "              ";

void appendRow(std::uint32_t number, std::string_view text, std::string& out) {
  // The number right-aligned in seven places, one blank before it at least.
  char row[24];
  char* end = row + sizeof row;
  char* at = end;
  do {
    *--at = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (end - at < 7) *--at = ' ';
  out.append(at, static_cast<std::size_t>(end - at));
  if (!text.empty()) {
    out += "  ";
    out.append(text);
  }
  out += '\n';
}

}  // namespace

std::string wordColumns(std::uint32_t address, std::uint16_t word) {
  std::string out;
  appendWordColumns(address, word, out);
  return out;
}

void appendListingRows(const SourceLine& line, std::string& out) {
  bool first = true;
  for (const SourcePiece& piece : line.pieces) {
    for (const IntermediatePiece& w : piece.words) {
      if (!w.word) continue;
      appendWordColumns(w.address, *w.word, out);
      appendRow(line.number, first ? std::string_view(line.text) : std::string_view(), out);
      first = false;
    }
  }
  if (first) {
    out.append(kNoWord);
    appendRow(line.number, line.text, out);
  }
}

void appendSymbols(const Walk& walk, std::string& out) {
  // Each name in the order of its first definition, with its last one,
  // which wins.
  const std::vector<Definition>& all = walk.definitions();
  std::vector<std::size_t> last(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    last[i] = i;
    if (all[i].first >= 0) last[static_cast<std::size_t>(all[i].first)] = i;
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].first >= 0) continue;
    const Definition& d = all[last[i]];
    // "NAME VALUE 0xHHHH LINE", the value in decimal and as a word.
    char text[48];
    char* at = text;
    *at++ = ' ';
    at = std::to_chars(at, text + sizeof text, d.value).ptr;
    *at++ = ' ';
    *at++ = '0';
    *at++ = 'x';
    at = writeHex(static_cast<std::uint32_t>(d.value) & 0xFFFFu, at);
    *at++ = ' ';
    at = std::to_chars(at, text + sizeof text, d.line).ptr;
    out.append(all[i].name);
    out.append(text, static_cast<std::size_t>(at - text));
    out += '\n';
  }
}

}  // namespace quellmark
