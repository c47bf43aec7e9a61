// The listing, the symbol table and the disassembler of the companion.
#include <gtest/gtest.h>

#include <random>

#include "checker.h"
#include "companion_properties.h"
#include "kept_inputs.h"
#include "worked_example.h"

namespace quellmark {
namespace {

std::string listing(const std::string& source, Build build = Build::full) {
  MemorySink sink;
  BufferedWriter out(sink);
  EXPECT_TRUE(writeListing(MemoryText(source), build, out));
  EXPECT_TRUE(out.close());
  return sink.text();
}

TEST(Listing, WorkedExample) {
  EXPECT_EQ(listing(testing_support::kWorkedExample),
            "                    1  ; demo\n"
            "                    2  define MAX 10\n"
            "0000 608A A806      3  start:  ADDI r1, r0, MAX\n"
            "0001 8402 2048      4  loop: beq r1 r0 done\n"
            "0002 0415 5140      5        dec r1, r1\n"
            "0003 A001 100A      6        j loop\n"
            "0004 E000 000E      7  done: hlt\n"
            "                    8  table:\n"
            "0005 0005 5000      9        dw 5 -1\n"
            "0006 FFFF FFFF      9\n"
            "0007 0102 2010     10        db 1 2 3\n"
            "0008 0300 0030     10\n"
            "\n"
            "max 10 0x000A 2\n"
            "start 0 0x0000 3\n"
            "loop 1 0x0001 4\n"
            "done 4 0x0004 7\n"
            "table 5 0x0005 8\n");
}

TEST(Listing, ReducedBuildAndLongLines) {
  // A lone label is a word there; a line of 150 bytes is read as two.
  const std::string longLine = "hlt" + std::string(96, ' ') + "j top" + std::string(45, ' ');
  EXPECT_EQ(listing("top:\n" + longLine + "\n", Build::reduced),
            "0000 0000 0000      1  top:\n"
            "0001 E000 000E      2  " + longLine + "\n"
            "0002 A000 000A      2\n"
            "\n"
            "top 0 0x0000 1\n");
}

TEST(Symbols, LastDefinitionWinsInTheOrderOfTheFirst) {
  const std::string source = "b: hlt\ndefine a -1\ndefine b 70000\nc:\n";
  const MemoryText open(source);
  Walk walk(Build::full);
  ASSERT_TRUE(walk.collect(open));
  std::string out;
  appendSymbols(walk, out);
  EXPECT_EQ(out, "b 70000 0x1170 3\na -1 0xFFFF 2\nc 1 0x0001 4\n");
}

TEST(Listing, AddressesPastFourDigitsGrow) {
  EXPECT_EQ(wordColumns(0x12345, 0xE000), "12345 E000 000E");
  EXPECT_EQ(wordColumns(0, 0x1234), "0000 1234 4321");
}

// Expects `fault` to find nothing in any kept fuzz input as a source, in
// both builds; the number of inputs.
int holdsForKeptInputs(std::string (*fault)(const std::string&, Build)) {
  int inputs = 0;
  for (const char* target : {"assembler", "companion", "layout"}) {
    inputs +=
        forEachKeptInput(FUZZ_DIR, target, [fault](const auto& path, const std::string& bytes) {
          for (const Build build : {Build::full, Build::reduced}) {
            EXPECT_EQ(fault(bytes, build), "") << path;
          }
        });
  }
  return inputs;
}

TEST(Listing, WordsAreTheImageWordsForGeneratedSources) {
  std::mt19937 random(12345);
  for (int i = 0; i < 400; ++i) {
    const std::string source = generatedSource(random);
    for (const Build build : {Build::full, Build::reduced}) {
      ASSERT_EQ(listingFault(source, build), "") << source;
    }
  }
}

TEST(Walk, HalvesReadAtOnceFindWhatTheWholeFinds) {
  std::mt19937 random(2468);
  int split = 0;
  for (int i = 0; i < 400; ++i) {
    const std::string source = generatedSource(random);
    for (const Build build : {Build::full, Build::reduced}) {
      ASSERT_EQ(splitFault(source, build), "") << source;
    }
    const MemoryText open(source);
    Walk walk(Build::full);
    walk.splitSourcesFrom(0);
    ASSERT_TRUE(walk.collect(open));
    split += walk.readInHalves();
  }
  // Most sources have a line feed after their middle.
  EXPECT_GT(split, 300);
  EXPECT_GT(holdsForKeptInputs([](const std::string& source, Build build) {
              return splitFault(source, build) + splitFault(source, build, true);
            }),
            0);
}

// The fuzzers' kept inputs hold NULs, long lines, cut letters and every
// kind of finding: the layout and the fixes keep their promises there too.
TEST(Companion, LayoutAndFixesHoldForKeptInputs) {
  EXPECT_GT(holdsForKeptInputs([](const std::string& source, Build build) {
              return formatFault(source, build) + fixFault(source, build, 8);
            }),
            0);
}

TEST(Analysis, HalvesAtOnceGiveWhatTheWholeGives) {
  std::mt19937 random(8642);
  int inHalves = 0;
  for (int i = 0; i < 300; ++i) {
    std::string source = generatedSource(random);
    // Names of their own in every other source, so that both halves are
    // walked at once, and not whole as for a name defined in both.
    if (i % 2 == 0) {
      for (std::size_t at = 0; (at = source.find("start", at)) != std::string::npos; at += 5) {
        source.replace(at, 5, "s" + std::to_string(at % 1000).substr(0, 4));
      }
    }
    for (const Build build : {Build::full, Build::reduced}) {
      bool halves = false;
      ASSERT_EQ(analysisHalvesFault(source, build, &halves), "") << source;
      inHalves += halves;
    }
  }
  EXPECT_GT(inHalves, 150);
  EXPECT_GT(holdsForKeptInputs([](const std::string& source, Build build) {
              return analysisHalvesFault(source, build);
            }),
            0);
}

TEST(Analysis, HalvesThatCannotBeWalkedAtOnce) {
  // A name defined in both halves: its second definition is reported with
  // the place of the first, so the walk stays whole.
  const std::string both = "a: hlt\nhlt\nhlt\nhlt\na: hlt\nhlt\n";
  // An intermediate line past what pass 2 reads at once makes it words that
  // pass 1 did not count: the second half is walked again from its true
  // address, where a branch back to `b` is encoded.
  // (In the reduced build; the full build makes no word of the empty last
  // piece.)
  const std::string longer = "j " + std::string(97, 'a') + "\nb: hlt\n" + std::string(60, ';') +
                             "\nbeq r1 r1 b\nj b\n";
  for (const Build build : {Build::full, Build::reduced}) {
    bool halves = true;
    EXPECT_EQ(analysisHalvesFault(both, build, &halves), "");
    EXPECT_FALSE(halves);
    EXPECT_EQ(analysisHalvesFault(longer, build, &halves), "");
    EXPECT_TRUE(halves);
  }
}

TEST(Walk, HalvesMoveLabelsAndLinesAndKeepTheLastDefinition) {
  // The second half starts at "b:", the line after the middle byte.
  const std::string source =
      "a: dw 1 2 3\n"
      "define k 7\n"
      "a: hlt\n"
      "b: hlt\n"
      "k: hlt\n"
      "define a 9\n";
  for (const std::uint64_t from : {UINT64_MAX, std::uint64_t{0}}) {
    const MemoryText open(source);
    Walk walk(Build::full);
    walk.splitSourcesFrom(from);
    ASSERT_TRUE(walk.collect(open));
    EXPECT_EQ(walk.readInHalves(), from == 0);
    std::string out;
    appendSymbols(walk, out);
    EXPECT_EQ(out, "a 9 0x0009 6\nk 3 0x0003 5\nb 2 0x0002 4\n") << from;
  }
}

// A text whose reads fail from a byte on.
class FailingFrom final : public SeekableSource {
 public:
  FailingFrom(std::string_view text, std::uint64_t from) : text_(text), from_(from) {}
  std::uint64_t size() const override { return text_.size(); }
  std::ptrdiff_t readAt(std::uint64_t offset, std::span<char> into) const override {
    if (offset >= from_) return -1;
    return MemoryText(text_.substr(0, from_)).readAt(offset, into);
  }

