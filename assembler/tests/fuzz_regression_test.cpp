// Every input of the fuzzer's corpus and every input that ever found a
// fault keep the properties the fuzzer checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "assembler_properties.h"

namespace quellmark {
namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressionTest, KeptInputsHoldEveryProperty) {
  int inputs = 0;
  for (const char* folder : {"corpus/assembler", "regressions/assembler"}) {
    for (const auto& entry : fs::directory_iterator(fs::path(FUZZ_DIR) / folder)) {
      if (entry.path().filename() == "README.md") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      for (const Build build : {Build::full, Build::reduced}) {
        EXPECT_EQ(assemblyFault(bytes.str(), build), "") << entry.path();
      }
      ++inputs;
    }
  }
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
