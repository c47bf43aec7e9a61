#include "symbol_table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>

namespace quellmark {
namespace {

struct DecimalCase {
  std::string token;
  std::int32_t value;
};

void PrintTo(const DecimalCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.token);
}

class DecimalValueTest : public testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalValueTest, ReadsSignAndLeadingDigits) {
  EXPECT_EQ(decimalValue(GetParam().token), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, DecimalValueTest,
    testing::Values(DecimalCase{"10", 10}, DecimalCase{"-1", -1}, DecimalCase{"+7", 7},
                    DecimalCase{"12ab", 12}, DecimalCase{"0x10", 0}, DecimalCase{"abc", 0},
                    DecimalCase{"", 0}, DecimalCase{"-", 0}, DecimalCase{"--5", 0},
                    DecimalCase{"007", 7}, DecimalCase{"2147483647", 2147483647},
                    DecimalCase{"-2147483648", -2147483647 - 1}, DecimalCase{"4294967296", 0},
                    DecimalCase{"4294967297", 1}, DecimalCase{"2147483648", -2147483647 - 1},
                    DecimalCase{"99999999999999999999", 1661992959}));

TEST(DecimalTextTest, WritesEveryValue) {
  char text[12];
  EXPECT_EQ(decimalText(0, text), "0");
  EXPECT_EQ(decimalText(65535, text), "65535");
  EXPECT_EQ(decimalText(-1, text), "-1");
  EXPECT_EQ(decimalText(-2147483647 - 1, text), "-2147483648");
}

TEST(SymbolTableTest, LatestDefinitionWins) {
  SymbolTable table;
  table.define("loop", 3);
  table.define("other", 9);
  table.define("loop", 8);
  EXPECT_EQ(table.lookup("loop"), 8);
  EXPECT_EQ(table.lookup("other"), 9);
  EXPECT_EQ(table.definitions(), 3u);
  EXPECT_EQ(table.names(), 2u);
}

TEST(SymbolTableTest, UnknownAndEmptyNamesAreNotFound) {
  SymbolTable table;
  table.define("", 5);
  table.define("a", 1);
  EXPECT_FALSE(table.lookup(""));
  EXPECT_FALSE(table.lookup("b"));
  EXPECT_FALSE(table.lookup("A"));
  EXPECT_EQ(table.definitions(), 1u);
  EXPECT_EQ(table.names(), 1u);
}

TEST(ChunkedVectorTest, ElementsStayWhereTheyAreAcrossChunks) {
  ChunkedVector<int, 4> numbers;
  EXPECT_TRUE(numbers.empty());
  numbers.push_back(0);
  const int* first = &numbers[0];
  for (int i = 1; i < 10; ++i) numbers.push_back(i * i);
  ASSERT_EQ(numbers.size(), 10u);
  EXPECT_EQ(&numbers[0], first);
  for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<int>(i * i));
}

TEST(SymbolTableTest, KeepsManySymbolsThroughGrowth) {
  SymbolTable table;
  for (int i = 0; i < 100000; ++i) table.define("s" + std::to_string(i), i);
  for (int i = 0; i < 100000; i += 997) EXPECT_EQ(table.lookup("s" + std::to_string(i)), i);
  EXPECT_FALSE(table.lookup("s100000"));
}

TEST(SymbolTableTest, LongNamesAreWholeAndDistinct) {
  SymbolTable table;
  const std::string name(90, 'q');
  table.define(name, 1);
  table.define(name + "r", 2);
  EXPECT_EQ(table.lookup(name), 1);
  EXPECT_EQ(table.lookup(name + "r"), 2);
  EXPECT_FALSE(table.lookup(name.substr(0, 23)));
}

// Definitions wait in batches before they are entered; whatever the order
// of definitions, redefinitions and lookups, the table answers as a plain
// map that keeps the latest value does.
TEST(SymbolTableTest, AnswersAsAPlainMapThroughBatchesAndGrowth) {
  std::mt19937 random(7);
  SymbolTable table;
  std::unordered_map<std::string, std::int32_t> model;
  for (int step = 0; step < 200000; ++step) {
    // Few names, so that many are defined again, some in the same batch.
    const std::string name = (random() % 3 == 0 ? "5" : "n") + std::to_string(random() % 5000);
    if (random() % 3 == 0) {
      const auto found = table.lookup(name);
      const auto expected = model.find(name);
      ASSERT_EQ(found.has_value(), expected != model.end()) << name << " at " << step;
      if (found) {
        ASSERT_EQ(*found, expected->second) << name << " at " << step;
      }
    } else {
      const auto value = static_cast<std::int32_t>(random());
      table.define(name, value);
      model[name] = value;
    }
  }
  for (const auto& [name, value] : model) EXPECT_EQ(table.lookup(name), value) << name;
  EXPECT_EQ(table.lookup("5"), std::nullopt);
  EXPECT_EQ(table.lookup("x1"), std::nullopt);
}

}  // namespace
}  // namespace quellmark
