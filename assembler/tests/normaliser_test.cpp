#include "normaliser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quellmark {
namespace {

std::string normalised(std::string line) {
  return std::string(normalise(line));
}

std::vector<std::string> tokensOf(std::string_view line) {
  TokenSplitter splitter(line);
  std::vector<std::string> tokens;
  for (std::string_view t = splitter.first(); !t.empty(); t = splitter.next()) {
    tokens.emplace_back(t);
  }
  return tokens;
}

struct NormaliseCase {
  std::string read;
  std::string expected;
};

void PrintTo(const NormaliseCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.read);
}

class NormaliseTest : public testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseTest, GivesCanonicalLine) {
  EXPECT_EQ(normalised(GetParam().read), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, NormaliseTest,
    testing::Values(
        NormaliseCase{"  ADD R1, R2, R3\n", "add r1 r2 r3 "},
        NormaliseCase{"lw r1 8(r2)\n", "lw r1 8 r2 "},
        NormaliseCase{"sw r3, 4(r0) ; store\n", "sw r3 4 r0 "},
        NormaliseCase{"Loop: BEQ r1 r2 Loop;again\n", "loop: beq r1 r2 loop"},
        NormaliseCase{"hlt", "hlt"}, NormaliseCase{"\t; comment only\n", ""},
        NormaliseCase{"r1,\t( r2 )\n", "r1 r2 "}, NormaliseCase{"add r2;x\n", "add r2"},
        NormaliseCase{"\n", ""}, NormaliseCase{"", ""}, NormaliseCase{" \t\v\f\r,() \n", ""},
        NormaliseCase{"MiXeD_09-Name:\n", "mixed_09-name: "}, NormaliseCase{"a\r\n", "a "},
        NormaliseCase{"\xC4\xD6 \xff\n", "\xC4\xD6 \xff "}, NormaliseCase{"x ;", "x "}));

TEST(NormaliseTest, PieceOfNinetyNineCharactersKeepsNoTrailingBlank) {
  const std::string piece(99, 'A');
  EXPECT_EQ(normalised(piece), std::string(99, 'a'));
}

TEST(NormaliseTest, WorksInPlaceWithoutGrowing) {
  std::string line = "  ADD R1,,R2\n";
  const std::string_view result = normalise(line);
  EXPECT_EQ(result.data(), line.data());
  EXPECT_EQ(result, "add r1 r2 ");
}

struct SplitCase {
  std::string line;
  std::vector<std::string> tokens;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.line);
}

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, YieldsTokens) {
  EXPECT_EQ(tokensOf(GetParam().line), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitTest,
    testing::Values(SplitCase{"loop: add r1 r2 r3 ", {"loop", "add", "r1", "r2", "r3"}},
                    SplitCase{"loop:add r1 r2 r3", {"loop", "add", "r1", "r2", "r3"}},
                    SplitCase{"loop : add r1 r2 r3 ", {"loop", ":", "add", "r1", "r2", "r3"}},
                    SplitCase{"loop:: add", {"loop", ":", "add"}},
                    SplitCase{":: add r1", {"add", "r1"}},
                    SplitCase{"a:b:c d:e", {"a", "b:c", "d:e"}}, SplitCase{"", {}},
                    SplitCase{" ", {}}, SplitCase{":::", {}}, SplitCase{"hlt", {"hlt"}},
                    // Tokens that end on either side of eight bytes, taken eight at a time.
                    SplitCase{"abcdefg: x", {"abcdefg", "x"}},
                    SplitCase{"abcdefgh:ijklmnopq rstuvwxyz0123456 7",
                              {"abcdefgh", "ijklmnopq", "rstuvwxyz0123456", "7"}},
                    SplitCase{"abcdefghi:j", {"abcdefghi", "j"}},
                    SplitCase{"abcdefghijklmnop", {"abcdefghijklmnop"}},
                    SplitCase{"a_long_label_name:", {"a_long_label_name"}},
                    SplitCase{"x:y:z:w:v:u:t:s", {"x", "y:z:w:v:u:t:s"}}));

TEST(SplitTest, KeepsYieldingNothingAtTheEnd) {
  TokenSplitter splitter("x ");
  EXPECT_EQ(splitter.first(), "x");
  EXPECT_EQ(splitter.next(), "");
  EXPECT_EQ(splitter.next(), "");
}

}  // namespace
}  // namespace quellmark
