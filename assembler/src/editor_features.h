// What an editor shows of an analysis, as plain values in the assembler's
// places (lines and columns from 1, counting bytes): hover texts,
// completions, the places of a name, rename edits, the outline and the
// labels beside each line. The language server and the web page turn them
// into what they send; nothing here knows of either.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "build.h"
#include "encoder.h"

namespace quellmark {

// A name at a place, and the span where it stands there.
struct NameAt {
  std::uint32_t name = 0;  // its index among the names
  Span at;
};
std::optional<NameAt> nameAt(const Analysis& analysis, std::uint32_t line, std::uint64_t column);

// What hovering at a place shows: a name's value and where it is defined,
// else the words its line makes, each with its fields; nothing when there is
// neither. Names stand in backticks in markdown, bare in plain text.
std::optional<std::string> hoverText(const Analysis& analysis, std::uint32_t line,
                                     std::uint64_t column, bool markdown);

enum class CompletionKind { mnemonic, directive, reg, label, constant };

struct Completion {
  std::string label;
  CompletionKind kind = CompletionKind::mnemonic;
  std::string detail;
};
// What may be typed after `before`, the part of a line before the place:
// a mnemonic or directive where a statement begins, a register or a name
// where its instruction reads one, nothing in a comment or a directive.
std::vector<Completion> completionsAfter(const Analysis& analysis, Build build,
                                         std::string_view before);

// The definitions of name `name`: the one whose value is used first (the
// last), then the earlier ones.
std::vector<Span> definitionsOf(const Analysis& analysis, std::uint32_t name);
// Its uses, after its definitions when `withDefinitions`.
std::vector<Span> referencesOf(const Analysis& analysis, std::uint32_t name, bool withDefinitions);

struct Highlight {
  Span at;
  bool definition = false;  // written there, else read
};
// Every place of the name: its definitions, then its uses.
std::vector<Highlight> highlightsOf(const Analysis& analysis, std::uint32_t name);

// Why `newName` may not replace a name, or nothing when it may: it must be
// a name the assembler reads as one.
std::optional<std::string> renameRefusal(std::string_view newName, Build build);
// The places a rename rewrites: every definition, then every use.
std::vector<Span> renamePlaces(const Analysis& analysis, std::uint32_t name);

// A name where it is defined last, which gives its value.
struct OutlineEntry {
  std::uint32_t name = 0;
  Span at;
};
std::vector<OutlineEntry> outline(const Analysis& analysis);

// The words of a line as the listing shows them ("0004: 6085  0005: E000").
struct LineLabel {
  std::uint32_t line = 0;
  std::string label;
};
std::vector<LineLabel> lineLabels(const Analysis& analysis);

// The operands of the instruction being typed, for help as one types:
// `label` as "beq ra, rb, label", the place of each operand in it (bytes
// from 0, end excluded) with what it takes, and the one being typed.
struct OperandHelp {
  std::uint32_t from = 0;
  std::uint32_t to = 0;
  std::string about;  // "offset −64..63 from the next word"
};
struct SignatureHelp {
  std::string label;
  std::vector<OperandHelp> operands;
  std::uint32_t active = 0;
};
// The help after `before`, the part of a line before the place; nothing
// outside an instruction's operands.
std::optional<SignatureHelp> signatureAfter(Build build, std::string_view before);

// The operands of a form as a user writes them ("lw ra, offset(rb)").
std::string operandsOf(const InstructionForm& form);

// The fields of `word` read as the instruction `mnemonic` at `address`
// makes them ("add, ra r1, rb r2, rc r3"); "data" for a word of a data
// line and an empty text for one no instruction made.
std::string describeWord(std::string_view mnemonic, std::uint16_t word, std::uint32_t address);

}  // namespace quellmark
