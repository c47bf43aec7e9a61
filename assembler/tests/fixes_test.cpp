#include "fixes.h"

#include <gtest/gtest.h>

#include <random>

#include "companion_properties.h"
#include "line_index.h"

namespace quellmark {
namespace {

// Every fix over generated sources, in both builds: its finding goes and
// no other comes. Enough of them are tried that each kind is met.
TEST(Fixes, EachFixMendsItsFindingAndAddsNone) {
  std::mt19937 random(97531);
  std::size_t fixes = 0;
  for (int i = 0; i < 300; ++i) {
    const std::string source = generatedSource(random);
    for (const Build build : {Build::full, Build::reduced}) {
      ASSERT_EQ(fixFault(source, build, SIZE_MAX, &fixes), "") << source;
    }
  }
  EXPECT_GT(fixes, 1000u);
}

// The fix of the first finding of a one-line source, as `check` notes it
// and as the source reads afterwards; "" where there must be none.
struct Case {
  const char* source;
  Build build;
  const char* note;
  const char* fixed;
};

TEST(Fixes, WhereOneEditIsClearlyMeant) {
  const Case cases[] = {
      {" ad r2, r2, r1\n", Build::full, "did you mean 'add'?", " add r2, r2, r1\n"},
      {"\tsbu r1 r2 r3\n", Build::full, "did you mean 'sub'?", "\tsub r1 r2 r3\n"},
      // one slip from several mnemonics whose operands the line has
      {" ad r1 r2\n", Build::full, "", ""},
      // the operands fit no mnemonic near it
      {" pus r1 r2\n", Build::full, "", ""},
      {" ad r2, r8, r1\n", Build::full, "", ""},
      {"loop: hlt\n j lop\n", Build::full, "did you mean 'loop'?", "loop: hlt\n j loop\n"},
      {"loop: hlt\nstop: hlt\n j lop\n", Build::full, "did you mean 'loop'?", "loop: hlt\nstop: hlt\n j loop\n"},
      // two names as near
      {"loop: hlt\nlop2: hlt\n j lop\n", Build::full, "", ""},
      {"loop: hlt\nlonp: hlt\n j lorp\n", Build::full, "", ""},
      // a word taken for a label: a fix would take the label away
      {"pus r1 r2 r3\n", Build::full, "", ""},
      // the name read is `lop:`, colon and all
      {"loop: hlt\n j lop: hlt\n", Build::full, "", ""},
      // a value past what the field holds
      {"define big 64\n addi r1 r1 bg\n", Build::full, "", ""},
      {"define big 63\n addi r1 r1 bg\n", Build::full, "did you mean 'big'?", "define big 63\n addi r1 r1 big\n"},
      {" addi r1, r1, 0x10\n", Build::full, "did you mean '16'?", " addi r1, r1, 16\n"},
      {" addi r1, r1, 0x3F\n", Build::full, "did you mean '63'?", " addi r1, r1, 63\n"},
      {" addi r1, r1, 0x40\n", Build::full, "", ""},
      {" dw 0xFFFF\n", Build::full, "did you mean '65535'?", " dw 65535\n"},
      {" dw 0x10000\n", Build::full, "", ""},
      {" db 0b11111111\n", Build::full, "did you mean '255'?", " db 255\n"},
      {" db 'A'\n", Build::full, "did you mean '65'?", " db 65\n"},
      {" j 0x1FFF\n", Build::full, "did you mean '8191'?", " j 8191\n"},
      {" j 0x2000\n", Build::full, "", ""},
      {"lbl : add r1,r2,r3\n", Build::full, "remove the blank before the colon", "lbl: add r1,r2,r3\n"},
      {"lbl : add r9,r2,r3\n", Build::full, "", ""},
      {"lbl: dw 5\r\n", Build::full, "put 'dw' on a line of its own, which the label then names",
       "lbl:\r\n        dw 5\r\n"},
      {"lbl: dw 5\n", Build::reduced, "", ""},
      {"\xEF\xBB\xBFstart: hlt\n j start\n", Build::full, "remove the byte-order mark", "start: hlt\n j start\n"},
      {"\xEF\xBB\xBFstart: hlt\nstart: hlt\n", Build::full, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Analysis analysis = analyse(c.source, c.build);
    ASSERT_FALSE(analysis.findings.empty());
    const std::vector<FoundFix> fixes = fixesOf(analysis, c.source, c.build);
    const std::optional<Fix> fix =
        !fixes.empty() && fixes[0].finding == 0 ? std::optional(fixes[0].fix) : std::nullopt;
    EXPECT_EQ(fix ? fix->note : "", c.note);
    EXPECT_EQ(fix ? applyEdits(c.source, fix->edits) : "", c.fixed);
  }
}

TEST(Fixes, NoneOnALineReadInPiecesOrThatWouldBe) {
  // A fix lengthens a line to 64 bytes at most: the intermediate line that
  // pass 2 reads in pieces may be longer than its source line.
  const std::string fits = " ad r1 r2 r3" + std::string(51, ' ') + "\n";
  ASSERT_EQ(fits.size(), 64u);  // 63 bytes, and `add` makes 64
  EXPECT_EQ(fixesOf(analyse(fits, Build::full), fits, Build::full).size(), 1u);
  const std::string over = " ad r1 r2 r3" + std::string(52, ' ') + "\n";
  EXPECT_TRUE(fixesOf(analyse(over, Build::full), over, Build::full).empty());
  // A fix that keeps the length may stand on a line of up to 98 bytes.
  const std::string number = " addi r1, r1, 0x10" + std::string(80, ' ') + "\n";
  ASSERT_EQ(number.size(), 99u);
  EXPECT_EQ(fixesOf(analyse(number, Build::full), number, Build::full).size(), 1u);
  const std::string longer = " ad r1 r2 r3" + std::string(87, ' ') + "\n";
  EXPECT_TRUE(fixesOf(analyse(longer, Build::full), longer, Build::full).empty());
}

TEST(Fixes, EditDistanceCountsASwapAsOneAndStopsAtItsLimit) {
  EXPECT_EQ(editDistance("sbu", "sub", 2), 1u);
  EXPECT_EQ(editDistance("ad", "add", 2), 1u);
  EXPECT_EQ(editDistance("lop", "lbl", 1), 2u);
  EXPECT_EQ(editDistance("", "abcd", 2), 3u);
  EXPECT_EQ(editDistance("loop", "loop", 0), 0u);
}

}  // namespace
}  // namespace quellmark
