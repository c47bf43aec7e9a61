#include "random_fill.h"

#include <gtest/gtest.h>

#include <random>

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

TEST(RandomFillTest, ComparisonsAreStrict) {
  ScriptedRandom random;
  random.numbers = {0.5f, 0.50001f, 0.5f, 0.5f};
  Cells cells{};
  randomFill(cells, random);
  EXPECT_FALSE(cells[0]);
  EXPECT_TRUE(cells[1]);
}

TEST(RandomFillTest, EmptyGridCanLightColumnsTwoAndThreeTogether) {
  ScriptedRandom random;
  random.numbers = {0.1f, 0.2f, 0.9f, 0.9f};
  Cells cells{};
  randomFill(cells, random);
  EXPECT_FALSE(cells[0]);
  EXPECT_FALSE(cells[1]);
  EXPECT_TRUE(cells[2]);
  EXPECT_TRUE(cells[3]);
}

TEST(RandomFillTest, RowCountSeesTheGridBeforeTheFill) {
  // Columns 2 and 3 of row 0 were on; the fill turns on column 0 only.
  // Column 2 then counts 3 cells on and goes off, column 3 counts 2.
  ScriptedRandom random;
  random.numbers = {0.9f, 0.1f, 0.9f, 0.9f};
  Cells cells{};
  cells[2] = cells[3] = true;
  randomFill(cells, random);
  EXPECT_TRUE(cells[0]);
  EXPECT_FALSE(cells[1]);
  EXPECT_FALSE(cells[2]);
  EXPECT_FALSE(cells[3]);
}

TEST(RandomFillTest, CellBelowAnOnCellStaysOff) {
  ScriptedRandom random;
  random.numbers = {0.9f, 0.1f, 0.1f, 0.1f, 0.99f, 0.9f};
  Cells cells{};
  randomFill(cells, random);
  EXPECT_TRUE(cells[0]);
  EXPECT_FALSE(cells[4]);
  EXPECT_TRUE(cells[5]);
}

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
