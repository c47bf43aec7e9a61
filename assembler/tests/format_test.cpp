#include "format.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "companion_properties.h"

namespace quellmark {
namespace {

// A generated source as people type it: letters in either case, runs of
// blanks and tabs, commas or none, comments here and there.
std::string typed(std::mt19937& random) {
  const std::string source = generatedSource(random);
  std::string out;
  for (const char c : source) {
    if (c == ' ' && random() % 3 == 0) {
      out += random() % 2 ? "\t" : (random() % 2 ? ", " : "   ");
    } else if (c >= 'a' && c <= 'z' && random() % 5 == 0) {
      out += static_cast<char>(c - 'a' + 'A');
    } else if (c == '\n' && random() % 4 == 0) {
      out += random() % 2 ? " ; note \xC3\xA9t\xC3\xA9\n" : ";x\n";
    } else {
      out += c;
    }
  }
  return out;
}

// The page's differential sources: lines longer than a piece, NULs, CR LF,
// letters of several bytes cut by a piece's end, names defined again.
std::string differential(std::mt19937& random) {
  static const std::string kPieces[] = {
      "add r1, r2, r3", "addi r1 r0 -5", "lw r2, 4(r3)", "sw r1 0x10 r2", "beq r1 r0 next",
      "beq r1 r0 -65", "beq r1 r0 63", "j start", "j 9000", "hlt", "push r7", "pop r9", "comp r1 r2",
      "inc r1", "start:", "next: hlt", "loop : add r1 r2 r3", "x: dw 5", "dw 1 2 loop", "db 1 2 3",
      "db 256", "db -129", "dw 65536", "define max 70", "define", "define k", "5: hlt", "j 5",
      "num 7", "ad r1 r2 r3", "sub r1x r2 r3", "; comment \xC3\xA9t\xC3\xA9", "", "\tLW R1,( R2 )",
      "hltx y", "addi r1 r0 start", "start: j start", "addi r1 r0 128", "addi r1 r0 127", "dw",
      "j   " + std::string(120, 'a'), "inc r1 r2 ; \xC3\xBC",
      "j" + std::string(95, ' ') + "ab\xC3\xA9x", "j" + std::string(94, ' ') + "ab\xE2\x82\xACx",
      "j" + std::string(93, ' ') + "ab\xF0\x9F\x98\x80x", "j" + std::string(94, ' ') + "ab\xF0\x9F\x98\x80x",
  };
  std::string text;
  const int lines = 1 + static_cast<int>(random() % 40);
  for (int i = 0; i < lines; ++i) {
    text += kPieces[random() % std::size(kPieces)];
    if (random() % 12 == 0) text += std::string(random() % 260, ' ') + (random() % 2 ? "hlt x" : "\t j far");
    if (random() % 40 == 0) text += std::string("\0tail", 5);
    text += random() % 8 == 0 ? "\r\n" : "\n";
  }
  if (random() % 10 == 0) text.pop_back();
  return text;
}

TEST(Format, KeepsTheImageOfThePagesDifferentialSources) {
  std::mt19937 random(8080);
  for (int i = 0; i < 300; ++i) {
    const std::string source = differential(random);
    for (const Build build : {Build::full, Build::reduced}) {
      ASSERT_EQ(formatFault(source, build), "") << source;
      ASSERT_EQ(fixFault(source, build), "") << source;
    }
  }
}

// The contract, over generated sources in both builds: the layout assembles
// to the same image, and laying it out again changes nothing.
TEST(Format, KeepsTheImageAndIsItsOwnLayout) {
  std::mt19937 random(424242);
  std::size_t changed = 0;
  for (int i = 0; i < 500; ++i) {
    const std::string source = i % 2 ? typed(random) : generatedSource(random);
    for (const Build build : {Build::full, Build::reduced}) {
      ASSERT_EQ(formatFault(source, build), "") << source;
      changed += formatSource(source, build) != source;
    }
  }
  EXPECT_GT(changed, 500u);
}

TEST(Format, TheLayout) {
  const struct {
    const char* line;
    const char* laid;
  } cases[] = {
      {"LOOP: BEQ R1,R0,DONE ;x", "LOOP:   beq  r1, r0, DONE       ;x"},
      {"\tlw r1 4 ( r2 )", "        lw   r1, 4(r2)"},
      {"  j loop", "        j    loop"},
      {"a_label_of_many_letters: add r1 r2 r3", "a_label_of_many_letters: add r1, r2, r3"},
      // the assembler reads `x:add` and `x: add` alike, but not their canonical forms
      {"x:add r1 r2 r3", nullptr},
      {"squares:", "squares:"},
      {"\xC3\xA9t\xC3\xA9: hlt ;c", "\xC3\xA9t\xC3\xA9:    hlt                     ;c"},
      {"  dw 0 1   4", "        dw 0, 1, 4"},
      {"  define K 5", "define K 5"},
      {"hlt\r", "        hlt\r"},
      // the comment stays as it is, after the code when it cannot stand at
      // its column
      {"        add r1, r2, r3 ; r3 := r1 + r2", "        add  r1, r2, r3         ; r3 := r1 + r2"},
      {"x: addi r1, r1, -64 ;c", "x:      addi r1, r1, -64        ;c"},
      {"a_very_long_label_indeed: addi r1 r1 5 ;c", "a_very_long_label_indeed: addi r1, r1, 5 ;c"},
      // lines left as they are: a blank before a colon, a comment against
      // the code, no instruction, a line read in pieces, a data directive in
      // the reduced build (below)
      {"lbl : add r1 r2 r3", nullptr},
      {"hlt;c", nullptr},
      {"ad r1 r2 r3", nullptr},
      {"; a comment alone", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string source = std::string(c.line) + "\n";
    EXPECT_EQ(formatSource(source, Build::full), c.laid ? std::string(c.laid) + "\n" : source);
  }
  EXPECT_EQ(formatSource("  dw 1\n", Build::reduced), "  dw 1\n");
  // The layout of 98 bytes is read in one piece; of 99, in two.
  EXPECT_EQ(formatSource(" j " + std::string(85, 'a') + "\n", Build::full), "        j    " + std::string(85, 'a') + "\n");
  const std::string longer = " j " + std::string(86, 'a') + "\n";
  EXPECT_EQ(formatSource(longer, Build::full), longer);
  const std::string pieces = " j " + std::string(96, 'a') + "\n";
  EXPECT_EQ(formatSource(pieces, Build::full), pieces);
}

TEST(Format, TheExamplesAreInTheLayoutAndRangesAreKept) {
  for (const auto& entry : std::filesystem::directory_iterator(EXAMPLES_DIR)) {
    if (entry.path().extension() != ".asm") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(formatSource(text.str(), Build::full), text.str()) << entry.path();
  }
  const std::string source = " hlt\n hlt\n hlt\n";
  const std::vector<Edit> edits = formatEdits(source, Build::full, 2, 2);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0], (Edit{Span{2, 1, 4}, "        hlt"}));
}

}  // namespace
}  // namespace quellmark
