#include "listing.h"

#include <cstdio>
#include <vector>

#include "image.h"

namespace quellmark {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Upper-case hexadecimal, at least four digits.
void appendHex(std::uint32_t value, std::string& out) {
  char text[8];
  int n = 0;
  do {
    text[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0 || n < 4);
  while (n > 0) out += text[--n];
}

void appendWordColumns(std::uint32_t address, std::uint16_t word, std::string& out) {
  appendHex(address, out);
  out += ' ';
  appendHex(word, out);
  out += ' ';
  const std::array<char, 4> group = imageGroup(word);
  out.append(group.data(), group.size());
}

// Blanks as wide as the word columns of a four-digit address.
constexpr std::string_view kNoWord = "              ";

void appendRow(std::uint32_t number, std::string_view text, std::string& out) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  // The number right-aligned in seven places, one blank before it at least.
  for (int pad = n; pad < 7; ++pad) out += ' ';
  while (n > 0) out += digits[--n];
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
    char text[64];
    const int n = std::snprintf(text, sizeof text, " %d 0x%04X %u\n", static_cast<int>(d.value),
                                static_cast<unsigned>(d.value) & 0xFFFFu,
                                static_cast<unsigned>(d.line));
    out.append(all[i].name);
    out.append(text, static_cast<std::size_t>(n));
  }
}

}  // namespace quellmark
