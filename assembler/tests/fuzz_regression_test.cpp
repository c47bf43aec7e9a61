// Every input of the fuzzer's corpus and every input that ever found a
// fault keep the properties the fuzzer checks.
#include <gtest/gtest.h>

#include "assembler_properties.h"
#include "kept_inputs.h"

namespace quellmark {
namespace {

TEST(FuzzRegressionTest, KeptInputsHoldEveryProperty) {
  const int inputs =
      forEachKeptInput(FUZZ_DIR, "assembler", [](const auto& path, const std::string& bytes) {
        for (const Build build : {Build::full, Build::reduced}) {
          EXPECT_EQ(assemblyFault(bytes, build), "") << path;
        }
      });
  EXPECT_GE(inputs, 5);
}

TEST(FuzzRegressionTest, PropertiesCatchAWrongCount) {
  // The count of words follows the pieces of the intermediate text.
  EXPECT_EQ(wordsOf("a\n\nb\n", Build::full), 2u);
  EXPECT_EQ(wordsOf("a\n\nb\n", Build::reduced), 3u);
  EXPECT_EQ(wordsOf(std::string(99, 'x') + "\n", Build::full), 1u);
  EXPECT_EQ(wordsOf(std::string(99, 'x') + "\n", Build::reduced), 2u);
}

}  // namespace
}  // namespace quellmark
