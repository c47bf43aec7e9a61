#include "encoder.h"

#include <algorithm>
#include <iterator>

#include "chars.h"

namespace quellmark {

namespace {

using Test = InstructionForm;

// Run in this order on every line. No two prefixes start alike, so one
// line passes at most one test; "add " keeps "addi" lines out by its blank.
constexpr Test kTests[] = {
    {"add ", "add r%d r%d r%d", Form::registers, 0x0},
    {"sub", "sub r%d r%d r%d", Form::registers, 0x1},
    {"inc", "inc r%d r%d", Form::registers, 0x4},
    {"dec", "dec r%d r%d", Form::registers, 0x5},
    {"sla", "sla r%d r%d r%d", Form::registers, 0x8},
    {"sra", "sra r%d r%d r%d", Form::registers, 0xA},
    {"and", "and r%d r%d r%d", Form::registers, 0x2},
    {"or", "or r%d r%d r%d", Form::registers, 0x3},
    {"comp", "comp r%d r%d", Form::registers, 0x6},
    {"sll", "sll r%d r%d r%d", Form::registers, 0xC},
    {"srl", "srl r%d r%d r%d", Form::registers, 0xD},
    {"push", "push r%d", Form::pushPop, 0xE},
    {"pop", "pop r%d", Form::pushPop, 0xF},
    {"slt", "slt r%d r%d r%d", Form::registers, 0x9},
    {"lw", "lw r%d %s r%d", Form::load},
    {"sw", "sw r%d %s r%d", Form::store},
    {"addi", "addi r%d r%d %s", Form::addImmediate},
    {"beq", "beq r%d r%d %s", Form::branch},
    {"j", "j %s", Form::jump},
    {"hlt", "hlt", Form::halt},
    {"num", "num %d", Form::data, 0, true},
};

// For each first character, the tests whose prefix starts with it, in table
// order; a line can only pass those, so only those are run.
struct Candidates {
  std::array<std::uint8_t, 8> tests{};
  std::uint8_t count = 0;
};

constexpr std::array<Candidates, 256> kByFirstCharacter = [] {
  std::array<Candidates, 256> table{};
  for (std::size_t t = 0; t < std::size(kTests); ++t) {
    Candidates& c = table[static_cast<unsigned char>(kTests[t].prefix[0])];
    c.tests[c.count++] = static_cast<std::uint8_t>(t);
  }
  return table;
}();

}  // namespace

std::span<const InstructionForm> instructionForms() {
  return kTests;
}

namespace {

void skipWhiteSpace(std::string_view line, std::size_t& at) {
  while (at < line.size() && isWhiteSpace(line[at])) ++at;
}

// Shifting the unsigned image of a register number keeps two's-complement
// bits for negative numbers and is defined for any value.
constexpr std::uint32_t bits(std::int32_t value) {
  return static_cast<std::uint32_t>(value);
}

// The value of a text operand: the latest definition of the symbol, else its
// decimal value. For a branch a symbol is a target, and the value is the
// distance from the word after the branch.
std::uint32_t resolve(std::string_view text, const SymbolTable& symbols, bool branch,
                      std::uint32_t wordCounter, EncodeObserver* observer) {
  const std::optional<std::int32_t> symbol = symbols.lookup(text);
  if (observer) observer->resolved(symbol);
  if (symbol) return branch ? bits(*symbol) - wordCounter - 1u : bits(*symbol);
  return bits(decimalValue(text));
}

std::uint32_t encode(const Test& test, const Operands& op, const SymbolTable& symbols,
                     std::uint32_t wordCounter, EncodeObserver* observer) {
  const std::uint32_t a = bits(op.number[0]);
  const std::uint32_t b = bits(op.number[1]);
  const std::uint32_t c = bits(op.number[2]);
  const auto text = [&](bool branch) {
    return resolve(op.text, symbols, branch, wordCounter, observer);
  };
  switch (test.form) {
    case Form::registers:
      return b << 10 | c << 7 | a << 4 | test.function;
    case Form::pushPop:
      return a << 10 | a << 7 | a << 4 | test.function;
    case Form::load:
      return 1u << 13 | c << 10 | a << 7 | (text(false) & 0x7Fu);
    case Form::store:
      return 2u << 13 | c << 10 | a << 7 | (text(false) & 0x7Fu);
    case Form::addImmediate:
      return 3u << 13 | b << 10 | a << 7 | (text(false) & 0x7Fu);
    case Form::branch:
      return 4u << 13 | a << 10 | b << 7 | (text(true) & 0x7Fu);
    case Form::jump:
      return 5u << 13 | (text(false) & 0x1FFFu);
    case Form::halt:
      return 7u << 13;
    case Form::data:
      return a & 0xFFFFu;
  }
  return 0;
}

}  // namespace

Operands scanOperands(std::string_view line, std::string_view pattern, std::size_t matched) {
  Operands operands;
  std::size_t at = matched;
  std::size_t position = 0;
  // Where the token now being read began: after the white space before
  // its first letter ("r" of a register) or its number.
  std::size_t token = at;
  const auto stop = [&] {
    operands.read = static_cast<std::uint32_t>(position);
    operands.end = at;
    return operands;
  };
  for (std::size_t p = matched; p < pattern.size(); ++p) {
    if (pattern[p] == ' ') {
      skipWhiteSpace(line, at);
      token = at;
      continue;
    }
    if (pattern[p] != '%') {
      if (at >= line.size() || line[at] != pattern[p]) return stop();
      ++at;
      continue;
    }
    const char conversion = pattern[++p];
    skipWhiteSpace(line, at);
    // A number straight after a letter of the pattern ("r%d") belongs to the
    // token that letter began.
    if (!(p >= 2 && pattern[p - 2] != ' ')) token = at;
    if (conversion == 'd') {
      if (!readDecimal(line, at, operands.number[position])) return stop();
    } else {
      const std::size_t start = at;
      while (at < line.size() && !isWhiteSpace(line[at])) ++at;
      if (at == start) return stop();
      operands.text = line.substr(start, at - start);
    }
    operands.at[position] = static_cast<std::uint32_t>(token);
    ++position;
  }
  return stop();
}

std::uint16_t encodeLine(std::string_view line, std::uint32_t wordCounter,
                         const SymbolTable& symbols, Build build, EncodeObserver* observer) {
  if (line.empty()) return 0;
  std::uint32_t word = 0;
  const Candidates& candidates = kByFirstCharacter[static_cast<unsigned char>(line[0])];
  for (std::uint8_t c = 0; c < candidates.count; ++c) {
    const Test& test = kTests[candidates.tests[c]];
    if (test.fullBuildOnly && build != Build::full) continue;
    if (line.size() < test.prefix.size() ||
        !sameBytes(line.data(), test.prefix.data(), test.prefix.size())) {
      continue;
    }
    // The prefix test has matched the mnemonic the pattern starts with.
    const std::size_t matched = std::min(test.prefix.size(), test.pattern.find(' '));
    const Operands operands = scanOperands(line, test.pattern, matched);
    if (observer) observer->matched(test, operands);
    word |= encode(test, operands, symbols, wordCounter, observer);
  }
  return static_cast<std::uint16_t>(word & 0xFFFFu);
}

}  // namespace quellmark
