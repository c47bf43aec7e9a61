// Every pattern file of the fuzzer's corpus and every input that ever
// found a fault keep the properties the fuzzer checks.
#include <gtest/gtest.h>

#include "kept_inputs.h"
#include "ptn_properties.h"

namespace tarnwick {
namespace {

TEST(FuzzRegressionTest, KeptPatternFilesHoldEveryProperty) {
  const int inputs =
      forEachKeptInput(FUZZ_DIR, "ptn", [](const auto& path, const std::string& bytes) {
        EXPECT_EQ(patternFault(bytes), "") << path;
      });
  EXPECT_GT(inputs, 3);
}

}  // namespace
}  // namespace tarnwick
