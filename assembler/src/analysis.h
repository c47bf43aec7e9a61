// One analysis of a source held in memory, for the faces that show it while
// it is edited (the language server, the web page): the findings of
// `quellmark check`, the words of `quellmark list`, every name with the
// places it is defined and used, and the tokens of each line by kind. It
// runs the same walk and checker as the command line; places count bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "build.h"

namespace quellmark {

// Bytes of one source line: from `column` on (lines and columns from 1),
// `length` of them; an empty span marks a place between two bytes.
struct Span {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::uint32_t length = 0;

  friend bool operator==(const Span&, const Span&) = default;
};

// The bytes of `at` become `text` (an empty span inserts).
struct Edit {
  Span at;
  std::string text;
  friend bool operator==(const Edit&, const Edit&) = default;
};

// An edit that a finding clearly asks for, with what `check` says of it.
struct Fix {
  std::string note;  // "did you mean 'add'?"
  std::vector<Edit> edits;
  friend bool operator==(const Fix&, const Fix&) = default;
};

// A finding of the check, its place running over the whole token it names.
struct Diagnosis {
  Span at;
  std::string_view name;  // the -W name
  std::string message;
  std::optional<Span> noteAt;  // the place its note speaks of
  std::string note;
  friend bool operator==(const Diagnosis&, const Diagnosis&) = default;
};

// A word a source line makes, with the mnemonic of the instruction that
// made it ("num" for data, empty for a word no instruction made).
struct Word {
  std::uint32_t line = 0;
  std::uint32_t address = 0;
  std::uint16_t word = 0;
  std::string_view mnemonic;  // from the instruction table, never freed
  friend bool operator==(const Word&, const Word&) = default;
};

enum class TokenKind : std::uint8_t { label, mnemonic, directive, reg, number, name, comment };

struct Token {
  Span at;
  TokenKind kind = TokenKind::name;
  friend bool operator==(const Token&, const Token&) = default;
};

// A name as the assembler resolves it.
struct Name {
  std::string name;        // lower case, as the assembler keeps it
  std::int32_t value = 0;  // of its last definition, which wins
  bool label = false;      // its last definition is a label
  friend bool operator==(const Name&, const Name&) = default;
};

// A place where a name is defined, or used by an operand that names it.
struct NamePlace {
  std::uint32_t name = 0;  // its index among the names
  Span at;
  bool definition = false;
  friend bool operator==(const NamePlace&, const NamePlace&) = default;
};

struct Reading;

struct Analysis {
  std::vector<Diagnosis> findings;  // in source order
  std::vector<Word> words;          // in address order
  std::vector<Name> names;          // in the order of first definition
  std::vector<NamePlace> places;    // in source order
  std::vector<Token> tokens;        // in source order

  // What the command line prints of the source, when asked for: `check`
  // for a file of the given name, `list`, `symbols`, and the image that
  // `brennor` or `assembler` writes.
  struct Texts {
    std::string check;
    std::string listing;
    std::string symbols;
    std::string image;
  };
  std::optional<Texts> texts;
  bool inHalves = false;  // it was made in two halves at once
  // The first reading of the text, for the analysis of an edit within one
  // line; none when the text could not be read.
  std::shared_ptr<const Reading> reading;

  // The places of name `name` (an index) that are definitions, or uses.
  [[nodiscard]] std::vector<Span> placesOf(std::uint32_t name, bool definitions) const;
  // The span an editor draws for a place: the place itself when it holds
  // bytes, else (the end of a statement) the last token before it on its
  // line, since editors draw an empty span as they like, some on the next
  // line.
  [[nodiscard]] Span markOf(const Span& at) const;
  // The name at byte `column` (from 1) of `line`, or nothing.
  [[nodiscard]] std::optional<std::uint32_t> nameAt(std::uint32_t line, std::uint64_t column) const;
};

// A source of at least this many bytes is analysed in two halves at once,
// on two threads, with the same result, when the machine has two cores.
inline constexpr std::uint64_t kAnalyseInHalvesFrom = 128 * 1024;

// Analyses `source` as the build reads it, into `analysis`, whose buffers
// are used again; with `file`, also into its texts, the findings named as
// in a file of that name. Tests lower `halvesFrom`.
void analyse(std::string_view source, Build build, Analysis& analysis,
             std::optional<std::string_view> file = std::nullopt,
             std::uint64_t halvesFrom = kAnalyseInHalvesFrom);
Analysis analyse(std::string_view source, Build build);

// Analyses `source` into `analysis`, which is of the text before an edit
// that changed line `line` (from 1) from `before` to `after` and no other
// (each with its line feed, when it has one): with the same result as
// `analyse(source, build, analysis)`. When the edit leaves every other
// line's words and names as they were, only the edited line is walked
// again; else the whole text is analysed.
void reanalyseLine(std::string_view source, Build build, Analysis& analysis, std::uint32_t line,
                   std::string_view before, std::string_view after);

// Whether `text` is a name the assembler reads as one in an operand: no
// mnemonic, directive or register, no number, and nothing that separates.
bool isNameToken(std::string_view text, Build build);

}  // namespace quellmark
