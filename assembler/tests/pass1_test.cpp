#include "pass1.h"

#include <gtest/gtest.h>

#include <string>

#include "assemble.h"

namespace quellmark {
namespace {

// Feeds pass 1 one line at a time and tells what each line wrote.
class Pass1Harness {
 public:
  explicit Pass1Harness(Build build) : pass_(build, symbols, writer_) {}

  std::string feed(std::string line) {
    const std::size_t before = sink_.text().size();
    pass_.handleLine(line);
    writer_.flush();
    return sink_.text().substr(before);
  }
  std::uint32_t counter() const { return pass_.locationCounter(); }

  SymbolTable symbols;

 private:
  MemorySink sink_;
  BufferedWriter writer_{sink_};
  Pass1 pass_;
};

struct WorkedLine {
  std::string source;
  std::string symbol;  // empty when the line defines none
  std::int32_t value;
  std::string written;
  std::uint32_t counterAfter;
};

TEST(Pass1Test, WorkedExampleLineByLine) {
  const WorkedLine lines[] = {
      {"; demo\n", "", 0, "", 0},
      {"define MAX 10\n", "max", 10, "", 0},
      {"start:  ADDI r1, r0, MAX\n", "start", 0, "addi r1 r0 max \n", 1},
      {"loop: beq r1 r0 done\n", "loop", 1, "beq r1 r0 done \n", 2},
      {"      dec r1, r1\n", "", 0, "dec r1 r1 \n", 3},
      {"      j loop\n", "", 0, "j loop \n", 4},
      {"done: hlt\n", "done", 4, "hlt \n", 5},
      {"table:\n", "table", 5, "\n", 5},
      {"      dw 5 -1\n", "", 0, "num 5\nnum -1\n", 7},
      {"      db 1 2 3\n", "", 0, "num 258\nnum 768\n\n", 9},
  };
  Pass1Harness pass(Build::full);
  for (const WorkedLine& line : lines) {
    SCOPED_TRACE(line.source);
    EXPECT_EQ(pass.feed(line.source), line.written);
    EXPECT_EQ(pass.counter(), line.counterAfter);
    if (!line.symbol.empty()) {
      EXPECT_EQ(pass.symbols.lookup(line.symbol), line.value);
    }
  }
  EXPECT_EQ(pass.symbols.definitions(), 5u);
}

struct LineCase {
  Build build;
  std::string source;
  std::string written;
  std::uint32_t counterAfter;
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.source);
}

class Pass1LineTest : public testing::TestWithParam<LineCase> {};

TEST_P(Pass1LineTest, WritesIntermediateLines) {
  Pass1Harness pass(GetParam().build);
  EXPECT_EQ(pass.feed(GetParam().source), GetParam().written);
  EXPECT_EQ(pass.counter(), GetParam().counterAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Pass1LineTest,
    testing::Values(
        LineCase{Build::full, "x: dw 5\n", "dw 5 \n", 1}, LineCase{Build::full, "dw\n", "\n", 0},
        LineCase{Build::full, "db 300 -1\n", "num 11519\n\n", 1},
        LineCase{Build::full, "db 7\n", "num 1792\n\n", 1}, LineCase{Build::full, "db\n", "\n", 0},
        LineCase{Build::full, "db 0x10 12ab\n", "num 12\n\n", 1},
        LineCase{Build::full, "dw label 0x10\n", "num label\nnum 0x10\n", 2},
        LineCase{Build::full, "num 5\n", "5 \n", 1},
        LineCase{Build::full, "ad r1 r2 r3\n", "r1 r2 r3 \n", 1},
        LineCase{Build::full, "loop : add r1 r2 r3\n", ": add r1 r2 r3 \n", 1},
        LineCase{Build::full, "add:r1 r2 r3\n", "add:r1 r2 r3 \n", 1},
        LineCase{Build::full, "hlt", "hlt\n", 1}, LineCase{Build::full, "   \t \n", "", 0},
        LineCase{Build::full, "  ; only a comment\n", "", 0},
        LineCase{Build::full, "define\n", "", 0}, LineCase{Build::full, "define x\n", "", 0},
        LineCase{Build::reduced, "dw 5 6\n", "5 6 \n", 1},
        LineCase{Build::reduced, "db\n", "\n", 1}, LineCase{Build::reduced, "table:\n", "\n", 1},
        LineCase{Build::reduced, "define a 1\n", "", 0},
        LineCase{Build::reduced, "add r1 r2 r3\n", "add r1 r2 r3 \n", 1}));

TEST(Pass1Test, DataDirectivesAfterALabelAreCarriedOver) {
  Pass1Harness pass(Build::full);
  EXPECT_EQ(pass.feed("t: db 1 2\n"), "db 1 2 \n");
  EXPECT_EQ(pass.symbols.lookup("t"), 0);
  EXPECT_EQ(pass.counter(), 1u);
}

TEST(Pass1Test, NamesAreLowerCaseAndMayStartWithDigits) {
  Pass1Harness pass(Build::full);
  (void)pass.feed("LOOP: hlt\n");
  (void)pass.feed("5: add r1 r2 r3\n");
  EXPECT_EQ(pass.symbols.lookup("loop"), 0);
  EXPECT_FALSE(pass.symbols.lookup("LOOP"));
  EXPECT_EQ(pass.symbols.lookup("5"), 1);
}

TEST(Pass1Test, DefineTakesDecimalValueAndIgnoresMoreTokens) {
  Pass1Harness pass(Build::full);
  (void)pass.feed("define a -7x 99\n");
  (void)pass.feed("define b\n");
  EXPECT_EQ(pass.symbols.lookup("a"), -7);
  EXPECT_EQ(pass.symbols.lookup("b"), 0);
}

TEST(Pass1Test, LabelAloneAddressesTheNextWordInTheFullBuild) {
  Pass1Harness pass(Build::full);
  (void)pass.feed("first:\n");
  (void)pass.feed("add r1 r2 r3\n");
  (void)pass.feed("second: hlt\n");
  EXPECT_EQ(pass.symbols.lookup("first"), 0);
  EXPECT_EQ(pass.symbols.lookup("second"), 1);
}

TEST(Pass1Test, LongDataLineExpandsEveryValue) {
  std::string line = "dw";
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    line += " " + std::to_string(i % 10);
    expected += "num " + std::to_string(i % 10) + "\n";
  }
  Pass1Harness pass(Build::full);
  EXPECT_EQ(pass.feed(line + "\n"), expected);
  EXPECT_EQ(pass.counter(), 40u);
}

TEST(Pass1Test, LineStopsAtNulByte) {
  Pass1Harness pass(Build::full);
  EXPECT_EQ(pass.feed(std::string("hlt\0 r1\n", 8)), "hlt\n");
}

TEST(IsMnemonicTest, KnowsTheTwentyMnemonicsAndNothingElse) {
  for (const char* m : {"add", "sub", "inc", "dec", "sla", "sra", "and", "or", "comp", "sll",
                        "srl", "push", "pop", "slt", "lw", "sw", "addi", "beq", "j", "hlt"}) {
    EXPECT_TRUE(isMnemonic(m)) << m;
  }
  for (const char* other : {"num", "dw", "db", "define", "", "ad", "addx", "add ", "jj", "hl",
                            "ADD", "pushpop", "addi1"}) {
    EXPECT_FALSE(isMnemonic(other)) << other;
  }
  EXPECT_FALSE(isMnemonic(std::string_view("add\0", 4)));
}

}  // namespace
}  // namespace quellmark
