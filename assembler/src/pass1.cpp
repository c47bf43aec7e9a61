#include "pass1.h"

#include <string_view>

#include "normaliser.h"

namespace quellmark {

namespace {

// A token of at most four bytes as one number, so that the mnemonics can be
// told apart by a switch.
constexpr std::uint32_t packed(std::string_view token) {
  std::uint32_t value = 0;
  for (const char c : token) value = value << 8 | static_cast<unsigned char>(c);
  return value;
}

}  // namespace

bool isMnemonic(std::string_view token) {
  if (token.size() > 4) return false;
  switch (packed(token)) {
    case packed("add"):
    case packed("sub"):
    case packed("inc"):
    case packed("dec"):
    case packed("sla"):
    case packed("sra"):
    case packed("and"):
    case packed("or"):
    case packed("comp"):
    case packed("sll"):
    case packed("srl"):
    case packed("push"):
    case packed("pop"):
    case packed("slt"):
    case packed("lw"):
    case packed("sw"):
    case packed("addi"):
    case packed("beq"):
    case packed("j"):
    case packed("hlt"):
      return true;
    default:
      return false;
  }
}

void Pass1::handleLine(std::span<char> piece) {
  const std::string_view line = normalise(piece);  // which ends at a NUL
  TokenSplitter tokens(line);
  const std::string_view first = tokens.first();
  using Kind = Pass1Observer::Kind;
  if (first.empty()) {  // blank or comment only: leaves no trace
    note(Kind::blank, line, first);
    return;
  }

  const bool data = build_ == Build::full;
  if (data && first == "dw") {
    note(Kind::words, line, first);
    expandWords(tokens);
  } else if (data && first == "db") {
    note(Kind::bytes, line, first);
    expandBytes(tokens);
  } else if (first == "define") {
    note(Kind::define, line, first);
    define(tokens);
  } else if (isMnemonic(first)) {
    note(Kind::instruction, line, first);
    out_.write(line);
    out_.put('\n');
    ++counter_;
  } else {
    note(Kind::label, line, first);
    label(first, tokens);
  }
}

void Pass1::writeDataLine(std::string_view number) {
  out_.write("num ");
  out_.write(number);
  out_.put('\n');
  ++counter_;
}

// "dw 5 -1" gives the data lines "num 5" and "num -1", the values copied as
// written; without values it gives one empty line.
void Pass1::expandWords(TokenSplitter& tokens) {
  std::string_view value = tokens.next();
  if (value.empty()) out_.put('\n');
  for (; !value.empty(); value = tokens.next()) writeDataLine(value);
}

// "db 1 2 3" packs two bytes a word, the first one high, and an odd last byte
// fills the high half alone: "num 258", "num 768", then an empty line.
void Pass1::expandBytes(TokenSplitter& tokens) {
  for (std::string_view high = tokens.next(); !high.empty(); high = tokens.next()) {
    const std::string_view low = tokens.next();
    const std::uint32_t word = (static_cast<std::uint32_t>(decimalValue(high)) & 0xFFu) << 8 |
                               (static_cast<std::uint32_t>(decimalValue(low)) & 0xFFu);
    char text[12];
    writeDataLine(decimalText(static_cast<std::int32_t>(word), text));
    if (low.empty()) break;
  }
  out_.put('\n');
}

// "define max 10": a line without a name defines nothing, one without a
// value defines 0.
void Pass1::define(TokenSplitter& tokens) {
  const std::string_view name = tokens.next();
  if (name.empty()) return;
  defineSymbol(name, decimalValue(tokens.next()));
}

// Any other first token is a label for the next word; what follows it is
// carried over, each token followed by one blank. A label alone on its line
// writes an empty line, which is a word only in the reduced build.
void Pass1::label(std::string_view name, TokenSplitter& tokens) {
  defineSymbol(name, static_cast<std::int32_t>(counter_));
  bool any = false;
  for (std::string_view token = tokens.next(); !token.empty(); token = tokens.next()) {
    out_.write(token);
    out_.put(' ');
    any = true;
  }
  out_.put('\n');
  if (any || build_ == Build::reduced) ++counter_;
}

}  // namespace quellmark
