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

// How a field of a word is read back and described.
enum class FieldKind : std::uint8_t {
  reg,       // a register number: shifted in whole, so that a number past 7
             // reaches into the fields above, as the assembler does
  number,    // a text operand's value, or a data word, cut to its bits
  relative,  // a branch's offset from the word after it, cut to its bits
  address,   // a jump's target, cut to its bits
};

// One field of an instruction word: `width` bits from bit `shift`, filled
// by operand `operand` of the form's pattern.
struct OperandField {
  std::string_view name;  // "ra", "rb", "rc", "offset", "value", "target"
  std::uint8_t operand = 0;
  std::uint8_t shift = 0;
  std::uint8_t width = 0;
  FieldKind kind = FieldKind::reg;
  bool isSigned = false;  // read back as a two's-complement number
};

// The word of a form: its top three bits, then its fields, in the order
// they are described (a push's one register fills three fields).
struct FormLayout {
  std::uint32_t opcode = 0;
  std::array<OperandField, 3> fields{};
  std::uint8_t count = 0;
};

// The one description of where each form puts its operands, which the
// encoder, the disassembler, the checker and the descriptions of a word
// read.
constexpr FormLayout layoutOf(Form form) {
  constexpr auto reg = [](std::string_view name, std::uint8_t operand, std::uint8_t shift) {
    return OperandField{name, operand, shift, 3, FieldKind::reg, false};
  };
  switch (form) {
    case Form::registers:
      return {0, {reg("ra", 0, 4), reg("rb", 1, 10), reg("rc", 2, 7)}, 3};
    case Form::pushPop:
      return {0, {reg("ra", 0, 4), reg("ra", 0, 7), reg("ra", 0, 10)}, 3};
    case Form::load:
    case Form::store:
      return {form == Form::load ? 1u : 2u,
              {reg("ra", 0, 7), reg("rb", 2, 10), {"offset", 1, 0, 7, FieldKind::number, true}},
              3};
    case Form::addImmediate:
      return {3, {reg("ra", 0, 7), reg("rb", 1, 10), {"value", 2, 0, 7, FieldKind::number, true}},
              3};
    case Form::branch:
      return {4,
              {reg("ra", 0, 10), reg("rb", 1, 7), {"offset", 2, 0, 7, FieldKind::relative, true}},
              3};
    case Form::jump:
      return {5, {OperandField{"target", 0, 0, 13, FieldKind::address, false}}, 1};
    case Form::halt:
      return {7, {}, 0};
    case Form::data:
      return {0, {OperandField{"value", 0, 0, 16, FieldKind::number, false}}, 1};
  }
  return {};
}

// The value that field `field` of `word` holds.
constexpr std::int32_t fieldValue(std::uint16_t word, const OperandField& field) {
  const std::uint32_t raw = (std::uint32_t{word} >> field.shift) & ((1u << field.width) - 1u);
  const std::uint32_t sign = 1u << (field.width - 1u);
  return field.isSigned && raw >= sign ? static_cast<std::int32_t>(raw) - static_cast<std::int32_t>(sign * 2u)
                                       : static_cast<std::int32_t>(raw);
}

// The value of operand `operand` in a word of form `form`: its first field.
constexpr std::int32_t operandValue(std::uint16_t word, Form form, std::uint8_t operand) {
  const FormLayout layout = layoutOf(form);
  for (std::size_t i = 0; i < layout.count; ++i) {
    if (layout.fields[i].operand == operand) return fieldValue(word, layout.fields[i]);
  }
  return 0;
}

// The low 7 bits of a word (the offset or value of the load, store, add
// immediate and branch forms) as the signed number they stand for.
constexpr int signed7(std::uint16_t word) {
  return operandValue(word, Form::branch, 2);
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

// The form of mnemonic `mnemonic` (lower case) in `build`, or nullptr.
constexpr const InstructionForm* formNamed(std::string_view mnemonic, Build build) {
  if (mnemonic.empty() || mnemonic.size() > 4) return nullptr;
  for (const InstructionForm& form : kInstructionForms) {
    if (form.pattern[0] == mnemonic[0] && form.mnemonic() == mnemonic &&
        (build == Build::full || !form.fullBuildOnly)) {
      return &form;
    }
  }
  return nullptr;
}

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
