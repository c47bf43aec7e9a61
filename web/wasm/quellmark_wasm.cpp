// The tool set's functions for the web page, compiled to WebAssembly: text
// in, results out. The page writes its text into the buffer `qm_input`
// gives and reads the result from `qm_output` and `qm_output_size`; every
// result is the text the programs print, or JSON that holds it.
#include <cstdint>
#include <string>

#include "analysis.h"
#include "disassembler.h"
#include "json_text.h"
#include "ptn_format.h"
#include "random_fill.h"

#define QM_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

std::string input;
std::string output;
quellmark::Analysis analysis;
// One sequence from the start of the page, as in the editor from its start.
tarnwick::FixedSeedRandom randomNumbers;

void appendNumber(std::uint64_t value, std::string& out) {
  out += std::to_string(value);
}

tarnwick::Cells cellsOf(std::string_view text) {
  tarnwick::Cells cells{};
  for (std::size_t i = 0; i < cells.size() && i < text.size(); ++i) cells[i] = text[i] == '1';
  return cells;
}

void putCells(const tarnwick::Cells& cells) {
  output.clear();
  for (const bool on : cells) output += on ? '1' : '0';
}

}  // namespace

// Room for `size` bytes of input.
QM_EXPORT(qm_input) char* qm_input(std::uint32_t size) {
  input.assign(size, '\0');
  return input.data();
}

QM_EXPORT(qm_output) const char* qm_output() {
  return output.data();
}

QM_EXPORT(qm_output_size) std::uint32_t qm_output_size() {
  return static_cast<std::uint32_t>(output.size());
}

// The input as a source named "source.asm", in the full build or, when
// `reduced`, the reduced one: {"check", "listing", "symbols", "image":
// texts as the programs print them, "findings": [[line, column, length,
// name, message, note line, note column, note length, note]...] with
// places in bytes from 1 (note line 0 when there is none), "words":
// [[line, address, word]...]}.
QM_EXPORT(qm_analyse) void qm_analyse(int reduced) {
  quellmark::analyse(input, reduced ? quellmark::Build::reduced : quellmark::Build::full, analysis,
                     "source.asm");
  const quellmark::Analysis::Texts& texts = *analysis.texts;
  output.clear();
  output.reserve(texts.check.size() + texts.listing.size() * 2 + analysis.words.size() * 24 +
                 analysis.findings.size() * 160 + 256);
  output += R"({"check":)";
  quellmark::appendJsonString(texts.check, output);
  output += R"(,"listing":)";
  quellmark::appendJsonString(texts.listing, output);
  output += R"(,"symbols":)";
  quellmark::appendJsonString(texts.symbols, output);
  output += R"(,"image":)";
  quellmark::appendJsonString(texts.image, output);
  output += R"(,"findings":[)";
  bool first = true;
  for (const quellmark::Diagnosis& d : analysis.findings) {
    output += first ? "[" : ",[";
    first = false;
    for (const std::uint32_t n : {d.at.line, d.at.column, d.at.length}) {
      appendNumber(n, output);
      output += ',';
    }
    quellmark::appendJsonString(d.name, output);
    output += ',';
    quellmark::appendJsonString(d.message, output);
    const quellmark::Span note = d.noteAt.value_or(quellmark::Span{});
    for (const std::uint32_t n : {note.line, note.column, note.length}) {
      output += ',';
      appendNumber(n, output);
    }
    output += ',';
    quellmark::appendJsonString(d.note, output);
    output += ']';
  }
  output += R"(],"words":[)";
  first = true;
  for (const quellmark::Word& w : analysis.words) {
    output += first ? "[" : ",[";
    first = false;
    appendNumber(w.line, output);
    output += ',';
    appendNumber(w.address, output);
    output += ',';
    appendNumber(w.word, output);
    output += ']';
  }
  output += "]}";
}

// The input as an image: {"ok": true, "source": what `quellmark dis`
// prints} or {"ok": false, "problem": "position N: ..."}.
QM_EXPORT(qm_disassemble) void qm_disassemble() {
  const quellmark::ImageWords image = quellmark::readImage(input);
  output.clear();
  if (image.badPosition) {
    output += R"({"ok":false,"problem":)";
    quellmark::appendJsonString("position " + std::to_string(image.badPosition) + ": " + image.problem,
                                output);
    output += '}';
    return;
  }
  output += R"({"ok":true,"source":)";
  quellmark::appendJsonString(quellmark::disassemble(image.words), output);
  output += '}';
}

// The input's 200 cells ("0" and "1", cell 0 first) as the bytes of a
// .ptn file.
QM_EXPORT(qm_pattern_encode) void qm_pattern_encode() {
  output = tarnwick::encodePattern(cellsOf(input));
}

// The cells of a .ptn file's bytes, read as the editor reads them.
QM_EXPORT(qm_pattern_decode) void qm_pattern_decode() {
  putCells(tarnwick::decodePattern(input));
}

// The input's cells filled at random, by the editor's rule and sequence.
QM_EXPORT(qm_random_fill) void qm_random_fill() {
  tarnwick::Cells cells = cellsOf(input);
  tarnwick::randomFill(cells, randomNumbers);
  putCells(cells);
}
