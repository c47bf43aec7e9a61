// Every pattern file of the fuzzer's corpus and every input that ever
// found a fault keep the properties the fuzzer checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ptn_properties.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressionTest, KeptPatternFilesHoldEveryProperty) {
  int inputs = 0;
  for (const char* folder : {"corpus/ptn", "regressions/ptn"}) {
    for (const auto& entry : fs::directory_iterator(fs::path(FUZZ_DIR) / folder)) {
      if (entry.path().filename() == "README.md") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      EXPECT_EQ(patternFault(bytes.str()), "") << entry.path();
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 3);
}

}  // namespace
}  // namespace tarnwick
