#include "streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"

namespace quellmark {
namespace {

using testing_support::ChunkedSource;

std::vector<std::string> piecesOf(ByteSource& source, bool* failed = nullptr) {
  PieceReader reader(source);
  std::vector<std::string> pieces;
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    pieces.emplace_back(piece.data(), piece.size());
  }
  if (failed) *failed = reader.failed();
  return pieces;
}

TEST(PieceReaderTest, CutsAtNewlinesAndAfterNinetyNineCharacters) {
  const std::string longLine(150, 'x');
  for (const std::size_t chunk : {1u, 7u, 100u, 70000u}) {
    SCOPED_TRACE(chunk);
    ChunkedSource source("a\n\n" + longLine + "\nlast", chunk);
    EXPECT_EQ(piecesOf(source), (std::vector<std::string>{"a\n", "\n", longLine.substr(0, 99),
                                                          longLine.substr(99) + "\n", "last"}));
  }
}

TEST(PieceReaderTest, NinetyEightCharactersAndNewlineAreOnePiece) {
  const std::string line(98, 'y');
  const std::string text = line + "\n" + line + "z\n";
  MemorySource source(text);
  EXPECT_EQ(piecesOf(source), (std::vector<std::string>{line + "\n", line + "z", "\n"}));
}

TEST(PieceReaderTest, ManyPiecesAcrossBufferRefills) {
  std::string text;
  for (int i = 0; i < 50000; ++i) text += std::to_string(i) + "\n";
  ChunkedSource source(text, 5000);
  const std::vector<std::string> pieces = piecesOf(source);
  ASSERT_EQ(pieces.size(), 50000u);
  EXPECT_EQ(pieces[49999], "49999\n");
}

TEST(PieceReaderTest, ReportsReadErrorButNotTheEnd) {
  bool failed = true;
  MemorySource clean("x\n");
  (void)piecesOf(clean, &failed);
  EXPECT_FALSE(failed);
  ChunkedSource broken("x\n", 10, true);
  (void)piecesOf(broken, &failed);
  EXPECT_TRUE(failed);
}

TEST(PieceReaderTest, EmptyStreamHasNoPiece) {
  MemorySource source("");
  EXPECT_TRUE(piecesOf(source).empty());
}

class RefusingSink final : public ByteSink {
 public:
  bool write(std::string_view) override { return false; }
  bool close() override { return true; }
};

TEST(BufferedWriterTest, PassesLargeAndSmallWritesInOrder) {
  MemorySink sink;
  BufferedWriter out(sink);
  const std::string big(200000, 'b');
  out.write("a");
  out.write(big);
  out.put('c');
  ASSERT_TRUE(out.close());
  EXPECT_EQ(sink.text(), "a" + big + "c");
}

TEST(MemorySinkTest, TakeHandsOverAndStartsAfresh) {
  MemorySink sink;
  ASSERT_TRUE(sink.write("ab"));
  EXPECT_EQ(sink.take(), "ab");
  EXPECT_EQ(sink.text(), "");
  ASSERT_TRUE(sink.write("c"));
  EXPECT_EQ(sink.text(), "c");
}

TEST(SeekableTest, ReadsFromAnyByteAndBetweenTwo) {
  const MemoryText source("hlt\nj 5\n");
  EXPECT_EQ(source.size(), 8u);
  char text[16];
  ASSERT_EQ(source.readAt(4, text), 4);
  EXPECT_EQ(std::string_view(text, 4), "j 5\n");
  EXPECT_EQ(source.readAt(8, text), 0);  // at and past the end: nothing
  EXPECT_EQ(source.readAt(20, text), 0);

  SeekableReader half(source, 2, 6);
  std::string read;
  for (std::ptrdiff_t n = 0; (n = half.read(std::span(text, 3))) > 0;) read.append(text, n);
  EXPECT_EQ(read, "t\nj ");
}

TEST(BufferedWriterTest, CloseReportsAFailedWrite) {
  RefusingSink sink;
  BufferedWriter out(sink);
  out.write("lost");
  EXPECT_FALSE(out.close());
}

TEST(PieceLength, ThroughTheNewlineOrNinetyNineCharacters) {
  const std::string longLine(150, 'x');
  const struct {
    std::string rest;
    std::size_t length;
  } kCases[] = {
      {"hlt\nj 5\n", 4},
      {"\n", 1},
      {"hlt", 3},
      {longLine + "\n", 99},
      {std::string(98, 'x') + "\n", 99},
      {std::string(99, 'x') + "\n", 99},
  };
  for (const auto& c : kCases) EXPECT_EQ(pieceLength(c.rest), c.length) << c.rest.size();
}

}  // namespace
}  // namespace quellmark
