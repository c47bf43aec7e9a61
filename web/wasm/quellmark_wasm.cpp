// The tool set's functions for the web page, compiled to WebAssembly: text
// in, results out. The page writes its text into the buffer `qm_input`
// gives and reads the result from `qm_output` and `qm_output_size`; every
// result is the text the programs print, or JSON that holds it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis.h"
#include "disassembler.h"
#include "fixes.h"
#include "image.h"
#include "json_text.h"
#include "language_server.h"
#include "pattern_document.h"
#include "ptn_format.h"
#include "random_fill.h"

#define QM_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

std::string input;
std::string output;
std::vector<std::uint32_t> words;
// The findings of the page's document, for `qm_finding_places` and
// `qm_finding_texts`.
std::vector<std::int32_t> findingPlaces;
std::string findingTexts;
quellmark::Analysis analysis;
// The language server of the page's worker.
std::optional<quellmark::LanguageServer> server;
std::vector<std::string> replies;
// One sequence from the start of the page, as in the editor from its start.
tarnwick::FixedSeedRandom randomNumbers;
tarnwick::PatternDocument patternDocument;
tarnwick::Cells patternCells{};

void appendNumber(std::uint64_t value, std::string& out) {
  out += std::to_string(value);
}

void putPattern() {
  output.clear();
  for (const bool on : patternCells) output += on ? '1' : '0';
  output += patternDocument.saved() == tarnwick::PatternDocument::kTrue ? "\n1\n" : "\n0\n";
  output += patternDocument.curfile();
  output += '\0';
  output += patternDocument.title();
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

namespace {

// The analysis of `source` in `build` as JSON; each finding's last field is
// the note of its fix, or empty. Its words are kept for `qm_words`; with
// `placed`, its findings are kept for `qm_finding_places` instead of
// written. Fixes are looked for on lines `fixedFirst` to `fixedLast` only: the
// search for a name's likely spelling is most of the time of a large
// text's findings, and a page needs them only where it draws marks.
void writeAnalysis(const quellmark::Analysis& analysis, bool texts, std::string_view source,
                   quellmark::Build build, bool placed = false, std::uint32_t fixedFirst = 1,
                   std::uint32_t fixedLast = UINT32_MAX) {
  const std::vector<quellmark::FoundFix> fixes =
      quellmark::fixesOf(analysis, source, build, fixedFirst, fixedLast);
  // The note of finding `i`'s fix, or nothing; asked of each in turn.
  auto fix = fixes.begin();
  const auto fixNote = [&fix, &fixes](std::size_t i) {
    if (fix == fixes.end() || fix->finding != i) return std::string_view();
    return std::string_view((fix++)->fix.note);
  };
  output.reserve(output.size() + analysis.words.size() * 24 + (placed ? 0 : analysis.findings.size() * 160) + 256 +
                 (texts ? analysis.texts->check.size() + analysis.texts->listing.size() * 2 : 0));
  output += R"({"image":")";
  for (const quellmark::Word& w : analysis.words) {
    const std::array<char, 4> group = quellmark::imageGroup(w.word);
    output.append(group.data(), group.size());
  }
  output += '"';
  if (texts) {
    output += R"(,"check":)";
    quellmark::appendJsonString(analysis.texts->check, output);
    output += R"(,"listing":)";
    quellmark::appendJsonString(analysis.texts->listing, output);
    output += R"(,"symbols":)";
    quellmark::appendJsonString(analysis.texts->symbols, output);
  }
  // The words, three numbers each, for `qm_words`.
  words.clear();
  for (const quellmark::Word& w : analysis.words) words.insert(words.end(), {w.line, w.address, w.word});
  if (placed) {
    findingPlaces.clear();
    findingTexts.clear();
    for (std::size_t i = 0; i < analysis.findings.size(); ++i) {
      const quellmark::Diagnosis& d = analysis.findings[i];
      findingPlaces.insert(findingPlaces.end(), {static_cast<std::int32_t>(d.at.line),
                                                 static_cast<std::int32_t>(d.at.column),
                                                 static_cast<std::int32_t>(d.at.length)});
      for (const std::string_view field : {d.name, std::string_view(d.message), fixNote(i)}) {
        findingTexts += field;
        findingPlaces.push_back(static_cast<std::int32_t>(findingTexts.size()));
      }
    }
    output += '}';
    return;
  }
  output += R"(,"findings":[)";
  bool first = true;
  for (std::size_t i = 0; i < analysis.findings.size(); ++i) {
    const quellmark::Diagnosis& d = analysis.findings[i];
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
    output += ',';
    quellmark::appendJsonString(fixNote(i), output);
    output += ']';
  }
  output += "]}";
}

}  // namespace