 private:
  std::string_view text_;
  std::uint64_t from_;
};

TEST(Walk, AFailingSecondHalfFailsTheReading) {
  // The second half starts at "d:", byte 21, the first line after the middle.
  const std::string source = "a: hlt\nb: hlt\nc: hlt\nd: hlt\n";
  Walk walk(Build::full);
  walk.splitSourcesFrom(0);
  EXPECT_FALSE(walk.collect(FailingFrom(source, 21)));
  EXPECT_TRUE(walk.readInHalves());
}

TEST(Walk, AReadErrorFailsEitherReading) {
  const std::string source = "a: hlt\n" + std::string(300, 'x') + "\nb: hlt\n";
  for (const std::uint64_t from : {std::uint64_t{3}, std::uint64_t{200}, source.size() - 2}) {
    MemorySink sink;
    BufferedWriter out(sink);
    Walk walk(Build::full);
    walk.splitSourcesFrom(UINT64_MAX);
    EXPECT_FALSE(walk.collect(FailingFrom(source, from))) << from;
    EXPECT_FALSE(writeListing(FailingFrom(source, from), Build::full, out)) << from;
    EXPECT_FALSE(checkSource("t.asm", FailingFrom(source, from), Build::full, out)) << from;
  }
}

TEST(Walk, NoHalvesWithoutALineFeedPastTheMiddle) {
  for (const std::string source : {"hlt\nj 500", "x", "", "hlt\n"}) {
    const MemoryText open(source);
    Walk walk(Build::full);
    walk.splitSourcesFrom(0);
    ASSERT_TRUE(walk.collect(open)) << source;
    EXPECT_FALSE(walk.readInHalves()) << source;
  }
}

TEST(Listing, WordsAreTheImageWordsForKeptInputs) {
  EXPECT_GT(holdsForKeptInputs(listingFault), 0);
  for (const Build build : {Build::full, Build::reduced}) {
    EXPECT_EQ(listingFault(testing_support::kWorkedExample, build), "");
  }
}

TEST(Disassembler, KeptInputsAsImagesRoundTrip) {
  const int inputs =
      forEachKeptInput(FUZZ_DIR, "companion", [](const auto& path, const std::string& bytes) {
        std::vector<std::uint16_t> words;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
          words.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                                     static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        EXPECT_EQ(disassemblyFault(words), "") << path;
      });
  EXPECT_GT(inputs, 0);
}

TEST(Disassembler, EveryWordAssemblesBackToItself) {
  for (std::uint32_t w = 0; w <= 0xFFFF; ++w) {
    const std::string text = disassembleWord(static_cast<std::uint16_t>(w));
    ASSERT_EQ(assembleText(text + "\n", Build::full).image,
              imageOf({static_cast<std::uint16_t>(w)}))
        << text;
  }
}

TEST(Disassembler, ReadableTexts) {
  const struct {
    std::uint16_t word;
    const char* text;
  } kCases[] = {
      {0x6085, "addi r1, r0, 5"}, {0x2884, "lw r1, 4(r2)"},  {0x518A, "sw r3, 10(r4)"},
      {0x8402, "beq r1, r0, 2"},  {0x857F, "beq r1, r2, -1"}, {0xA010, "j 16"},
      {0xE000, "hlt"},            {0x0990, "add r1, r2, r3"}, {0x0814, "inc r1, r2"},
      {0x1856, "comp r5, r6"},    {0x0DBE, "push r3"},        {0x1FFF, "pop r7"},
      {0xC000, "dw 49152"},       {0x0007, "dw 7"},           {0x000B, "dw 11"},
      {0x0894, "dw 2196"},        {0x0DAE, "dw 3502"},        {0xE001, "dw 57345"},
  };
  for (const auto& c : kCases) EXPECT_EQ(disassembleWord(c.word), c.text) << std::hex << c.word;
}

TEST(Disassembler, RowsCarryAddressAndWord) {
  EXPECT_EQ(disassemble({0x6085, 0xE000}),
            "addi r1, r0, 5       ; 0000 6085\n"
            "hlt                  ; 0001 E000\n");
}

TEST(Disassembler, RandomImagesRoundTrip) {
  std::mt19937 random(99);
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint16_t> words(random() % 50);
    for (std::uint16_t& w : words) w = static_cast<std::uint16_t>(random());
    ASSERT_EQ(disassemblyFault(words), "");
  }
}

TEST(ImageReader, AcceptsCaseAndOneLineEnd) {
  for (const char* text : {"5806000e", "5806000E\n", "5806000E\r\n"}) {
    const ImageWords image = readImage(text);
    EXPECT_EQ(image.badPosition, 0u) << text;
    EXPECT_EQ(image.words, (std::vector<std::uint16_t>{0x6085, 0xE000})) << text;
  }
  EXPECT_TRUE(readImage("").words.empty());
}

TEST(ImageReader, NamesTheFirstBadPosition) {
  const struct {
    const char* text;
    std::size_t position;
    const char* problem;
  } kCases[] = {
      {"580630160816G", 13, "'G' is not a hexadecimal digit"},
      {"5806 000E", 5, "' ' is not a hexadecimal digit"},
      {"5806\n\n", 5, "byte 0x0A is not a hexadecimal digit"},
      {"5806000E\r", 9, "byte 0x0D is not a hexadecimal digit"},
      {"5806000", 5, "the last group has 3 of its 4 digits"},
      {"5806000\n", 5, "the last group has 3 of its 4 digits"},
  };
  for (const auto& c : kCases) {
    const ImageWords image = readImage(c.text);
    EXPECT_EQ(image.badPosition, c.position) << c.text;
    EXPECT_EQ(image.problem, c.problem) << c.text;
  }
}

}  // namespace
}  // namespace quellmark
