#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"

namespace quellmark {
namespace {

// Every part of two analyses, as text, so that a difference shows where.
std::string shown(const Analysis& a) {
  std::string out;
  const auto span = [&out](const Span& s) {
    out += std::to_string(s.line) + ":" + std::to_string(s.column) + "+" + std::to_string(s.length) + " ";
  };
  for (const Diagnosis& d : a.findings) {
    out += "finding ";
    span(d.at);
    out += std::string(d.name) + " " + d.message;
    if (d.noteAt) span(*d.noteAt);
    out += d.note + "\n";
  }
  for (const Word& w : a.words) {
    out += "word " + std::to_string(w.line) + " " + std::to_string(w.address) + " " +
           std::to_string(w.word) + " " + std::string(w.mnemonic) + "\n";
  }
  for (const Name& n : a.names) out += "name " + n.name + " " + std::to_string(n.value) + (n.label ? " label\n" : "\n");
  for (const NamePlace& p : a.places) {
    out += "place " + std::to_string(p.name) + (p.definition ? " def " : " use ");
    span(p.at);
    out += "\n";
  }
  for (const Token& t : a.tokens) {
    out += "token " + std::to_string(static_cast<int>(t.kind)) + " ";
    span(t.at);
    out += "\n";
  }
  return out;
}

// A line of a source such as users write, and the odd one they don't.
std::string randomLine(std::mt19937& random) {
  static const char* const kLines[] = {
      "loop: addi r1, r1, 1", "  add r1 r2 r3", "  beq r1, r0, loop", "  j done", "done: hlt",
      "  lw r2, 4(r3)", "  sw r2, table(r0)", "table: dw 1 2 3", "  db 1 2 3", "define max 10",
      "  addi r2, r0, max", "; a comment", "", "  inc r4, r4", "  jal r7, loop",
      "  addi r1, r1, 100   ; far too big", "lone:", "  ld r1, 0(r2)", "\xEF\xBB\xBF  hlt",
      "  add r1, r2, r3 ; a long comment that goes on past what the assembler reads at once, "
      "so the line is read in pieces",
      "  dw 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 "
      "31 32 33 34 35",
      "  hlt\r", "x: y: z: add r1 r2 r3", "5: add r1 r2 r3", "LOOP: nop",
      // Its intermediate line is read by pass 2 as two words in the reduced
      // build: labels after it are worth one less than their addresses.
      "j aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
  };
  return kLines[random() % std::size(kLines)];
}

// An edit within `line` (no line feed comes or goes): letters, blanks and
// punctuation inserted, taken away or replaced, as a user types.
std::string edited(std::string line, std::mt19937& random) {
  static const std::string_view kPieces[] = {"a", "d", "r", "1", "9", " ", ",", ":", ";", "(", ")",
                                             "-", "x", "loop", "max", "L", "5", "dw", "0x", "\r", "add ", "\t", "\xC3\xBC", "\xC3", std::string_view("\0", 1),
                                             "                                                  "};
  const std::size_t edits = 1 + random() % 3;
  for (std::size_t e = 0; e < edits; ++e) {
    const std::size_t at = line.empty() ? 0 : random() % (line.size() + 1);
    switch (random() % 3) {
      case 0:
        line.insert(at, kPieces[random() % std::size(kPieces)]);
        break;
      case 1:
        line.erase(std::min(at, line.size()), 1 + random() % 4);
        break;
      default:
        line.replace(std::min(at, line.size()), 1, kPieces[random() % std::size(kPieces)]);
        break;
    }
  }
  return line;
}

// Edits that keep a line's words and names but not what the rest reads:
// each gives what an analysis of the edited text gives.
TEST(Reanalysis, EditsThatChangeWhatANameIs) {
  struct Case {
    const char* text;
    std::uint32_t line;
    const char* after;
    Build build = Build::full;
  };
  const Case cases[] = {
      // A label becomes a `define` of the same value, and back.
      {"  hlt\nx:\n  j x\n", 2, "define x 1\n"},
      {"  hlt\ndefine x 1\n  j x\n", 2, "x:\n"},
      // A label becomes another name, defined nowhere else.
      {"  hlt\nx: hlt\n", 2, "y: hlt\n"},
      // A name defined again, its first definition's line edited: the
      // finding at the second quotes that line.
      {"x: hlt\nx: hlt\n", 1, "x: hlt ; first\n"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    Analysis analysis;
    analyse(text, c.build, analysis);
    std::size_t start = 0;
    for (std::uint32_t l = 1; l < c.line; ++l) start = text.find('\n', start) + 1;
    const std::size_t end = text.find('\n', start) + 1;
    const std::string before = text.substr(start, end - start);
    text.replace(start, end - start, c.after);
    reanalyseLine(text, c.build, analysis, c.line, before, c.after);
    EXPECT_EQ(shown(analysis), shown(analyse(text, c.build))) << c.text << " -> " << c.after;
  }
}

// Any edit within one line, analysed from the analysis before it, gives
// what an analysis of the edited text from nothing gives.
TEST(Reanalysis, AnEditWithinALineGivesTheWholeAnalysis) {
  std::mt19937 random(20261210);
  int alone = 0;
  for (int round = 0; round < 400; ++round) {
    const Build build = round % 3 == 2 ? Build::reduced : Build::full;
    std::vector<std::string> lines(1 + random() % 40);
    for (std::string& l : lines) l = randomLine(random);
    const bool lastEnds = random() % 4 != 0;  // a last line without a line feed too
    const auto join = [&] {
      std::string text;
      for (std::size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() || lastEnds ? "\n" : "");
      return text;
    };
    Analysis analysis;
    std::string text = join();
    analyse(text, build, analysis);
    for (int step = 0; step < 8; ++step) {
      const std::size_t at = random() % lines.size();
      const bool ends = at + 1 < lines.size() || lastEnds;
      const std::string before = lines[at] + (ends ? "\n" : "");
      lines[at] = edited(lines[at], random);
      const std::string after = lines[at] + (ends ? "\n" : "");
      text = join();
      const std::shared_ptr<const Reading> first = analysis.reading;  // kept, so a new one differs
      reanalyseLine(text, build, analysis, static_cast<std::uint32_t>(at + 1), before, after);
      if (analysis.reading == first) ++alone;
      ASSERT_EQ(shown(analysis), shown(analyse(text, build)))
          << "round " << round << ", step " << step << ", line " << at + 1 << ": "
          << before << " -> " << after;
    }
  }
  // Most edits are walked alone; the rest are analysed whole.
  EXPECT_GT(alone, 600);
  EXPECT_LT(alone, 3200);
}

}  // namespace
}  // namespace quellmark
