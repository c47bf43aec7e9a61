// What must hold for any source, whatever its bytes: checked by the
// fuzzer on every input and by the tests on every input that ever found a
// fault.
#pragma once

#include <string>
#include <string_view>

#include "assemble.h"
#include "encoder.h"
#include "streams.h"

namespace quellmark {

// The number of words pass 2 makes of an intermediate text: one for every
// piece the reader cuts from it, but for empty lines in the full build.
inline std::size_t wordsOf(std::string_view intermediate, Build build) {
  MemorySource source(intermediate);
  PieceReader reader(source);
  std::size_t words = 0;
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    if (build == Build::reduced || piece[0] != '\n') ++words;
  }
  return words;
}

// The plain way of matching a line: every test of the build tried on the
// line up to its first NUL; the form of the last one that passed, and how
// many did.
struct PlainMatch {
  const InstructionForm* form = nullptr;
  int passed = 0;
};

inline PlainMatch matchPlainly(std::string_view line, Build build) {
  line = line.substr(0, line.find('\0'));
  PlainMatch match;
  for (const InstructionForm& form : instructionForms()) {
    if (form.fullBuildOnly && build != Build::full) continue;
    if (line.starts_with(form.prefix)) {
      match.form = &form;
      ++match.passed;
    }
  }
  return match;
}

// Empty when the reader made for each form reads `line` as the plain
// scanf-like reader of its pattern does, and the line's word is the same
// both ways; else what differs.
inline std::string readerFault(std::string_view line, Build build, const SymbolTable& symbols) {
  const PlainMatch plain = matchPlainly(line, build);
  if (plain.passed > 1) return "a line passed more than one test";
  if (formOf(line, build) != plain.form) return "the form found is not the one whose prefix passed";
  // The word the assembler gets, and the word the encoder gives when
  // someone listens, from the reader that also notes where the operands
  // stand; that reader's operands are held to the plain reader's below.
  struct Silent final : EncodeObserver {
    void matched(const InstructionForm&, const Operands&, std::optional<std::int32_t>) override {}
  } silent;
  if (encodeLine(line, 7, symbols, build) != encodeLine(line, 7, symbols, build, &silent)) {
    return "the word differs when someone listens";
  }
  if (!plain.form) return {};
  const Operands fast = readOperands(*plain.form, line);
  const Operands slow = scanOperands(line.substr(0, line.find('\0')), plain.form->pattern);
  if (fast.number != slow.number || fast.text != slow.text || fast.read != slow.read ||
      fast.at != slow.at || fast.end != slow.end) {
    return "the form's reader read other operands than its pattern";
  }
  return {};
}

// readerFault for every piece of `text` as a pass reads it.
inline std::string readersFault(std::string_view text, Build build, const SymbolTable& symbols) {
  for (std::string_view rest = text; !rest.empty();) {
    const std::string_view piece = rest.substr(0, pieceLength(rest));
    rest.remove_prefix(piece.size());
    if (std::string fault = readerFault(piece, build, symbols); !fault.empty()) {
      return fault + ": " + std::string(piece);
    }
  }
  return {};
}

// Empty when every property holds for `source` in `build`, else what broke.
inline std::string assemblyFault(std::string_view source, Build build) {
  const Assembly first = assembleText(source, build);
  if (first.image.size() % 4 != 0) return "the image is not a whole number of groups";
  for (const char c : first.image) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return "the image holds a character other than 0-9 and A-F";
    }
  }
  if (first.image.size() / 4 != wordsOf(first.intermediate, build)) {
    return "the image has not one group per word of the intermediate text";
  }
  const Assembly second = assembleText(source, build);
  if (second.image != first.image || second.intermediate != first.intermediate) {
    return "the same source gave different results";
  }
  // The source's own lines are read too: they reach the encoder only
  // normalised, but its readers must hold for any bytes.
  SymbolTable symbols;
  symbols.define("x", 300);
  for (const std::string_view text : {std::string_view(first.intermediate), source}) {
    if (std::string fault = readersFault(text, build, symbols); !fault.empty()) return fault;
  }
  return {};
}

}  // namespace quellmark
