// What must hold for the companion on any input: the words of the listing
// are the words of the image, and the disassembly of any image assembles
// back to it. Checked by the fuzzer and by the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "assemble.h"
#include "disassembler.h"
#include "image.h"
#include "listing.h"
#include "walk.h"

namespace quellmark {

// Sources made of the language's pieces and its oddities, in both builds.
inline std::string generatedSource(std::mt19937& random) {
  static const char* const kLines[] = {
      "add r1, r2, r3", "addi r1 r0 -5", "lw r2, 4(r3)", "sw r1 0x10 r2", "beq r1 r0 next",
      "beq r1 r0 -3", "j start", "j 9000", "hlt", "push r7", "pop r9", "comp r1 r2",
      "inc r1", "start:", "next: hlt", "loop : add r1 r2 r3", "x: dw 5", "dw 1 2 loop",
      "db 1 2 3", "db 300", "dw", "define max 70", "define", "5: hlt", "j 5", "num 7",
      "ad r1 r2 r3", "sub r1x r2 r3", "; comment", "", "\tLW R1,( R2 )", "hltx y",
      "addi r1 r0 start", "start: j start",
  };
  std::string source;
  const int lines = static_cast<int>(random() % 40);
  for (int i = 0; i < lines; ++i) {
    source += kLines[random() % std::size(kLines)];
    if (random() % 17 == 0) source += std::string(random() % 120, random() % 2 ? 'a' : ' ');
    source += random() % 9 == 0 ? "\r\n" : "\n";
  }
  return source;
}

// The groups of the listing's word rows, in order.
inline std::string listingGroups(const std::string& source, Build build) {
  const MemoryText text(source);
  MemorySink sink;
  BufferedWriter out(sink);
  if (!writeListing(text, build, out) || !out.close()) return "<unread>";
  const std::string& rows = sink.text();
  std::string groups;
  // The rows end at the blank line before the symbol table.
  for (std::size_t at = 0; at < rows.size() && rows[at] != '\n';) {
    const std::size_t end = rows.find('\n', at);
    const std::string_view row(rows.data() + at, end - at);
    // A word row: "AAAA WWWW GGGG ..." (the address may be longer).
    const std::size_t space = row.find(' ');
    if (row[0] != ' ' && space != std::string_view::npos) groups += row.substr(space + 6, 4);
    at = end + 1;
  }
  return groups;
}

// Empty when the listing of `source` holds the image's groups, else what broke.
inline std::string listingFault(const std::string& source, Build build) {
  if (listingGroups(source, build) != assembleText(source, build).image) {
    return "the listing's words are not the image's";
  }
  return {};
}

// Empty when the first reading of `source` in two halves at once finds the
// definitions and symbols that reading it whole finds, else what differs.
inline std::string splitFault(const std::string& source, Build build) {
  const MemoryText text(source);
  Walk whole(build);
  whole.splitSourcesFrom(UINT64_MAX);
  Walk halves(build);
  halves.splitSourcesFrom(0);
  if (!whole.collect(text) || !halves.collect(text)) return "a source in memory was not read";
  const ChunkedVector<NameFacts>& a = whole.names();
  const ChunkedVector<NameFacts>& b = halves.names();
  if (a.size() != b.size()) return "the halves met another number of names";
  if (whole.repeats() != halves.repeats()) return "the halves disagree on repeated names";
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].value != b[i].value || a[i].line != b[i].line ||
        a[i].definitions != b[i].definitions) {
      return "name " + std::to_string(i) + " differs in the halves";
    }
    if (whole.symbols().lookup(a[i].name) != halves.symbols().lookup(a[i].name) ||
        (halves.repeats() && halves.indexOf(a[i].name) != i)) {
      return "symbol " + std::string(a[i].name) + " differs in the halves";
    }
  }
  std::string symbolsOfWhole;
  std::string symbolsOfHalves;
  appendSymbols(whole, symbolsOfWhole);
  appendSymbols(halves, symbolsOfHalves);
  if (symbolsOfWhole != symbolsOfHalves) return "the symbol table differs in the halves";
  return {};
}

// The image text of `words`.
inline std::string imageOf(const std::vector<std::uint16_t>& words) {
  std::string image;
  for (const std::uint16_t w : words) {
    const std::array<char, 4> group = imageGroup(w);
    image.append(group.data(), group.size());
  }
  return image;
}

// Empty when the disassembly of `words` assembles back to them in the full
// build, else what broke.
inline std::string disassemblyFault(const std::vector<std::uint16_t>& words) {
  const std::string image = imageOf(words);
  const ImageWords read = readImage(image);
  if (read.badPosition || read.words != words) return "the image does not read back";
  if (assembleText(disassemble(words), Build::full).image != image) {
    return "the disassembly does not assemble to the image";
  }
  return {};
}

}  // namespace quellmark
