// The analysis behind the language server: the same findings and words as
// the command line, names with their places, tokens by kind, and the one
// place where bytes become protocol positions.
#include "analysis.h"
#include "editor_features.h"

#include <gtest/gtest.h>

#include <random>

#include "checker.h"
#include "companion_properties.h"
#include "line_index.h"
#include "listing.h"
#include "chars.h"

namespace quellmark {
namespace {

// The first line of each finding `check` prints: "t.asm:L:C: warning: M [-WN]".
std::vector<std::string> checkedHeads(const std::string& source, Build build) {
  MemorySink sink;
  BufferedWriter out(sink);
  EXPECT_TRUE(checkSource("t.asm", MemoryText(source), build, out));
  EXPECT_TRUE(out.close());
  std::vector<std::string> heads;
  const std::string& text = sink.text();
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    if (line.starts_with("t.asm:") && line.find(": warning: ") != std::string::npos) {
      heads.push_back(line);
    }
    at = end + 1;
  }
  return heads;
}

TEST(Analysis, FindingsAndWordsAreThoseOfTheCommandLine) {
  std::mt19937 random(97531);
  for (int i = 0; i < 300; ++i) {
    std::string source = generatedSource(random);
    for (const Build build : {Build::full, Build::reduced}) {
      const Analysis a = analyse(source, build);
      std::vector<std::string> heads;
      for (const Diagnosis& d : a.findings) {
        heads.push_back("t.asm:" + std::to_string(d.at.line) + ":" + std::to_string(d.at.column) +
                        ": warning: " + d.message + " [-W" + std::string(d.name) + "]");
      }
      ASSERT_EQ(heads, checkedHeads(source, build)) << source;
      std::string groups;
      for (const Word& w : a.words) {
        const std::array<char, 4> group = imageGroup(w.word);
        groups.append(group.data(), group.size());
      }
      ASSERT_EQ(groups, assembleText(source, build).image) << source;
    }
  }
}

TEST(Analysis, TextsAreWhatTheProgramsPrint) {
  std::mt19937 random(1357);
  const auto printed = [](auto write) {
    MemorySink sink;
    BufferedWriter out(sink);
    EXPECT_TRUE(write(out));
    EXPECT_TRUE(out.close());
    return sink.text();
  };
  for (int i = 0; i < 300; ++i) {
    std::string source = generatedSource(random);
    if (i % 10 == 0) source += std::string(300, 'x') + " ; " + std::string(250, '\t') + "j y\n";
    for (const Build build : {Build::full, Build::reduced}) {
      Analysis a;
      analyse(source, build, a, "t.asm");
      ASSERT_TRUE(a.texts);
      const MemoryText text(source);
      ASSERT_EQ(a.texts->check, printed([&](BufferedWriter& out) {
        return checkSource("t.asm", text, build, out).has_value();
      })) << source;
      ASSERT_EQ(a.texts->listing, printed([&](BufferedWriter& out) {
        return writeListing(text, build, out);
      })) << source;
      ASSERT_EQ(a.texts->symbols, printed([&](BufferedWriter& out) {
        return writeSymbolTable(text, build, out);
      })) << source;
      ASSERT_EQ(a.texts->image, assembleText(source, build).image) << source;
    }
  }
}

TEST(Analysis, NamesWithTheirDefinitionsAndUses) {
  const Analysis a = analyse(
      "define max 10\n"
      "loop:  addi r1, r0, max\n"
      "       beq  r1, r0, done ; leave\n"
      "       j    loop\n"
      "done:  hlt\n"
      "loop:  dw max\n",
      Build::full);
  ASSERT_EQ(a.names.size(), 3u);
  const Name& max = a.names[0];
  EXPECT_EQ(max.name, "max");
  EXPECT_EQ(max.value, 10);
  EXPECT_FALSE(max.label);
  EXPECT_EQ(a.placesOf(0, true), (std::vector<Span>{{1, 8, 3}}));
  // A name in data, or behind a word that is no mnemonic, is not looked
  // up, so it is no use.
  EXPECT_EQ(a.placesOf(0, false), (std::vector<Span>{{2, 21, 3}}));
  const Name& loop = a.names[1];
  EXPECT_EQ(loop.value, 4);
  EXPECT_TRUE(loop.label);
  EXPECT_EQ(a.placesOf(1, true), (std::vector<Span>{{2, 1, 4}, {6, 1, 4}}));
  EXPECT_EQ(a.placesOf(1, false), (std::vector<Span>{{4, 13, 4}}));
  EXPECT_EQ(a.placesOf(2, false), (std::vector<Span>{{3, 21, 4}}));
  EXPECT_EQ(a.nameAt(4, 16), 1u);
  EXPECT_EQ(a.nameAt(4, 17), 1u);  // just after it, as a cursor stands
  EXPECT_FALSE(a.nameAt(4, 18));
  EXPECT_FALSE(a.nameAt(4, 1));

  // The redefinition's note points at the first place.
  const auto redefined = std::find_if(a.findings.begin(), a.findings.end(),
                                      [](const Diagnosis& d) { return d.name == "redefined"; });
  ASSERT_NE(redefined, a.findings.end());
  EXPECT_EQ(redefined->at, (Span{6, 1, 4}));
  EXPECT_EQ(redefined->noteAt, (Span{2, 1, 4}));
}

TEST(Analysis, TokensByKindInSourceOrder) {
  const Analysis a = analyse("top: LW r1, 4(R2) ; load\n  dw 5, x\n", Build::full);
  // (Each token stands where its bytes do; see also the property below.)
  const std::vector<Token> expected = {
      {{1, 1, 3}, TokenKind::label},     {{1, 6, 2}, TokenKind::mnemonic},
      {{1, 9, 2}, TokenKind::reg},       {{1, 13, 1}, TokenKind::number},
      {{1, 15, 2}, TokenKind::reg},      {{1, 19, 6}, TokenKind::comment},
      {{2, 3, 2}, TokenKind::directive}, {{2, 6, 1}, TokenKind::number},
      {{2, 9, 1}, TokenKind::name},
  };
  ASSERT_EQ(a.tokens.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(a.tokens[i].at, expected[i].at) << i;
    EXPECT_EQ(a.tokens[i].kind, expected[i].kind) << i;
  }
}

TEST(Analysis, TokensAreTheBytesTheyName) {
  // Each token's span holds the token itself, lower-cased, and the tokens
  // of a line come in order without overlapping.
  std::mt19937 random(8642);
  for (int i = 0; i < 200; ++i) {
    const std::string source = generatedSource(random);
    const LineIndex lines(source, Encoding::utf8);
    const Analysis a = analyse(source, Build::full);
    Span last;
    for (const Token& t : a.tokens) {
      const std::string_view text = lines.sourceLine(t.at.line - 1).substr(t.at.column - 1, t.at.length);
      ASSERT_EQ(text.size(), t.at.length) << source;
      if (t.kind == TokenKind::comment) {
        ASSERT_TRUE(text.starts_with(';')) << source;
      } else {
        for (const char c : text) {
          ASSERT_FALSE(isSeparator(c) || c == ';') << source;
        }
      }
      if (t.at.line == last.line) {
        ASSERT_GE(t.at.column, last.column + last.length) << source;
      }
      last = t.at;
    }
  }
}

TEST(Analysis, FindingsRunToTheEndOfTheirToken) {
  const Analysis a = analyse("  ad r1 r2\nj far\ninc r1\n", Build::full);
  ASSERT_EQ(a.findings.size(), 3u);
  EXPECT_EQ(a.findings[0].at, (Span{1, 3, 2}));  // `ad`
  EXPECT_EQ(a.findings[1].at, (Span{2, 3, 3}));  // `far`
  EXPECT_EQ(a.findings[2].at, (Span{3, 7, 0}));  // a missing operand: the line's end
}

TEST(Analysis, WordsOfALineCutIntoPieces) {
  const std::string line = "hlt" + std::string(96, ' ') + "j 0";
  const Analysis a = analyse(line + "\n", Build::full);
  ASSERT_EQ(a.words.size(), 2u);
  EXPECT_EQ(a.words[1].line, 1u);
  EXPECT_EQ(a.words[1].address, 1u);
  EXPECT_EQ(a.words[1].mnemonic, "j");
}

TEST(Analysis, DescribesEachFormByItsFields) {
  struct Case {
    const char* mnemonic;
    std::uint16_t word;
    std::uint32_t address;
    const char* fields;
  };
  const Case cases[] = {
      {"add", 0x0990, 0, "add, ra r1, rb r2, rc r3"},
      {"inc", 0x0414, 0, "inc, ra r1, rb r1"},
      {"push", 0x077E, 0, "push, ra r7"},
      {"lw", 0x2884, 0, "lw, ra r1, rb r2, offset 4"},
      {"sw", 0x40FF, 0, "sw, ra r1, rb r0, offset -1"},
      {"addi", 0x6085, 0, "addi, ra r1, rb r0, value 5"},
      {"beq", 0x8403, 3, "beq, ra r1, rb r0, offset 3 \u2192 0007"},
      {"beq", 0x847F, 0, "beq, ra r1, rb r0, offset -1 \u2192 0000"},
      {"j", 0xA003, 0, "j, target 0003"},
      {"hlt", 0xE000, 0, "hlt"},
      {"num", 0x1234, 0, "data"},
      {"", 0x0000, 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describeWord(c.mnemonic, c.word, c.address), c.fields) << c.mnemonic;
  }
}

TEST(Analysis, NamesTheAssemblerReadsAsNames) {
  for (const char* good : {"loop", "Loop2", "_x", "a.b", "x-1", "dw"}) {
    EXPECT_TRUE(isNameToken(good, Build::reduced)) << good;
  }
  for (const char* bad : {"", "add", "HLT", "r1", "r-2", "12", "-5", "define", "num", "a b", "a,b",
                          "a(b", "a;b", "a:"}) {
    EXPECT_FALSE(isNameToken(bad, Build::reduced)) << bad;
  }
  EXPECT_FALSE(isNameToken("dw", Build::full));
  EXPECT_FALSE(isNameToken("db", Build::full));
}

TEST(LineIndex, PositionsInBothEncodings) {
  // "é" takes two bytes and one UTF-16 unit; "𝄞" four bytes and two units.
  const std::string text = "a\u00e9b \U0001D11Ec\r\nsecond\nlast";
  const LineIndex utf8(text, Encoding::utf8);
  const LineIndex utf16(text, Encoding::utf16);
  ASSERT_EQ(utf8.lines(), 3u);
  struct Case {
    std::uint64_t byte;  // in line 0
    std::uint32_t unit16;
  };
  // a é b ' ' 𝄞 c
  for (const Case c : {Case{0, 0}, Case{1, 1}, Case{3, 2}, Case{4, 3}, Case{5, 4}, Case{9, 6},
                       Case{10, 7}}) {
    EXPECT_EQ(utf16.positionOf(0, c.byte), (Position{0, c.unit16})) << c.byte;
    EXPECT_EQ(utf16.offsetOf(Position{0, c.unit16}), c.byte) << c.byte;
    EXPECT_EQ(utf8.positionOf(0, c.byte), (Position{0, static_cast<std::uint32_t>(c.byte)}));
    EXPECT_EQ(utf8.offsetOf(Position{0, static_cast<std::uint32_t>(c.byte)}), c.byte);
  }
  // The end of a line stands before its CR LF; past it, or past the last
  // line, positions are clamped.
  EXPECT_EQ(utf16.endOf(0), (Position{0, 7}));
  EXPECT_EQ(utf8.endOf(0), (Position{0, 10}));
  EXPECT_EQ(utf16.offsetOf(Position{1, 99}), text.find("\nlast"));
  EXPECT_EQ(utf16.offsetOf(Position{7, 0}), text.size());
  EXPECT_EQ(utf16.positionOf(2, 99), (Position{2, 4}));
}

TEST(LineIndex, LettersOfEveryLengthAndBytesThatStartNone) {
  struct Case {
    const char* text;
    std::uint64_t byte;  // a place in line 0, both ways
    std::uint32_t unit16;
  };
  // A 3-byte letter is one unit; 0xC0 and 0xC1 start no letter (they
  // would be overlong), so each counts alone, as does a cut sequence.
  for (const Case c : {Case{"a\u20acb", 4, 2}, Case{"a\u20acb", 5, 3}, Case{"\u2192\u6f22x", 6, 2},
                       Case{"\xC0\x80x", 1, 1}, Case{"\xC0\x80x", 2, 2}, Case{"\xC0\x80x", 3, 3},
                       Case{"\xC1\xBFx", 2, 2}, Case{"\xE2\x82x", 2, 2}, Case{"\xff\xe9x", 3, 3},
                       Case{"\xC2\x80x", 2, 1}}) {
    const LineIndex index(c.text, Encoding::utf16);
    EXPECT_EQ(index.positionOf(0, c.byte), (Position{0, c.unit16})) << c.text << " " << c.byte;
    EXPECT_EQ(index.offsetOf(Position{0, c.unit16}), c.byte) << c.text << " " << c.byte;
  }
}

// The places of a text made of letters of each length and of each line
// end, counted the slow way: every boundary between pieces, with its
// protocol position in either encoding and its assembler line and column.
struct Boundary {
  std::size_t offset;
  Position utf8;
  Position utf16;
  std::uint32_t sourceLine;
  std::uint64_t sourceColumn;
};

std::string generatedText(std::mt19937& random, std::size_t pieces, std::vector<Boundary>& places,
                          std::vector<Position>& ends8, std::vector<Position>& ends16) {
  static const char* const kPieces[] = {"a", " ", "\u00e9", "\u20ac", "\u6f22",
                                        "\U0001D11E", "\n", "\r\n", "\r"};
  std::string text;
  Position at8;
  Position at16;
  std::uint32_t sourceLine = 0;
  std::uint64_t sourceColumn = 0;
  places.push_back(Boundary{0, at8, at16, 0, 0});
  for (std::size_t i = 0; i < pieces; ++i) {
    // Line ends are rarer than letters, and a few lines are long.
    std::size_t k = random() % 40 == 0 ? 6 + random() % 3 : random() % 6;
    if (k == 6 && text.ends_with('\r')) k = 7;  // a CR and a line feed would be one line end
    const std::string_view piece = kPieces[k];
    text += piece;
    if (k >= 6) {
      ends8.push_back(at8);
      ends16.push_back(at16);
      at8 = Position{at8.line + 1, 0};
      at16 = Position{at16.line + 1, 0};
      if (piece.ends_with('\n')) {
        ++sourceLine;
        sourceColumn = 0;
      } else {
        ++sourceColumn;  // a lone CR stays in the assembler's line
      }
    } else {
      at8.character += static_cast<std::uint32_t>(piece.size());
      at16.character += piece.size() == 4 ? 2 : 1;
      sourceColumn += piece.size();
    }
    places.push_back(Boundary{text.size(), at8, at16, sourceLine, sourceColumn});
  }
  ends8.push_back(at8);
  ends16.push_back(at16);
  return text;
}

TEST(LineIndex, EveryPlaceOfGeneratedTextsBothWays) {
  std::mt19937 random(2468);
  for (int round = 0; round < 60; ++round) {
    std::vector<Boundary> places;
    std::vector<Position> ends8;
    std::vector<Position> ends16;
    // Some texts hold lines long enough to be marked.
    const std::size_t pieces = round % 3 == 0 ? 6000 : 200;
    const std::string text = generatedText(random, pieces, places, ends8, ends16);
    const LineIndex utf8(text, Encoding::utf8);
    const LineIndex utf16(text, Encoding::utf16);
    ASSERT_EQ(utf8.lines(), ends8.size());
    // In the order of the text, backwards, and at random.
    std::vector<std::size_t> order(places.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (round % 3 == 1) std::reverse(order.begin(), order.end());
    if (round % 3 == 2) std::shuffle(order.begin(), order.end(), random);
    for (const std::size_t i : order) {
      const Boundary& b = places[i];
      // A boundary just behind a CR of a CR LF stands inside a line end.
      const bool insideLineEnd = b.offset > 0 && text[b.offset - 1] == '\r' && b.offset < text.size() &&
                                 text[b.offset] == '\n';
      if (insideLineEnd) continue;
      ASSERT_EQ(utf8.positionAt(b.offset), b.utf8) << b.offset;
      ASSERT_EQ(utf16.positionAt(b.offset), b.utf16) << b.offset;
      ASSERT_EQ(utf8.offsetOf(b.utf8), b.offset);
      ASSERT_EQ(utf16.offsetOf(b.utf16), b.offset);
      ASSERT_EQ(utf16.sourcePlace(b.offset), std::make_pair(b.sourceLine, b.sourceColumn));
      ASSERT_EQ(utf16.sourceOffset(b.sourceLine, b.sourceColumn), b.offset);
      // A range from here to a later boundary ends where that one stands.
      const Boundary& later = places[std::min(places.size() - 1, i + 1 + random() % 4)];
      if (later.sourceLine == b.sourceLine) {
        const std::uint64_t length = later.sourceColumn - b.sourceColumn;
        ASSERT_EQ(utf16.rangeOf(b.sourceLine, b.sourceColumn, length),
                  std::make_pair(b.utf16, utf16.positionAt(later.offset)));
        ASSERT_EQ(utf8.rangeOf(b.sourceLine, b.sourceColumn, length),
                  std::make_pair(b.utf8, utf8.positionAt(later.offset)));
      }
    }
    // Past the end of each line's content is that end, before its line end.
    for (std::uint32_t line = 0; line < ends16.size(); ++line) {
      ASSERT_EQ(utf16.positionAt(utf16.offsetOf(Position{line, ends16[line].character + 5})),
                ends16[line]);
      ASSERT_EQ(utf8.positionAt(utf8.offsetOf(Position{line, ends8[line].character + 5})), ends8[line]);
    }
  }
}

TEST(LineIndex, EditsPastTheEndOfALineLandBeforeItsLineEnd) {
  for (const Encoding encoding : {Encoding::utf8, Encoding::utf16}) {
    std::string text = "  j lop\r\n  hlt\r  add\n";
    applyEdit(text, LineIndex(text, encoding), Position{0, 40}, Position{0, 40}, "x");
    EXPECT_EQ(text, "  j lopx\r\n  hlt\r  add\n");
    applyEdit(text, LineIndex(text, encoding), Position{1, 9}, Position{1, 9}, "y");
    EXPECT_EQ(text, "  j lopx\r\n  hlty\r  add\n");
    applyEdit(text, LineIndex(text, encoding), Position{2, 0}, Position{3, 0}, "");
    EXPECT_EQ(text, "  j lopx\r\n  hlty\r");
  }
}

}  // namespace
}  // namespace quellmark
