#include "image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assemble.h"
#include "worked_example.h"

namespace quellmark {
namespace {

TEST(Swap4Test, ReversesFirstFourCharactersOnly) {
  std::string text = "1234XY";
  swap4(text);
  EXPECT_EQ(text, "4321XY");
}

struct ImageCase {
  std::vector<std::uint16_t> words;
  std::string image;
};

void PrintTo(const ImageCase& c, std::ostream* os) {
  *os << c.image;
}

class ImageTest : public testing::TestWithParam<ImageCase> {};

TEST_P(ImageTest, ConcatenatesReversedGroups) {
  MemorySink sink;
  BufferedWriter out(sink);
  ImageWriter writer(out);
  for (const std::uint16_t word : GetParam().words) writer.writeWord(word);
  ASSERT_TRUE(out.close());
  EXPECT_EQ(sink.text(), GetParam().image);
}

INSTANTIATE_TEST_SUITE_P(Words, ImageTest,
                         testing::Values(ImageCase{{}, ""}, ImageCase{{0x0990}, "0990"},
                                         ImageCase{{0x0991}, "1990"}, ImageCase{{0xE000}, "000E"},
                                         ImageCase{{0x6885, 0xE000}, "5886000E"},
                                         ImageCase{{0xA064}, "460A"}, ImageCase{{0x0001}, "1000"},
                                         ImageCase{{0xFFFF}, "FFFF"}, ImageCase{{0x1234}, "4321"}));

TEST(AssembleTextTest, WorkedExampleInTheFullBuild) {
  const Assembly result = assembleText(testing_support::kWorkedExample, Build::full);
  EXPECT_EQ(result.intermediate, testing_support::kWorkedIntermediate);
  EXPECT_EQ(result.image, testing_support::kWorkedImage);
}

TEST(AssembleTextTest, WorkedExampleInTheReducedBuild) {
  // "table:" is a word of its own here, dw and db are labels whose values
  // are carried over and encode as 0.
  const Assembly result = assembleText(testing_support::kWorkedExample, Build::reduced);
  EXPECT_EQ(result.intermediate,
            "addi r1 r0 max \nbeq r1 r0 done \ndec r1 r1 \nj loop \nhlt \n\n5 -1 \n1 2 3 \n");
  EXPECT_EQ(result.image, "A80620485140100A000E000000000000");
}

TEST(AssembleTextTest, NameUsedBeforeItsDefinitionResolves) {
  const Assembly result = assembleText("j end\nadd r1 r2 r3\nend: hlt\n", Build::full);
  EXPECT_EQ(result.image, "200A0990000E");
}

TEST(AssembleTextTest, DoubleDefinitionTakesTheLaterValueEverywhere) {
  const Assembly result = assembleText("x: j x\nx: j x\n", Build::full);
  EXPECT_EQ(result.image, "100A100A");
}

TEST(AssembleTextTest, TextCarriedAfterALabelPassesOnlyWholePrefixes) {
  // "addr1 r2 r3" is a label in front of nothing; behind a label it is
  // carried over and fails the "add " test, while "subr1" passes "sub".
  const Assembly result = assembleText("x: addr1 r2 r3\ny: subr1 r2 r3\n", Build::full);
  EXPECT_EQ(result.intermediate, "addr1 r2 r3 \nsubr1 r2 r3 \n");
  EXPECT_EQ(result.image, "00001990");
}

TEST(AssembleTextTest, MoreThanTwoHundredSymbolsAllResolve) {
  std::string source;
  for (int i = 0; i < 300; ++i) source += "l" + std::to_string(i) + ": hlt\n";
  source += "j l299\nj l250\n";
  const Assembly result = assembleText(source, Build::full);
  ASSERT_EQ(result.image.size(), 302u * 4);
  EXPECT_EQ(result.image.substr(300 * 4), "B21AAF0A");
}

TEST(AssembleTextTest, LongLineIsTwoPieces) {
  // 150 characters and the newline: "j" and a long name, then the rest of
  // the name, which is a label alone on its line.
  const std::string name(148, 'n');
  const Assembly full = assembleText("j " + name + "\n", Build::full);
  EXPECT_EQ(full.intermediate, "j " + name.substr(0, 97) + "\n\n");
  EXPECT_EQ(full.image, "000A");
  const Assembly reduced = assembleText("j " + name + "\n", Build::reduced);
  EXPECT_EQ(reduced.image, "000A00000000");
}

TEST(AssembleTextTest, FullLongInstructionLineGivesAnExtraPieceInPassTwo) {
  // A normalised line of 99 characters and its newline is read back by
  // pass 2 as two pieces: the reduced build makes the second a zero word.
  const std::string line = "j " + std::string(96, 'x') + "\n";
  EXPECT_EQ(assembleText(line, Build::full).image, "000A");
  EXPECT_EQ(assembleText(line, Build::reduced).image, "000A0000");
}

TEST(AssembleTextTest, CarriageReturnsChangeNothing) {
  EXPECT_EQ(assembleText("a: add r1 r2 r3\r\nj a\r\n", Build::full).image,
            assembleText("a: add r1 r2 r3\nj a\n", Build::full).image);
}

}  // namespace
}  // namespace quellmark
