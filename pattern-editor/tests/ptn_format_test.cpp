#include "ptn_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tarnwick {
namespace {

Cells only(int index) {
  Cells cells{};
  cells[static_cast<std::size_t>(index)] = true;
  return cells;
}

struct FileCase {
  const char* name;
  Cells cells;
  std::string line;  // without its CR LF
};

class PatternFileTest : public testing::TestWithParam<FileCase> {};

TEST_P(PatternFileTest, WritesExactBytesAndReadsThemBack) {
  const std::string bytes = encodePattern(GetParam().cells);
  EXPECT_EQ(bytes, GetParam().line + "\r\n");
  EXPECT_EQ(bytes.size(), kPatternFileSize);
  EXPECT_EQ(decodePattern(bytes), GetParam().cells);
}

Cells allOn() {
  Cells cells;
  cells.fill(true);
  return cells;
}

std::string repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Grids, PatternFileTest,
    testing::Values(
        FileCase{"AllOff", Cells{}, std::string(132, '0')},
        FileCase{"AllOn", allOn(), repeat("f0", 50) + std::string(32, '0')},
        FileCase{"Cell0", only(0), std::string(96, '0') + "1000" + std::string(32, '0')},
        FileCase{"Cell199", only(199), "0080" + std::string(128, '0')},
        FileCase{"Cell193", only(193), "2" + std::string(131, '0')},
        FileCase{"Cell6", only(6), std::string(96, '0') + "0040" + std::string(32, '0')}),
    [](const auto& info) { return info.param.name; });

TEST(PatternFileTest, RandomGridsSurviveARoundTrip) {
  std::mt19937 generator(7);
  for (int round = 0; round < 500; ++round) {
    Cells cells;
    for (bool& cell : cells) cell = (generator() & 1) != 0;
    EXPECT_EQ(decodePattern(encodePattern(cells)), cells);
  }
}

TEST(PatternFileTest, ReadsOnlyLowerCaseDigitsAtRowPositions) {
  // "F0" in upper case is no digit: those rows read as off.
  EXPECT_EQ(decodePattern(repeat("F0", 50)), Cells{});
  // Positions 2, 4, ... and everything after position 100 are ignored.
  std::string line = repeat("0f", 50) + repeat("ff", 20) + "\r\nffff";
  EXPECT_EQ(decodePattern(line), Cells{});
  EXPECT_EQ(decodePattern(""), Cells{});
  EXPECT_EQ(decodePattern("1"), only(192));  // row 48, column 0
  EXPECT_EQ(decodePattern("z0800"), only(199));
}

TEST(PatternFileTest, ArbitraryBytesReadWithoutFault) {
  std::mt19937 generator(11);
  std::string bytes(10 * 1024 * 1024, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  const Cells cells = decodePattern(bytes);
  EXPECT_EQ(decodePattern(encodePattern(cells)), cells);
}

}  // namespace
}  // namespace tarnwick
