// Pass 2's encoding of one intermediate line into a 16-bit word.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "build.h"
#include "symbol_table.h"

namespace quellmark {

// The kinds of word the instruction forms build.
enum class Form { registers, pushPop, load, store, addImmediate, branch, jump, halt, data };

// How many operands a scanf-style pattern reads, and which of them is its
// text operand ("%s"), or -1.
constexpr std::size_t countOperands(std::string_view pattern) {
  std::size_t count = 0;
  for (const char c : pattern) count += c == '%';
  return count;
}

constexpr int textOperandOf(std::string_view pattern) {
  int seen = 0;
  for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (pattern[i + 1] == 's') return seen;
    ++seen;
  }
  return -1;
}

// One prefix test of pass 2: a line that begins with `prefix` (compared for
// exactly its own length) is read with `pattern` and encoded as `form`.
struct InstructionForm {
  std::string_view prefix;
  std::string_view pattern;
  Form form;
  std::uint32_t function = 0;  // function code of the register forms
  bool fullBuildOnly = false;
  // Worked out from the pattern when the table is made.
  std::uint8_t operands = static_cast<std::uint8_t>(countOperands(pattern));
  std::int8_t textOperand = static_cast<std::int8_t>(textOperandOf(pattern));

  // The mnemonic: the pattern up to its first blank.
  [[nodiscard]] constexpr std::string_view mnemonic() const {
    return pattern.substr(0, pattern.find(' '));
  }
  // How many operands the pattern reads.
  [[nodiscard]] constexpr std::size_t operandCount() const { return operands; }
  // Whether operand `position` is the text operand ("%s" in the pattern).
  [[nodiscard]] constexpr bool readsText(std::size_t position) const {
    return textOperand >= 0 && position == static_cast<std::size_t>(textOperand);
  }
};

// The prefix tests of pass 2, run in this order on every line: the one
// description of the instruction set, from which the encoder's readers and
// pass 1's list of mnemonics are made. No two prefixes start alike, so one
// line passes at most one test; "add " keeps "addi" lines out by its blank.
inline constexpr InstructionForm kInstructionForms[] = {
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

// The low 7 bits of a word (the offset or value of the load, store, add
// immediate and branch forms) as the signed number they stand for.
constexpr int signed7(std::uint16_t word) {
  const int field = word & 0x7F;
  return field >= 64 ? field - 128 : field;
}

// The same table as a span.
std::span<const InstructionForm> instructionForms();

// The operands that a pattern read from a line, by position. An operand the
// line did not supply reads as 0, a text operand as the empty text.
struct Operands {
  std::array<std::int32_t, 3> number{};
  std::string_view text;
  std::uint32_t read = 0;           // how many operands the pattern got to read
  std::array<std::uint32_t, 3> at{};  // where each read operand's token begins
  std::size_t end = 0;              // where reading stopped
};

// Reads `line` the way a scanf-style `pattern` matches it: the letters of
// the pattern must stand literally, a blank matches any run of white space
// (also none), "%d" skips white space and reads an optional sign and decimal
// digits (keeping the low 32 bits), "%s" skips white space and reads a run
// of other characters, NUL excepted. Reading stops at the first mismatch,
// so never past a NUL; every operand, "%s" included, takes the next
// position. The first `matched` characters of `line` are known to equal
// those of `pattern` and are not compared.
Operands scanOperands(std::string_view line, std::string_view pattern, std::size_t matched = 0);

// The form whose test `line` passes in `build`, or nullptr when it passes
// none; a line passes at most one.
const InstructionForm* formOf(std::string_view line, Build build);

// The operands that the reader made for `form` reads from a line that
// passes its test: what scanOperands reads with the form's pattern, where
// they stand included. Reading stops at a NUL.
Operands readOperands(const InstructionForm& form, std::string_view line);

// Hears which forms a line passed and what their patterns read, for a
// program that explains the assembler; the assembler programs have none.
class EncodeObserver {
 public:
  virtual ~EncodeObserver() = default;
  // The line passed the test of `form`, whose pattern read `operands`.
  // `symbol` is the value of the symbol its text operand names, or nothing
  // when the text is no symbol (and reads as a number) or was not looked up.
  virtual void matched(const InstructionForm& form, const Operands& operands,
                       std::optional<std::int32_t> symbol) = 0;
};

// The word of one intermediate line (its newline may be there or not):
// the word of the one prefix test of the build that it passes, or 0 when it
// passes none. `wordCounter` is the address of the word, which a branch to
// a symbol needs. Bytes after a NUL are not part of the line.
std::uint16_t encodeLine(std::string_view line, std::uint32_t wordCounter,
                         const SymbolTable& symbols, Build build,
                         EncodeObserver* observer = nullptr);

}  // namespace quellmark