// The input as a source named "source.asm", in the full build or, when
// `reduced`, the reduced one: {"image": the image as brennor or assembler
// writes it, "findings": [[line, column, length, name, message, note line,
// note column, note length, note]...] with places in bytes from 1 (note
// line 0 when there is none)}, and the words through `qm_words`; with
// `texts` also "check", "listing" and "symbols" as the companion
// prints them, which take longer.
QM_EXPORT(qm_analyse) void qm_analyse(int reduced, int texts) {
  quellmark::analyse(input, reduced ? quellmark::Build::reduced : quellmark::Build::full, analysis,
                     texts ? std::optional<std::string_view>("source.asm") : std::nullopt);
  output.clear();
  writeAnalysis(analysis, texts != 0, input, reduced ? quellmark::Build::reduced : quellmark::Build::full);
}

// As qm_analyse, of the language server's analysis of the open document
// whose uri the input is, in the server's build: no analysis of its own,
// the text as the server has it; no output when the document is not open.
// A server that publishes would lose the diagnostics that were waiting:
// the page's publishes none. With `texts`, the texts are
// made anew from the server's text. The findings are not in the JSON but
// in `qm_finding_places` and `qm_finding_texts`: the page reads the few
// it shows, not a large text's tens of thousands. Their fixes are looked
// for on lines `fixedFirst` to `fixedLast` (from 1) only, or on every line
// when `fixedFirst` is 0; with `texts`, on every line.
QM_EXPORT(qm_analyse_document) void qm_analyse_document(int reduced, int texts, std::uint32_t fixedFirst,
                                                        std::uint32_t fixedLast) {
  if (!server) server.emplace(quellmark::Build::full);
  replies.clear();
  const quellmark::Analysis* found = server->analysisOf(input, replies);
  output.clear();
  if (!found) return;
  const quellmark::Build build = reduced ? quellmark::Build::reduced : quellmark::Build::full;
  const std::string_view text = *server->textOf(input);
  if (texts) {
    quellmark::analyse(text, build, analysis, std::optional<std::string_view>("source.asm"));
    writeAnalysis(analysis, true, text, build, true);
  } else {
    writeAnalysis(*found, false, text, build, true, fixedFirst == 0 ? 1 : fixedFirst,
                  fixedFirst == 0 ? UINT32_MAX : fixedLast);
  }
}

// The findings of the last qm_analyse_document, six numbers each: the
// line, column and length (bytes from 1), and where the finding's name,
// message and fix note end in `qm_finding_texts`, each beginning where the
// one before ended; `qm_finding_count` of them.
QM_EXPORT(qm_finding_places) const std::int32_t* qm_finding_places() {
  return findingPlaces.data();
}

QM_EXPORT(qm_finding_count) std::uint32_t qm_finding_count() {
  return static_cast<std::uint32_t>(findingPlaces.size() / 6);
}

// Their names, messages and fix notes, in UTF-8 as the assembler wrote
// them: a byte that is no part of a letter is left for the page's
// decoder, which reads it as U+FFFD as the JSON writer does.
QM_EXPORT(qm_finding_texts) const char* qm_finding_texts() {
  return findingTexts.data();
}

QM_EXPORT(qm_finding_texts_size) std::uint32_t qm_finding_texts_size() {
  return static_cast<std::uint32_t>(findingTexts.size());
}

// The language server's text of its open document whose uri the input is;
// empty when it is not open.
QM_EXPORT(qm_document_text) void qm_document_text() {
  const std::string* text = server ? server->textOf(input) : nullptr;
  output = text ? *text : std::string();
}

// The words of the last analysis, three numbers each: the line, the
// address and the word; `qm_word_count` of them.
QM_EXPORT(qm_words) const std::uint32_t* qm_words() {
  return words.data();
}

