#include "random_fill.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <random>
#include <vector>

#include "fixtures.h"

namespace tarnwick {
namespace {

using testing_support::ScriptedRandom;

int onInRow(const Cells& cells, int row) {
  int count = 0;
  for (int c = 0; c < 4; ++c) count += cells[static_cast<std::size_t>(4 * row + c)] ? 1 : 0;
  return count;
}

TEST(RandomFillTest, InvariantsHoldOverManyFillsAndGrids) {
  std::mt19937 grids(3);
  FixedSeedRandom random;
  for (int round = 0; round < 2000; ++round) {
    Cells cells;
    for (bool& cell : cells) cell = (grids() & 1) != 0;
    randomFill(cells, random);
    for (int row = 0; row < 50; ++row) {
      EXPECT_LE(onInRow(cells, row), 2) << "row " << row;
      for (int c = 0; c < 4 && row > 0; ++c) {
        EXPECT_FALSE(cells[static_cast<std::size_t>(4 * row + c)] &&
                     cells[static_cast<std::size_t>(4 * (row - 1) + c)])
            << "column " << c << " rows " << row - 1 << " and " << row;
      }
    }
  }
}

TEST(RandomFillTest, DrawsExactlyOneNumberPerCell) {
  ScriptedRandom random;
  Cells cells{};
  randomFill(cells, random);
  EXPECT_EQ(random.drawn, 200);
}

struct ScriptedFill {
  const char* name;
  std::vector<int> onBefore;   // cells on before the fill
  std::deque<float> numbers;   // drawn for cells 0, 1, ...; then 0
  std::array<bool, 8> rows01;  // cells 0 to 7 after the fill
};

class ScriptedFillTest : public testing::TestWithParam<ScriptedFill> {};

TEST_P(ScriptedFillTest, FillsRowsZeroAndOne) {
  Cells cells{};
  for (const int i : GetParam().onBefore) cells[static_cast<std::size_t>(i)] = true;
  ScriptedRandom random;
  random.numbers = GetParam().numbers;
  randomFill(cells, random);
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(cells[i], GetParam().rows01[i]) << "cell " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptedFillTest,
    testing::Values(
        // A number equal to 0.5 gives off.
        ScriptedFill{"StrictComparisons", {}, {0.5f, 0.50001f, 0.5f, 0.5f}, {0, 1, 0, 0}},
        // From an empty grid columns 2 and 3 can come on together.
        ScriptedFill{"ColumnsTwoAndThreeTogether", {}, {0.1f, 0.2f, 0.9f, 0.9f}, {0, 0, 1, 1}},
        // Columns 2 and 3 were on; the fill turns on column 0 only. Column 2
        // then counts 3 cells on and goes off, column 3 counts 2.
        ScriptedFill{
            "RowCountSeesTheGridBeforeTheFill", {2, 3}, {0.9f, 0.1f, 0.9f, 0.9f}, {1, 0, 0, 0}},
        // A cell below an on cell stays off, whatever its number.
        ScriptedFill{
            "BelowAnOnCell", {}, {0.9f, 0.1f, 0.1f, 0.1f, 0.99f, 0.9f}, {1, 0, 0, 0, 0, 1, 0, 0}}),
    [](const auto& info) { return info.param.name; });

TEST(RandomFillTest, FixedSeedGivesTheSameSequenceInRange) {
  FixedSeedRandom a;
  FixedSeedRandom b;
  for (int i = 0; i < 10000; ++i) {
    const float x = a.next();
    EXPECT_EQ(x, b.next());
    ASSERT_GE(x, 0.0f);
    ASSERT_LT(x, 1.0f);
  }
}

}  // namespace
}  // namespace tarnwick
