// The bundled example programs and the images they must give.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "assemble.h"

namespace quellmark {
namespace {

std::string readExample(const std::string& name) {
  std::ifstream in(std::string(EXAMPLES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct ExampleCase {
  std::string name;
  bool sameInBothBuilds;  // no data directive and no label alone on a line
};

class ExampleTest : public testing::TestWithParam<ExampleCase> {};

TEST_P(ExampleTest, GivesItsImage) {
  const std::string source = readExample(GetParam().name + ".asm");
  const std::string image = readExample(GetParam().name + ".hex");
  ASSERT_FALSE(source.empty());
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(assembleText(source, Build::full).image, image);
  if (GetParam().sameInBothBuilds) {
    EXPECT_EQ(assembleText(source, Build::reduced).image, image);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest,
                         testing::Values(ExampleCase{"countdown", true},
                                         ExampleCase{"table", false},
                                         ExampleCase{"subroutine", true}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quellmark
