#include "disassembler.h"

#include <cstdio>

#include "build.h"
#include "encoder.h"
#include "normaliser.h"
#include "symbol_table.h"

namespace quellmark {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  char text[16];
  if (byte >= 0x20 && byte < 0x7F) {
    std::snprintf(text, sizeof text, "'%c'", c);
  } else {
    std::snprintf(text, sizeof text, "byte 0x%02X", byte);
  }
  return text;
}


std::string format(const char* pattern, std::string_view mnemonic, int a = 0, int b = 0,
                   int c = 0) {
  char text[64];
  const std::string m(mnemonic);
  const int n = std::snprintf(text, sizeof text, pattern, m.c_str(), a, b, c);
  return std::string(text, static_cast<std::size_t>(n));
}

// The text of `word` as form `f` would write it, from the fields of the
// word; empty when the form cannot stand for it.
std::string textFor(const InstructionForm& f, std::uint16_t word) {
  const auto value = [&f, word](std::uint8_t operand) { return operandValue(word, f.form, operand); };
  const std::string_view m = f.mnemonic();
  switch (f.form) {
    case Form::registers:
    case Form::pushPop:
      if ((word >> 13) != layoutOf(f.form).opcode || (word & 0xFu) != f.function) return {};
      if (f.operandCount() == 1) return format("%s r%d", m, value(0));
      if (f.operandCount() == 2) return format("%s r%d, r%d", m, value(0), value(1));
      return format("%s r%d, r%d, r%d", m, value(0), value(1), value(2));
    case Form::load:
    case Form::store:
      return format("%s r%d, %d(r%d)", m, value(0), value(1), value(2));
    case Form::addImmediate:
    case Form::branch:
      return format("%s r%d, r%d, %d", m, value(0), value(1), value(2));
    case Form::jump:
      return format("%s %d", m, value(0));
    case Form::halt:
      return std::string(m);
    case Form::data:
      return {};
  }
  return {};
}

// The word the full build makes of a one-line source `text`.
std::uint16_t assembled(const std::string& text) {
  std::string line = text + "\n";
  static const SymbolTable kNoSymbols;
  return encodeLine(normalise(line), 0, kNoSymbols, Build::full);
}

}  // namespace

void ImageReader::feed(std::string_view bytes) {
  if (bytes.empty()) return;
  for (std::size_t i = 0; i < bytes.size() && firstBad_ == 0; ++i) {
    const int digit = hexValue(bytes[i]);
    if (digit < 0) {
      firstBad_ = size_ + i + 1;
      bad_ = bytes[i];
      break;
    }
    // Least significant digit first.
    group_ |= static_cast<std::uint32_t>(digit) << (4 * digits_);
    if (++digits_ == 4) {
      image_.words.push_back(static_cast<std::uint16_t>(group_));
      group_ = 0;
      digits_ = 0;
    }
  }
  if (bytes.size() >= 2) {
    last_ = {bytes[bytes.size() - 2], bytes.back()};
  } else {
    last_ = {last_[1], bytes[0]};
  }
  size_ += bytes.size();
}

ImageWords ImageReader::finish() {
  // One line end may follow the groups.
  std::uint64_t end = size_;
  if (size_ >= 2 && last_[0] == '\r' && last_[1] == '\n') {
    end -= 2;
  } else if (size_ >= 1 && last_[1] == '\n') {
    end -= 1;
  }
  ImageWords image = std::move(image_);
  if (firstBad_ != 0 && firstBad_ <= end) {
    image.words.clear();
    image.badPosition = firstBad_;
    image.problem = shown(bad_) + " is not a hexadecimal digit";
  } else if (end % 4 != 0) {
    image.words.clear();
    image.badPosition = end - end % 4 + 1;
    image.problem = "the last group has " + std::to_string(end % 4) + " of its 4 digits";
  }
  return image;
}

ImageWords readImage(std::string_view text) {
  ImageReader reader;
  reader.feed(text);
  return reader.finish();
}

std::string disassembleWord(std::uint16_t word) {
  // Every candidate is checked by assembling it: a text is given only when
  // the assembler makes exactly this word of it.
  for (const InstructionForm& f : instructionForms()) {
    const std::string text = textFor(f, word);
    if (!text.empty() && assembled(text) == word) return text;
  }
  return "dw " + std::to_string(word);
}

namespace {

// One row of the disassembly: the word's text and a comment with its
// address and the word.
void appendRow(std::size_t address, std::uint16_t word, std::string& out) {
  std::string text = disassembleWord(word);
  if (text.size() < 20) text.resize(20, ' ');
  char comment[48];
  const int n = std::snprintf(comment, sizeof comment, " ; %04zX %04X\n", address,
                              static_cast<unsigned>(word));
  out += text;
  out.append(comment, static_cast<std::size_t>(n));
}

}  // namespace

std::string disassemble(const std::vector<std::uint16_t>& words) {
  std::string out;
  for (std::size_t address = 0; address < words.size(); ++address) {
    appendRow(address, words[address], out);
  }
  return out;
}

void writeDisassembly(const std::vector<std::uint16_t>& words, BufferedWriter& out) {
  std::string row;
  for (std::size_t address = 0; address < words.size(); ++address) {
    row.clear();
    appendRow(address, words[address], row);
    out.write(row);
  }
}

}  // namespace quellmark
