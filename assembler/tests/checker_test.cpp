// The companion's findings: each with its exact first line, and none for
// the documented forms of the language.
#include "checker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace quellmark {
namespace {

struct Checked {
  std::string output;
  std::size_t findings = 0;
};

Checked check(const std::string& source, Build build = Build::full) {
  MemorySink sink;
  BufferedWriter out(sink);
  const auto findings = checkSource("t.asm", MemoryText(source), build, out);
  (void)out.close();
  return {sink.text(), findings.value_or(0)};
}

std::string firstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

struct FindingCase {
  const char* name;
  const char* source;
  const char* first;  // the first line of the output
  Build build = Build::full;
};

class FindingTest : public testing::TestWithParam<FindingCase> {};

TEST_P(FindingTest, FirstLineIsExact) {
  const Checked result = check(GetParam().source, GetParam().build);
  EXPECT_EQ(firstLine(result.output), GetParam().first) << result.output;
  EXPECT_GE(result.findings, 1u);
}

const std::string kHundredHalts = [] {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "hlt\n";
  return text;
}();
const std::string kFarBranch = "beq r1 r0 far\n" + kHundredHalts + "far: hlt\n";
const std::string kLongLine = "hlt" + std::string(96, ' ') + "hlt\n";
// 99 bytes and the line feed: the first piece normalises to 99 characters.
const std::string kLongIntermediate = "j " + std::string(97, 'a') + "\n";
// Undefined names of 64 bytes (quoted whole), 65 and 80 bytes (quoted by
// their first 61 and "...").
std::string undefinedName(std::size_t length) {
  return "addi r1 r0 " + std::string(length, 'z') + "\n";
}
std::string undefinedFinding(const std::string& quoted) {
  return "t.asm:1:12: warning: `" + quoted + "` is not defined: it reads as 0 [-Wundefined]";
}
const std::string kName64 = undefinedName(64);
const std::string kName64Quoted = undefinedFinding(std::string(64, 'z'));
const std::string kName65 = undefinedName(65);
const std::string kName65Quoted = undefinedFinding(std::string(61, 'z') + "...");
const std::string kLongName = undefinedName(80);
const std::string kLongNameQuoted = kName65Quoted;
const std::string kTooLong = [] {
  std::string text;
  for (int i = 0; i < 8193; ++i) text += "hlt\n";
  return text;
}();

INSTANTIATE_TEST_SUITE_P(
    Findings, FindingTest,
    testing::Values(
        FindingCase{"misspelling", "ad r1 r2 r3\n",
                    "t.asm:1:1: warning: `ad` is not an instruction: it is taken as a label, and "
                    "`r1 r2 r3` assembles to 0000 [-Wnot-an-instruction]"},
        FindingCase{"misspellingBehindLabel", "loop: subb r1 r2 r3\n",
                    "t.asm:1:7: warning: `subb` is not an instruction: `subb r1 r2 r3` assembles "
                    "to 0001 [-Wnot-an-instruction]"},
        FindingCase{"directiveBehindLabel", "x: dw 5\n",
                    "t.asm:1:4: warning: `dw` behind a label is not a directive: `dw 5` is not "
                    "carried out and assembles to one word, 0000 [-Wnot-an-instruction]"},
        FindingCase{"num", "  num 5\n",
                    "t.asm:1:3: warning: `num` is no instruction of the source language: it is "
                    "taken as a label, and `5` assembles to 0000 [-Wnot-an-instruction]"},
        FindingCase{"undefinedName", "j loop2\n",
                    "t.asm:1:3: warning: `loop2` is not defined: it reads as 0 [-Wundefined]"},
        FindingCase{"undefinedDigits", "addi r1 r0 12ab\n",
                    "t.asm:1:12: warning: `12ab` is not defined: it reads as 12 [-Wundefined]"},
        FindingCase{"hexadecimal", "lw r1, 0x10(r2)\n",
                    "t.asm:1:8: warning: `0x10` reads as 0: the source language has only decimal "
                    "numbers [-Wundefined]"},
        FindingCase{"nameInData", "table: dw 1\n dw table\n",
                    "t.asm:1:8: warning: `dw` behind a label is not a directive: `dw 1` is not "
                    "carried out and assembles to one word, 0000 [-Wnot-an-instruction]"},
        FindingCase{"jumpTable", "dw loop\nloop: hlt\n",
                    "t.asm:1:4: warning: `loop` is not a decimal number, and names are not looked "
                    "up in data: it reads as 0 [-Wundefined]"},
        FindingCase{"immediate", "addi r1 r0 200\n",
                    "t.asm:1:12: warning: the immediate 200 does not fit its 7 bits (-64 to 127): "
                    "it becomes 72 [-Wrange]"},
        FindingCase{"immediateLow", "sw r1 -65 r2\n",
                    "t.asm:1:7: warning: the immediate -65 does not fit its 7 bits (-64 to 127): "
                    "it becomes 63 [-Wrange]"},
        FindingCase{"farBranch", kFarBranch.c_str(),
                    "t.asm:1:11: warning: `far` is 100 words ahead: a branch reaches 64 words "
                    "back and 63 forward, so the offset 100 becomes -28 [-Wrange]"},
        FindingCase{"branchNumber", "beq r1 r0 64\n",
                    "t.asm:1:11: warning: the offset 64 does not fit 7 bits (-64 to 63): it "
                    "becomes -64 [-Wrange]"},
        FindingCase{"jumpTarget", "j 9000\n",
                    "t.asm:1:3: warning: the target 9000 is outside 0 to 8191, the addresses `j` "
                    "reaches: it becomes 808 [-Wrange]"},
        FindingCase{"wordValue", "dw 70000\n",
                    "t.asm:1:4: warning: the value 70000 does not fit a word (-32768 to 65535): it "
                    "becomes 4464 [-Wrange]"},
        FindingCase{"byteValue", "db 1, -129\n",
                    "t.asm:1:7: warning: the byte -129 does not fit 8 bits (-128 to 255): it "
                    "becomes 127 [-Wrange]"},
        FindingCase{"registerHigh", "add r1, r8, r3\n",
                    "t.asm:1:9: warning: `r8` is not a register (r0 to r7): in the high register "
                    "field it spills into the opcode [-Wregister]"},
        FindingCase{"registerLow", "inc r9 r1\n",
                    "t.asm:1:5: warning: `r9` is not a register (r0 to r7): in the low register "
                    "field it spills into the middle register field [-Wregister]"},
        FindingCase{"registerFar", "inc r1000 r1\n",
                    "t.asm:1:5: warning: `r1000` is not a register (r0 to r7): in the low register "
                    "field it spills into the middle register field, the high register field and "
                    "the opcode [-Wregister]"},
        FindingCase{"registerNegative", "pop r-1\n",
                    "t.asm:1:5: warning: `r-1` is not a register (r0 to r7): in the low register "
                    "field a negative number sets every bit to the left of its field [-Wregister]"},
        FindingCase{"registerUnreadable", "add r1, x1, r3\n",
                    "t.asm:1:9: warning: `x1` cannot be read as a register: it and the operands "
                    "after it read as r0, r0 [-Wregister]"},
        FindingCase{"registerHalfRead", "sub r1x r2 r3\n",
                    "t.asm:1:5: warning: `r1x` cannot be read as a register: it reads as r1, and "
                    "the operands after it read as r0, r0 [-Wregister]"},
        FindingCase{"missingOperand", "inc r1 ; one short\n",
                    "t.asm:1:19: warning: `inc` takes 2 operands and this line has 1: the missing "
                    "one reads as r0 [-Woperands]"},
        FindingCase{"missingText", "lw r1\n",
                    "t.asm:1:6: warning: `lw` takes 3 operands and this line has 1: the missing "
                    "ones read as 0, r0 [-Woperands]"},
        FindingCase{"extraText", "push r1 r2\n",
                    "t.asm:1:9: warning: text after the last operand of `push` is ignored: `r2` "
                    "[-Woperands]"},
        FindingCase{"redefined", "x: hlt\ndefine x 5\n",
                    "t.asm:2:8: warning: `x` is defined again: its last value, 5, is used "
                    "everywhere, also in lines before it [-Wredefined]"},
        FindingCase{"numericName", "5: add r1 r2 r3\n",
                    "t.asm:1:1: warning: `5` reads as a number: every operand `5` now means this "
                    "name, 0, not the number [-Wnumeric-name]"},
        FindingCase{"labelColon", "loop : add r1 r2 r3\n",
                    "t.asm:1:6: warning: a blank stands between the label `loop` and its colon: "
                    "the colon is carried over as text, and `: add r1 r2 r3` assembles to 0000 "
                    "[-Wlabel-colon]"},
        FindingCase{"longLine", kLongLine.c_str(),
                    "t.asm:1:100: warning: this line has 102 bytes: the assembler reads at most "
                    "98 and the line feed at a time, so it reads it as 2 lines [-Wlong-line]"},
        FindingCase{"longIntermediate", kLongIntermediate.c_str(),
                    "t.asm:1:1: warning: the intermediate line of this line has 99 characters: "
                    "pass 2 reads it as 2 pieces, and each extra piece is an extra word; the "
                    "empty last one is 0000 [-Wlong-line]",
                    Build::reduced},
        FindingCase{"emptyDefine", "define\n",
                    "t.asm:1:1: warning: `define` without a name defines nothing [-Wempty-define]"},
        FindingCase{"defineWithoutValue", "define max\n",
                    "t.asm:1:8: warning: `define` without a value: `max` is defined as 0 "
                    "[-Wempty-define]"},
        FindingCase{"addressSpace", kTooLong.c_str(),
                    "t.asm:8193:1: warning: this word is at address 8192: the program has more "
                    "words than `j` reaches (0 to 8191) [-Waddress-space]"},
        FindingCase{"reducedData", "dw 5\n",
                    "t.asm:1:1: warning: the reduced build has no data directives: `dw` is taken "
                    "as a label, and `5` assembles to 0000 [-Wreduced-data]",
                    Build::reduced},
        FindingCase{"tokenOf64IsWhole", kName64.c_str(), kName64Quoted.c_str()},
        FindingCase{"tokenOf65IsCut", kName65.c_str(), kName65Quoted.c_str()},
        FindingCase{"longTokenIsCut", kLongName.c_str(), kLongNameQuoted.c_str()},
        FindingCase{"labelWord", "top:\nj top\n",
                    "t.asm:1:1: warning: a label alone on its line is a word of its own in the "
                    "reduced build: `top` addresses a 0000 word [-Wlabel-word]",
                    Build::reduced}),
    [](const auto& info) { return std::string(info.param.name); });

// A limit of the checker: the source with `%` for the value, and the values
// at its edges, which are the last ones without a finding.
struct Limit {
  std::string pattern;
  std::int64_t low;
  std::int64_t high;
  std::string name;  // of the finding past the edges
};

TEST(Checker, EveryLimitHoldsAtItsEdgesOnBothSides) {
  const std::string halts63 = [] {
    std::string text;
    for (int i = 0; i < 63; ++i) text += "hlt\n";
    return text;
  }();
  const Limit limits[] = {
      {"addi r1 r0 %\n", -64, 127, "range"},
      {"lw r1 %(r2)\n", -64, 127, "range"},
      {"sw r1 %(r2)\n", -64, 127, "range"},
      {"define k %\naddi r1 r0 k\n", -64, 127, "range"},
      {"beq r1 r0 %\n", -64, 63, "range"},
      {"j %\n", 0, 8191, "range"},
      {"dw %\n", -32768, 65535, "range"},
      {"db %\n", -128, 255, "range"},
      {"inc r% r1\n", 0, 7, "register"},
      {"add r1 r2 r%\n", 0, 7, "register"},
      {"lw r1 0(r%)\n", 0, 7, "register"},
      // A branch to a name goes from the word after it: from address 1.
      {"beq r1 r0 t\ndefine t %\n", -63, 64, "range"},
  };
  for (const Limit& limit : limits) {
    for (const std::int64_t value : {limit.low - 1, limit.low, limit.high, limit.high + 1}) {
      std::string source = limit.pattern;
      source.replace(source.find('%'), 1, std::to_string(value));
      const Checked result = check(source);
      const bool outside = value < limit.low || value > limit.high;
      EXPECT_EQ(result.findings, outside ? 1u : 0u) << source << result.output;
      EXPECT_EQ(result.output.find("[-W" + limit.name + "]") != std::string::npos, outside)
          << source;
    }
  }
  // Labels: 63 words ahead and 64 back reach; one more does not.
  for (const int extra : {0, 1}) {
    std::string ahead = "beq r1 r0 t\n" + halts63;
    if (extra) ahead += "hlt\n";
    EXPECT_EQ(check(ahead + "t: hlt\n").findings, static_cast<std::size_t>(extra)) << extra;
    std::string back = "t: hlt\n" + halts63.substr(4);
    if (extra) back += "hlt\n";
    EXPECT_EQ(check(back + "beq r1 r0 t\n").findings, static_cast<std::size_t>(extra)) << extra;
  }
  // 8192 words fill what `j` reaches; the 8193rd is past it.
  std::string words;
  for (int i = 0; i < 8192; ++i) words += "hlt\n";
  EXPECT_EQ(check(words).findings, 0u);
  EXPECT_EQ(check(words + "hlt\n").findings, 1u);
}

TEST(Checker, LongIntermediateLineInTheFullBuild) {
  const Checked result = check(kLongIntermediate);
  EXPECT_EQ(firstLine(result.output),
            "t.asm:1:1: warning: the intermediate line of this line has 99 characters: pass 2 "
            "reads it as 2 pieces; the empty last one makes no word [-Wlong-line]");
  EXPECT_NE(result.output.find("t.asm:1:100: warning: this line has 99 bytes"), std::string::npos);
}

TEST(Checker, CleanProgramsSayNothing) {
  // The documented forms: numeric offsets and targets, unused labels,
  // labels alone on their line, names used before they are defined,
  // negative numbers, upper case, comments and CR LF line ends.
  const std::string source =
      "; a clean program\r\n"
      "define MAX 10\n"
      "start:\n"
      "unused: ADDI r1, r0, MAX\n"
      "loop    beq r1, r0, done\n"
      "        beq r1 r0 -1\n"
      "        lw r2, -4(r3)\n"
      "        sw r2, 127(r3)\n"
      "        push r7\n"
      "        comp r5, r6\n"
      "        j 8191\n"
      "        j loop\n"
      "done:   hlt\n"
      "data:\n"
      "        dw 1, -32768, 65535\n"
      "        db 255, -128, 7\n"
      "        dw\n";
  const Checked result = check(source);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(result.findings, 0u);
}

std::string readExample(const std::string& name) {
  std::ifstream in(std::string(EXAMPLES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Checker, ExamplesHaveNoFinding) {
  for (const char* name : {"countdown.asm", "table.asm", "subroutine.asm"}) {
    const std::string source = readExample(name);
    ASSERT_FALSE(source.empty()) << name;
    EXPECT_EQ(check(source).output, "") << name;
  }
}

TEST(Checker, WholeFindingWithNoteAndCaretUnderTabs) {
  const Checked result = check("\tx: hlt\nx:\tdw 1\n");
  EXPECT_EQ(result.output,
            "t.asm:2:1: warning: `x` is defined again: its last value, 1, is used everywhere, "
            "also in lines before it [-Wredefined]\n"
            "x:\tdw 1\n"
            "^\n"
            "t.asm:1:2: note: `x` was defined here first\n"
            "\tx: hlt\n"
            "\t^\n"
            "t.asm:2:4: warning: `dw` behind a label is not a directive: `dw 1` is not carried "
            "out and assembles to one word, 0000 [-Wnot-an-instruction]\n"
            "x:\tdw 1\n"
            "  \t^\n"
            "t.asm:2:4: note: put 'dw' on a line of its own, which the label then names\n");
}

TEST(Checker, LongShownLinesAreCut) {
  const std::string line = "j nowhere" + std::string(250, ' ') + "\n";
  const std::string output = check(line).output;
  EXPECT_NE(output.find("\nj nowhere" + std::string(191, ' ') + "...\n"), std::string::npos);
}

// A line of `length` bytes that shows where each byte stands ("abc..."),
// with a tab at `tab` when it is given.
std::string lettered(std::size_t length, std::size_t tab = std::string::npos) {
  std::string line;
  for (std::size_t i = 0; i < length; ++i) line += static_cast<char>('a' + i % 26);
  if (tab < length) line[tab] = '\t';
  return line;
}

// The shown line and the caret line of a remark at `column` of the only
// line of `source`.
std::string shownUnder(const std::string& source, std::uint32_t column) {
  class Shower final : public LineListener {
   public:
    explicit Shower(std::uint32_t column) : column_(column) {}
    void piece(const SourceLine& line, const SourcePiece& p) override {
      if (p.index != 0) return;
      appendFinding("t.asm", Finding{Remark{1, column_, "m", &line, {}}, "w", std::nullopt}, out);
    }
    std::string out;

   private:
    std::uint32_t column_;
  } shower(column);
  Walk walk(Build::full);
  const MemoryText text(source);
  EXPECT_TRUE(walk.collect(text) && walk.walk(text, shower));
  return shower.out.substr(shower.out.find('\n') + 1);
}

struct WindowCase {
  std::size_t length;
  std::size_t tab;
  std::uint32_t column;
  std::size_t from;  // the first byte shown
  std::size_t shown;  // how many bytes
  std::string caret;
};

TEST(Checker, ShownLinesAreWindowsAroundTheColumn) {
  const std::size_t none = std::string::npos;
  const std::string cut = "...";
  const std::string under = "   ";  // what stands under a cut
  const WindowCase cases[] = {
      {50, none, 10, 0, 50, std::string(9, ' ')},                         // short: whole
      {200, none, 200, 0, 200, std::string(199, ' ')},                    // 200 bytes: whole
      {201, none, 1, 0, 200, ""},                                         // 201: cut after
      {201, none, 200, 0, 200, std::string(199, ' ')},                    // the last byte kept
      {201, none, 201, 1, 200, under + std::string(199, ' ')},            // its last byte
      {1000, none, 500, 399, 200, under + std::string(100, ' ')},         // the middle
      {1000, none, 1001, 800, 200, under + std::string(200, ' ')},        // past the end
      {1000, 450, 500, 399, 200, under + std::string(51, ' ') + "\t" + std::string(48, ' ')},
      {1000, 3, 5, 0, 200, "   \t"},                                      // near the start
  };
  for (const WindowCase& c : cases) {
    const std::string line = lettered(c.length, c.tab);
    std::string expected = line.substr(c.from, c.shown);
    if (c.from > 0) expected = cut + expected;
    if (c.from + c.shown < c.length) expected += cut;
    EXPECT_EQ(shownUnder(line + "\n", c.column), expected + "\n" + c.caret + "^\n")
        << c.length << " bytes, column " << c.column;
  }
  // The CR of a CR LF line end is not shown, and does not count.
  const std::string line = lettered(200);
  EXPECT_EQ(shownUnder(line + "\r\n", 3), line + "\n  ^\n");
}

TEST(Checker, OutputLinesStayShortOnAnyLine) {
  // A megabyte of one line, names defined again and again, with tabs.
  std::string source;
  while (source.size() < 1'000'000) source += "\tx: j y\t, 5 ";
  source += "\n";
  const Checked result = check(source, Build::reduced);
  EXPECT_GT(result.findings, 1000u);
  std::size_t longest = 0;
  for (std::size_t at = 0; at < result.output.size();) {
    const std::size_t end = result.output.find('\n', at);
    longest = std::max(longest, end - at);
    at = end + 1;
  }
  EXPECT_LE(longest, 300u);
}

TEST(Checker, ColumnsCountInTheWholeLongLine) {
  // The second piece starts at byte 100; its operand stands at 106.
  const std::string line = "hlt" + std::string(96, ' ') + "j     far\n";
  const std::string output = check(line).output;
  EXPECT_NE(output.find("t.asm:1:106: warning: `far` is not defined"), std::string::npos)
      << output;
}

TEST(Checker, NamesInTheFirstPieceOfALineSurviveTheReadersRefill) {
  // The long line starts 150 bytes before the end of the reader's 64 KiB
  // buffer: its first piece, which defines `dup`, is overwritten when the
  // buffer is filled again for its second piece.
  std::string source = "\n\n";
  for (int i = 0; i < 16346; ++i) source += "hlt\n";
  ASSERT_EQ(source.size(), 65536u - 150);
  source += "dup:" + std::string(200, ' ') + "hlt\n";
  source += "dup: hlt\n";
  for (int i = 0; i < 16400; ++i) source += "hlt\n";  // what the refill brings
  const std::string output = check(source).output;
  EXPECT_NE(output.find("t.asm:16350:1: warning: `dup` is defined again"), std::string::npos)
      << output;
  EXPECT_NE(output.find("t.asm:16349:1: note: `dup` was defined here first\ndup:"),
            std::string::npos)
      << output;
}

}  // namespace
}  // namespace quellmark