QM_EXPORT(qm_word_count) std::uint32_t qm_word_count() {
  return static_cast<std::uint32_t>(words.size() / 3);
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

// The pattern page's document, with the editor's rules: its cells, and
// `saved`, `curfile` and the title. Each command below leaves the state in
// the output: the 200 cells ("0" and "1", cell 0 first), a line feed,
// "1" when `saved` is true and "0" when not, a line feed, `curfile`, a NUL
// and the title.

QM_EXPORT(qm_pattern_state) void qm_pattern_state() {
  putPattern();
}

// A click on cell `index` (0 to 199).
QM_EXPORT(qm_pattern_click) void qm_pattern_click(std::uint32_t index) {
  if (index < patternCells.size()) {
    patternDocument.change();
    tarnwick::toggle(patternCells, index);
  }
  putPattern();
}

// "Randomize!": the editor's fill, on its sequence from the page's start.
QM_EXPORT(qm_pattern_random) void qm_pattern_random() {
  tarnwick::randomFill(patternCells, randomNumbers);
  patternDocument.change();
  putPattern();
}

// Open of a file that was read: the input is its name, a NUL and its first
// bytes.
QM_EXPORT(qm_pattern_open) void qm_pattern_open() {
  const std::size_t nul = std::min(input.find('\0'), input.size());
  patternDocument.opened(input.substr(0, nul));
  patternCells = tarnwick::decodePattern(std::string_view(input).substr(std::min(nul + 1, input.size())));
  putPattern();
}

// What Save does now: 0 ask for a name, 1 nothing changed, 2 write.
QM_EXPORT(qm_pattern_save_step) int qm_pattern_save_step() {
  return static_cast<int>(patternDocument.saveStep());
}

// The file's bytes, written under the name in the input: the document is
// saved and the title names the file (`savefile`).
QM_EXPORT(qm_pattern_savefile) void qm_pattern_savefile() {
  patternDocument.written(input);
  output = tarnwick::encodePattern(patternCells);
}

// Save As, after its write: the input's name becomes the file.
QM_EXPORT(qm_pattern_name) void qm_pattern_name() {
  patternDocument.named(input);
  putPattern();
}

// Whether New asks "save unsaved work?" first.
QM_EXPORT(qm_pattern_new_asks) int qm_pattern_new_asks() {
  return patternDocument.newAsks() ? 1 : 0;
}

// `resetit` alone (what OK under the save question does after its save).
QM_EXPORT(qm_pattern_reset) void qm_pattern_reset() {
  patternDocument.reset();
  putPattern();
}

// The rest of New: the grid cleared, then `resetit`.
QM_EXPORT(qm_pattern_new) void qm_pattern_new() {
  patternCells = tarnwick::Cells{};
  patternDocument.reset();
  putPattern();
}

// Starts the language server afresh, for the full build or, when
// `reduced`, the reduced one; without `publishing`, it publishes no
// diagnostics (a page that draws the findings from qm_analyse_document).
QM_EXPORT(qm_lsp_start) void qm_lsp_start(int reduced, int publishing) {
  server.emplace(reduced ? quellmark::Build::reduced : quellmark::Build::full);
  server->setPublishing(publishing != 0);
}

// The input as the body of one message to the server; with `more`,
// further messages are waiting, and a change is analysed only with the
// last. The output holds the bodies the server sends in turn, each ended by
// a NUL byte (which a JSON text never holds raw).
QM_EXPORT(qm_lsp_receive) void qm_lsp_receive(int more) {
  if (!server) server.emplace(quellmark::Build::full);
  replies.clear();
  server->receive(input, replies, more != 0);
  output.clear();
  for (const std::string& reply : replies) {
    output += reply;
    output += '\0';
  }
}

// The exit status once the client sent `exit`, else -1.
QM_EXPORT(qm_lsp_exit_status) int qm_lsp_exit_status() {
  return server ? server->exitStatus().value_or(-1) : -1;
}

// Stops the module as a fault in it would: the page's tests make the
// worker fail with it, to see the page start it again.
QM_EXPORT(qm_trap) void qm_trap() {
  __builtin_trap();
}
