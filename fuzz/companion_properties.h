// What must hold for the companion on any input: the words of the listing
// are the words of the image, and the disassembly of any image assembles
// back to it. Checked by the fuzzer and by the tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "assemble.h"
#include "disassembler.h"
#include "fixes.h"
#include "line_index.h"
#include "format.h"
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
      // slips that a fix mends, and near misses that it must leave alone
      "j strat", "j lop", "loop: hlt", "lop2: hlt", "addi r1, r1, 0x10", "addi r1 r1 0x7f",
      "dw 0b101", "db 'A'", "lbl : add r1,r2,r3", "lb : add r9 r1 r1", "7 : hlt", "y: dw 7 -2",
      "y2: db 300", "sbu r1 r2 r3", "jj start", "ad r1 r2", "pus r1", "beq r1 r0 lop",
  };
  std::string source = random() % 13 == 0 ? "\xEF\xBB\xBF" : "";
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
// definitions and symbols that reading it whole finds, else what differs;
// with `inTurn`, the halves are read one after the other.
inline std::string splitFault(const std::string& source, Build build, bool inTurn = false) {
  const MemoryText text(source);
  Walk whole(build);
  whole.splitSourcesFrom(UINT64_MAX);
  Walk halves(build);
  halves.splitSourcesFrom(0);
  if (inTurn) halves.readHalvesInTurn();
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

// Empty when analysing `source` in two halves at once gives what analysing
// it whole gives, findings, words, names, places, tokens and texts, else
// what differs. `inHalves` tells whether the halves were used.
inline std::string analysisHalvesFault(const std::string& source, Build build,
                                       bool* inHalves = nullptr) {
  Analysis whole;
  Analysis halves;
  analyse(source, build, whole, "t.asm", UINT64_MAX);
  analyse(source, build, halves, "t.asm", 0);
  if (inHalves) *inHalves = halves.inHalves;
  if (whole.inHalves) return "a whole analysis was made in halves";
  if (whole.findings.size() != halves.findings.size()) return "another number of findings";
  for (std::size_t i = 0; i < whole.findings.size(); ++i) {
    const Diagnosis& a = whole.findings[i];
    const Diagnosis& b = halves.findings[i];
    if (a.at != b.at || a.name != b.name || a.message != b.message || a.noteAt != b.noteAt ||
        a.note != b.note) {
      return "finding " + std::to_string(i) + " differs: " + b.message;
    }
  }
  if (whole.words.size() != halves.words.size()) return "another number of words";
  for (std::size_t i = 0; i < whole.words.size(); ++i) {
    const Word& a = whole.words[i];
    const Word& b = halves.words[i];
    if (a.line != b.line || a.address != b.address || a.word != b.word ||
        a.mnemonic != b.mnemonic) {
      return "word " + std::to_string(i) + " differs";
    }
  }
  if (whole.names.size() != halves.names.size()) return "another number of names";
  for (std::size_t i = 0; i < whole.names.size(); ++i) {
    const Name& a = whole.names[i];
    const Name& b = halves.names[i];
    if (a.name != b.name || a.value != b.value || a.label != b.label) return "name " + a.name;
  }
  if (whole.places.size() != halves.places.size()) return "another number of places";
  for (std::size_t i = 0; i < whole.places.size(); ++i) {
    const NamePlace& a = whole.places[i];
    const NamePlace& b = halves.places[i];
    if (a.name != b.name || a.at != b.at || a.definition != b.definition) {
      return "place " + std::to_string(i) + " differs";
    }
  }
  if (whole.tokens.size() != halves.tokens.size()) return "another number of tokens";
  for (std::size_t i = 0; i < whole.tokens.size(); ++i) {
    if (whole.tokens[i].at != halves.tokens[i].at || whole.tokens[i].kind != halves.tokens[i].kind) {
      return "token " + std::to_string(i) + " differs";
    }
  }
  if (whole.texts->check != halves.texts->check) return "the check's text differs";
  if (whole.texts->listing != halves.texts->listing) return "the listing differs";
  if (whole.texts->symbols != halves.texts->symbols) return "the symbol table differs";
  if (whole.texts->image != halves.texts->image) return "the image differs";
  return {};
}

// Empty when every fix of `source`'s findings (the first `most` of them)
// makes its finding go away and adds none (others may go too), else what
// went wrong. `fixes`
// counts the fixes tried.
inline std::string fixFault(const std::string& source, Build build, std::size_t most = SIZE_MAX,
                            std::size_t* fixes = nullptr) {
  const Analysis before = analyse(source, build);
  // A finding that names the first label names it without the byte-order
  // mark once the mark is gone: the same finding.
  const auto seen = [](const Diagnosis& d) {
    std::string text = std::string(d.name) + ": " + d.message;
    for (std::size_t at; (at = text.find("\xEF\xBB\xBF")) != std::string::npos;) text.erase(at, 3);
    return text;
  };
  std::vector<std::string> found;
  for (const Diagnosis& d : before.findings) found.push_back(seen(d));
  std::sort(found.begin(), found.end());
  for (const FoundFix& mend : fixesOf(before, source, build)) {
    if (most-- == 0) break;
    if (fixes) ++*fixes;
    const Diagnosis& d = before.findings[mend.finding];
    const std::string fixed = applyEdits(source, mend.fix.edits);
    if (fixed == source) return "the fix of line " + std::to_string(d.at.line) + " changes nothing";
    std::vector<std::string> expected = found;
    expected.erase(std::find(expected.begin(), expected.end(), seen(d)));
    std::vector<std::string> after;
    for (const Diagnosis& e : analyse(fixed, build).findings) after.push_back(seen(e));
    std::sort(after.begin(), after.end());
    // Fewer is no fault: a word taken for a label and now an instruction
    // also ends the label's redefinition.
    if (!std::includes(expected.begin(), expected.end(), after.begin(), after.end()) ||
        std::count(after.begin(), after.end(), seen(d)) >=
            std::count(found.begin(), found.end(), seen(d))) {
      std::string why = "the fix '" + mend.fix.note + "' of line " + std::to_string(d.at.line) + " leaves";
      for (const std::string& f : after) {
        if (!std::binary_search(expected.begin(), expected.end(), f)) why += "\n  new: " + f;
      }
      for (const std::string& f : expected) {
        if (!std::binary_search(after.begin(), after.end(), f)) why += "\n  gone: " + f;
      }
      return why;
    }
  }
  return {};
}

// Empty when the layout of `source` assembles to the same image and is its
// own layout, else what differs.
inline std::string formatFault(const std::string& source, Build build) {
  const std::string laid = formatSource(source, build);
  if (const std::string again = formatSource(laid, build); again != laid) {
    std::size_t at = 0;
    while (again[at] == laid[at]) ++at;
    const std::size_t start = laid.rfind('\n', at) == std::string::npos ? 0 : laid.rfind('\n', at) + 1;
    return "laying out the layout again changes the line `" + laid.substr(start, laid.find('\n', at) - start) +
           "` into `" + again.substr(start, again.find('\n', at) - start) + "`";
  }
  // The assembler's own passes say what the image is.
  if (assembleText(source, build).image != assembleText(laid, build).image) {
    return "the layout assembles to another image:\n" + laid;
  }
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
