#include "listing.h"

#include <cstdio>
#include <unordered_map>
#include <vector>

#include "image.h"

namespace quellmark {

std::string wordColumns(std::uint32_t address, std::uint16_t word) {
  char text[32];
  const std::array<char, 4> group = imageGroup(word);
  const int n = std::snprintf(text, sizeof text, "%04X %04X %.4s", static_cast<unsigned>(address),
                              static_cast<unsigned>(word), group.data());
  return std::string(text, static_cast<std::size_t>(n));
}

namespace {

// Blanks as wide as the word columns of a four-digit address.
constexpr std::string_view kNoWord = "              ";

void appendRow(std::string_view columns, std::uint32_t number, std::string_view text,
               std::string& out) {
  char numberText[16];
  const int n = std::snprintf(numberText, sizeof numberText, " %6u", static_cast<unsigned>(number));
  out.append(columns);
  out.append(numberText, static_cast<std::size_t>(n));
  if (!text.empty()) {
    out += "  ";
    out.append(text);
  }
  out += '\n';
}

}  // namespace

void appendListingRows(const SourceLine& line, std::string& out) {
  bool first = true;
  for (const SourcePiece& piece : line.pieces) {
    for (const IntermediatePiece& w : piece.words) {
      if (!w.word) continue;
      appendRow(wordColumns(w.address, *w.word), line.number, first ? line.text : "", out);
      first = false;
    }
  }
  if (first) appendRow(kNoWord, line.number, line.text, out);
}

void appendSymbols(const Walk& walk, std::string& out) {
  // The winning definition of each name is its last one.
  std::unordered_map<std::string_view, const Definition*> last;
  std::vector<std::string_view> order;
  for (const Definition& d : walk.definitions()) {
    auto [it, added] = last.try_emplace(d.name, &d);
    if (added) {
      order.push_back(d.name);
    } else {
      it->second = &d;
    }
  }
  for (const std::string_view name : order) {
    const Definition& d = *last[name];
    char text[64];
    const int n = std::snprintf(text, sizeof text, " %d 0x%04X %u\n", static_cast<int>(d.value),
                                static_cast<unsigned>(d.value) & 0xFFFFu,
                                static_cast<unsigned>(d.line));
    out.append(name);
    out.append(text, static_cast<std::size_t>(n));
  }
}

}  // namespace quellmark
