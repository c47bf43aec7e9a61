#include "encoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "assembler_properties.h"

#include <string>
#include <utility>
#include <vector>

namespace quellmark {
namespace {

struct EncodeCase {
  std::string line;
  std::uint16_t word;
  std::uint32_t counter = 0;
  std::vector<std::pair<std::string, std::int32_t>> symbols = {};
  Build build = Build::full;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.line);
}

class EncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, GivesWord) {
  SymbolTable symbols;
  for (const auto& [name, value] : GetParam().symbols) symbols.define(name, value);
  // Pass 2 sees the line with its newline; the word must not depend on it.
  for (const std::string& line : {GetParam().line, GetParam().line + " \n"}) {
    EXPECT_EQ(encodeLine(line, GetParam().counter, symbols, GetParam().build), GetParam().word)
        << std::hex << "line \"" << line << "\"";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Instructions, EncodeTest,
    testing::Values(EncodeCase{"add r1 r2 r3", 0x0990}, EncodeCase{"sub r1 r2 r3", 0x0991},
                    EncodeCase{"and r1 r2 r3", 0x0992}, EncodeCase{"or r1 r2 r3", 0x0993},
                    EncodeCase{"inc r1 r2", 0x0814}, EncodeCase{"dec r1 r2", 0x0815},
                    EncodeCase{"comp r5 r6", 0x1856}, EncodeCase{"sla r1 r2 r3", 0x0998},
                    EncodeCase{"slt r7 r6 r5", 0x1AF9}, EncodeCase{"sra r1 r2 r3", 0x099A},
                    EncodeCase{"sll r1 r2 r3", 0x099C}, EncodeCase{"srl r1 r2 r3", 0x099D},
                    EncodeCase{"push r3", 0x0DBE}, EncodeCase{"pop r7", 0x1FFF},
                    EncodeCase{"lw r1 4 r2", 0x2884}, EncodeCase{"sw r3 10 r4", 0x518A},
                    EncodeCase{"addi r1 r2 5", 0x6885}, EncodeCase{"addi r1 r2 -1", 0x68FF},
                    EncodeCase{"beq r1 r2 -1", 0x857F}, EncodeCase{"j 100", 0xA064},
                    EncodeCase{"hlt", 0xE000}, EncodeCase{"hlt r1 r2", 0xE000},
                    EncodeCase{"num -1", 0xFFFF}, EncodeCase{"num 65537", 0x0001},
                    EncodeCase{"jmp 5", 0xA000}, EncodeCase{"r1 r2 r3", 0x0000},
                    EncodeCase{"", 0x0000}, EncodeCase{": add r1 r2 r3", 0x0000},
                    EncodeCase{"j 8192", 0xA000}, EncodeCase{"j -1", 0xBFFF},
                    EncodeCase{"lw r1 200 r0", 0x20C8}));

// An immediate keeps 7 bits and a jump target 13: with a first register of 0
// nothing else sets the bit just above the field.
INSTANTIATE_TEST_SUITE_P(
    FieldWidths, EncodeTest,
    testing::Values(EncodeCase{"lw r0 200 r0", 0x2048}, EncodeCase{"sw r0 200 r0", 0x4048},
                    EncodeCase{"addi r0 r0 200", 0x6048}, EncodeCase{"beq r0 r0 200", 0x8048},
                    EncodeCase{"lw r0 -1 r0", 0x207F}, EncodeCase{"j 16383", 0xBFFF},
                    EncodeCase{"num 131071", 0xFFFF}));

// A prefix is compared for its whole length, and a mnemonic is followed by
// its operands with or without a blank only where the prefix allows it.
INSTANTIATE_TEST_SUITE_P(
    Prefixes, EncodeTest,
    testing::Values(EncodeCase{"addr1 r2 r3", 0x0000}, EncodeCase{"adr1 r2 r3", 0x0000},
                    EncodeCase{"subr1 r2 r3", 0x0991}, EncodeCase{"addir1 r2 5", 0x6885},
                    EncodeCase{"hltx", 0xE000}, EncodeCase{"jx", 0xA000},
                    EncodeCase{"j5", 0xA005}, EncodeCase{"pusr1", 0x0000},
                    EncodeCase{"comr1 r2", 0x0000}, EncodeCase{"nu 5", 0x0000},
                    EncodeCase{"orr1 r2 r3", 0x0993}, EncodeCase{"o r1 r2 r3", 0x0000}));

INSTANTIATE_TEST_SUITE_P(Symbols, EncodeTest,
                         testing::Values(EncodeCase{"beq r1 r2 loop", 0x857C, 3, {{"loop", 0}}},
                                         EncodeCase{"beq r1 r2 loop", 0x8540, 5, {{"loop", 70}}},
                                         EncodeCase{"beq r1 r2 here", 0x857F, 9, {{"here", 9}}},
                                         EncodeCase{"beq r1 r2 next", 0x8500, 9, {{"next", 10}}},
                                         EncodeCase{"beq r1 r2 nowhere", 0x8500, 9},
                                         EncodeCase{"j nowhere", 0xA000},
                                         EncodeCase{"j 5", 0xA00C, 0, {{"5", 12}}},
                                         EncodeCase{"addi r1 r0 max", 0x608A, 0, {{"max", 10}}},
                                         EncodeCase{"lw r1 table r0", 0x20AC, 0, {{"table", 300}}},
                                         EncodeCase{"beq r0 r0 max", 0x8009, 0, {{"max", 10}}},
                                         EncodeCase{"num x", 0x0000, 0, {{"x", 5}}},
                                         EncodeCase{"num 12ab", 0x000C}));

INSTANTIATE_TEST_SUITE_P(Builds, EncodeTest,
                         testing::Values(EncodeCase{"num 5", 0x0000, 0, {}, Build::reduced},
                                         EncodeCase{"add r1 r2 r3", 0x0990, 0, {}, Build::reduced},
                                         EncodeCase{"\n", 0x0000, 0, {}, Build::reduced}));

// What a line does not supply reads as 0; nothing comes from another line.
INSTANTIATE_TEST_SUITE_P(MissingOperands, EncodeTest,
                         testing::Values(EncodeCase{"add r1", 0x0010},
                                         EncodeCase{"add 1 2 3", 0x0000},
                                         EncodeCase{"add r1 x r3", 0x0010},
                                         EncodeCase{"addi r1", 0x6080}, EncodeCase{"lw r1", 0x2080},
                                         EncodeCase{"beq r1 r2", 0x8500}, EncodeCase{"j", 0xA000},
                                         EncodeCase{"num", 0x0000}, EncodeCase{"num -", 0x0000},
                                         EncodeCase{"add r-", 0x0000}));

// Register numbers are shifted without a range check; the word keeps 16 bits.
INSTANTIATE_TEST_SUITE_P(
    WideRegisters, EncodeTest,
    testing::Values(EncodeCase{"add r8 r0 r0", 0x0080}, EncodeCase{"add r0 r8 r0", 0x2000},
                    EncodeCase{"add r0 r0 r8", 0x0400}, EncodeCase{"add r-1 r0 r0", 0xFFF0},
                    EncodeCase{"push r-1", 0xFFFE}, EncodeCase{"add r0 r64 r0", 0x0000},
                    EncodeCase{"add r0 r99999999999 r0", 0xFC00},
                    EncodeCase{"addi r1 r2 4294967301", 0x6885},
                    EncodeCase{"add r-2147483648 r0 r0", 0x0000}));

TEST(EncodeTest, LaterDefinitionWins) {
  SymbolTable symbols;
  symbols.define("x", 1);
  symbols.define("x", 7);
  EXPECT_EQ(encodeLine("j x\n", 0, symbols, Build::full), 0xA007);
}

TEST(EncodeTest, LongTextOperandIsWhole) {
  SymbolTable symbols;
  const std::string name = "a_label_name_well_beyond_twenty_characters";
  symbols.define(name, 42);
  symbols.define(name.substr(0, 20), 1);
  EXPECT_EQ(encodeLine("j " + name + " \n", 0, symbols, Build::full), 0xA02A);
}

// Every test compares its whole prefix: a line that differs from the prefix
// in its last byte only passes no test.
TEST(EncodeTest, EveryPrefixIsComparedWhole) {
  const SymbolTable symbols;
  for (const InstructionForm& form : instructionForms()) {
    std::string line = std::string(form.prefix) + (form.form == Form::data ? " 7" : " r1 r2 r3");
    line[form.prefix.size() - 1] = form.prefix.back() == 'x' ? 'y' : 'x';
    EXPECT_EQ(encodeLine(line, 0, symbols, Build::full), 0) << line;
    line[form.prefix.size() - 1] = form.prefix.back();
    EXPECT_NE(encodeLine(line, 0, symbols, Build::full), 0) << line;
  }
}

// Each form's own reader against the plain reader of its pattern, on lines
// made of mnemonics, prefixes, operands and the bytes that end or
// separate them, glued or apart.
TEST(FormReaderTest, ReadsGeneratedLinesAsThePlainReader) {
  std::vector<std::string> heads = {"", " ", "x", "nu", "ad", "addr", "su", "c", "pus", "h"};
  for (const InstructionForm& form : instructionForms()) {
    heads.emplace_back(form.prefix);
    heads.emplace_back(form.mnemonic());
    heads.push_back(std::string(form.mnemonic()) + " ");
  }
  const std::vector<std::string> operands = {
      "r1",  "r7", "r-3", "r+7", "r99999999999", "r", "x", "table", "12ab", "-", "+", "5",
      "-64", "0x10", "200", "r1x", std::string(1, '\0'), "r\0" "2", "\t", "\r", "\n", "",
      "r2147483648", "-2147483649", "4294967301", std::string(1, '\xC4')};
  const std::vector<std::string> gaps = {" ", "", "\t", "  ", " \v"};
  SymbolTable symbols;
  symbols.define("table", 300);
  symbols.define("x", -5);
  symbols.define("5", 12);
  std::mt19937 random(20261209);
  const auto pick = [&random](const std::vector<std::string>& from) -> const std::string& {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  int lines = 0;
  for (; lines < 30000; ++lines) {
    std::string line = pick(heads);
    const int count = static_cast<int>(random() % 5);
    for (int i = 0; i < count; ++i) line += pick(gaps) + pick(operands);
    if (random() % 2) line += " \n";
    for (const Build build : {Build::full, Build::reduced}) {
      ASSERT_EQ(readerFault(line, build, symbols), "") << testing::PrintToString(line);
    }
  }
  EXPECT_EQ(lines, 30000);
}

TEST(FormReaderTest, ReadsTheExamplesAsThePlainReader) {
  SymbolTable symbols;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(EXAMPLES_DIR)) {
    if (entry.path().extension() != ".asm") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    for (const Build build : {Build::full, Build::reduced}) {
      const Assembly run = assembleText(text.str(), build);
      EXPECT_EQ(readersFault(run.intermediate, build, symbols), "") << entry.path();
      EXPECT_EQ(readersFault(text.str(), build, symbols), "") << entry.path();
    }
    ++files;
  }
  EXPECT_GE(files, 3);
}

struct ScanCase {
  std::string line;
  std::string pattern;
  std::array<std::int32_t, 3> numbers;
  std::string text;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.line);
}

class ScanTest : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanTest, ReadsOperandsByPosition) {
  const Operands operands = scanOperands(GetParam().line, GetParam().pattern);
  EXPECT_EQ(operands.number, GetParam().numbers);
  EXPECT_EQ(operands.text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, ScanTest,
    testing::Values(ScanCase{"lw r1 8 r2 \n", "lw r%d %s r%d", {1, 0, 2}, "8"},
                    ScanCase{"addi r3 r4 -9 \n", "addi r%d r%d %s", {3, 4, 0}, "-9"},
                    ScanCase{"add r1r2 r3", "add r%d r%d r%d", {1, 2, 3}, ""},
                    ScanCase{"add r 1 r+2 r3x", "add r%d r%d r%d", {1, 2, 3}, ""},
                    ScanCase{"add r1 q2 r3", "add r%d r%d r%d", {1, 0, 0}, ""},
                    ScanCase{"jmp 5", "j %s", {0, 0, 0}, "mp"},
                    ScanCase{"j\t\tfar away", "j %s", {0, 0, 0}, "far"},
                    ScanCase{"lw r1", "lw r%d %s r%d", {1, 0, 0}, ""}));

}  // namespace
}  // namespace quellmark
