#include "checker.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "chars.h"
#include "image.h"
#include "normaliser.h"
#include "checker_messages.h"
#include "pass1.h"

namespace quellmark {

namespace {

using namespace messages;

constexpr std::uint32_t kLastJumpTarget = 8191;

const char* fieldName(int shift) {
  return shift == 4 ? "low" : shift == 7 ? "middle" : "high";
}

// The shift of the field each register operand of a form fills, by
// operand position; -1 for an operand that is no register.
std::array<int, 3> registerShifts(Form form) {
  std::array<int, 3> shifts{-1, -1, -1};
  const FormLayout layout = layoutOf(form);
  for (std::size_t i = layout.count; i-- > 0;) {
    const OperandField& f = layout.fields[i];
    if (f.kind == FieldKind::reg) shifts[f.operand] = f.shift;  // its first field wins
  }
  return shifts;
}

// Maps offsets of what pass 2 read back to columns of the source: of the
// normalised line itself, or of the line carried over behind a label.
struct ColumnOf {
  const SourcePiece* piece = nullptr;
  // For a carried-over line, its tokens (views into the normalised line),
  // each written with one blank after it; null when pass 2 read the
  // normalised line itself.
  const std::vector<std::string_view>* carried = nullptr;
  std::size_t base = 0;  // of the pass 2 piece in its intermediate line

  std::uint32_t operator()(std::size_t offset) const {
    std::size_t at = base + offset;
    if (!carried) return piece->columnOf(at);
    for (const std::string_view token : *carried) {
      if (at <= token.size()) {
        return piece->columnOf(static_cast<std::size_t>(token.data() - piece->normalised.data()) +
                               at);
      }
      at -= token.size() + 1;
    }
    return piece->columnOf(piece->normalised.size());
  }
};

}  // namespace

class Checker::LineChecker {
 public:
  LineChecker(const Walk& walk, FindingListener& listener) : walk_(walk), listener_(listener) {}

  void piece(const SourceLine& line, const SourcePiece& p);
  [[nodiscard]] std::size_t total() const { return total_; }

 private:
  void add(const SourceLine& line, std::uint32_t column, std::string_view name,
           std::string message, std::optional<Remark> note = std::nullopt) {
    findings_.push_back(
        {Remark{line.number, column, std::move(message), &line, {}}, name, std::move(note)});
  }

  // The place of a first definition, kept with the part of its line shown.
  struct Place {
    Remark remark;
    std::string text;
  };

  void checkPiece(const SourceLine& line, const SourcePiece& p);
  void checkDefinitions(const SourceLine& line, const SourcePiece& p);
  void checkData(const SourceLine& line, const SourcePiece& p);
  void checkDefine(const SourceLine& line, const SourcePiece& p);
  void checkLabel(const SourceLine& line, const SourcePiece& p);
  void checkWords(const SourceLine& line, const SourcePiece& p, ColumnOf columnOf);
  void checkMatch(const SourceLine& line, const SourcePiece& p, const IntermediatePiece& w,
                  const Match& m, const ColumnOf& columnOf);
  void checkText(const SourceLine& line, const IntermediatePiece& w, const Match& m,
                 std::size_t offset, const ColumnOf& columnOf);

  const Walk& walk_;
  FindingListener& listener_;
  std::size_t total_ = 0;
  // The findings of the piece being checked.
  std::vector<Finding> findings_;
  // The places of the first definitions of names defined again, by the
  // index of the name. The map's nodes stay where they are, so each remark
  // may view its text.
  std::unordered_map<std::size_t, Place> firstPlaces_;
  bool addressSpaceReported_ = false;
  // Kept from piece to piece for its buffer.
  std::vector<std::string_view> carried_;
};

// Every finding of a piece lies between its first byte and the first byte
// of the next piece, so the findings of a line, each piece's sorted by
// column, come in the order of their columns.
void Checker::LineChecker::piece(const SourceLine& line, const SourcePiece& p) {
  findings_.clear();
  if (p.index == 0 && line.pieces > 1) {
    add(line, static_cast<std::uint32_t>(kPieceLength + 1), "long-line",
        said("this line has ", line.length,
             " bytes: the assembler reads at most 98 and the line feed at a time, so it reads "
             "it as ",
             line.pieces, " lines"));
  }
  if (line.number == 1 && p.index == 0 && line.bytes(0, 3) == "\xEF\xBB\xBF") {
    add(line, 1, "byte-order-mark", byteOrderMarkMessage(line.bytes(3, kPieceLength)));
  }
  checkPiece(line, p);
  if (findings_.empty()) return;
  if (findings_.size() > 1) {
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return a.at.column < b.at.column;
    });
  }
  for (const Finding& f : findings_) listener_.found(f);
  total_ += findings_.size();
}

void Checker::LineChecker::checkPiece(const SourceLine& line, const SourcePiece& p) {
  using Kind = Pass1Observer::Kind;
  checkDefinitions(line, p);
  switch (p.kind) {
    case Kind::blank:
      break;
    case Kind::words:
    case Kind::bytes:
      checkData(line, p);
      break;
    case Kind::define:
      checkDefine(line, p);
      break;
    case Kind::instruction:
      checkWords(line, p, ColumnOf{&p});
      break;
    case Kind::label:
      checkLabel(line, p);
      break;
  }
  // The intermediate lines that pass 2 reads in several pieces: a line of
  // 99 characters and its newline at least.
  std::size_t start = p.intermediate.size() >= kPieceLength + 1 ? 0 : p.intermediate.size();
  while (start < p.intermediate.size()) {
    const std::size_t newline = p.intermediate.find('\n', start);
    const std::size_t length = (newline == std::string::npos ? p.intermediate.size() : newline) - start;
    if (length >= 99) {
      const std::size_t pieces = length / 99 + 1;
      std::string message = said("the intermediate line of this line has ", length,
                                 " characters: pass 2 reads it as ", pieces, " pieces");
      // A piece is at most 99 characters, the newline included, so the
      // last one holds at least the newline: an empty line, which only the
      // reduced build makes a word.
      message += walk_.build() == Build::reduced
                     ? ", and each extra piece is an extra word; the empty last one is 0000"
                     : "; the empty last one makes no word";
      add(line, p.column, "long-line", std::move(message));
    }
    start += length + 1;
  }
  for (const IntermediatePiece& w : p.words()) {
    if (!w.word || w.address != kLastJumpTarget + 1 || addressSpaceReported_) continue;
    addressSpaceReported_ = true;
    add(line, p.columnOf(0), "address-space",
        "this word is at address 8192: the program has more words than `j` reaches (0 to 8191)");
  }
}

void Checker::LineChecker::checkDefinitions(const SourceLine& line, const SourcePiece& p) {
  for (const SourcePiece::Defined& d : p.defined) {
    const auto column = [&p, at = d.offset] { return p.columnOf(at); };
    if (isPlainDecimal(d.name)) {
      add(line, column(), "numeric-name",
          said(Quoted{d.name}, " reads as a number: every operand ", Quoted{d.name},
               " now means this name, ", d.value, ", not the number"));
    }
    if (!walk_.repeats()) continue;
    // (A file changed between the two readings may define a name the first
    // did not meet.)
    const std::optional<std::size_t> found = walk_.indexOf(d.name);
    if (!found) continue;
    const std::size_t index = *found;
    const NameFacts& known = walk_.names()[index];
    if (known.definitions < 2) continue;
    // Only the first place of a name defined again is kept.
    const auto [first, isFirst] = firstPlaces_.try_emplace(index);
    if (isFirst) {
      Place& place = first->second;
      const std::uint32_t at = column();
      Shown shown = shownPart(line, at);
      place.text.assign(shown.text);
      shown.text = place.text;
      place.remark = Remark{line.number, at, said(Quoted{d.name}, " was defined here first"),
                            nullptr, shown};
      continue;
    }
    add(line, column(), "redefined",
        said(Quoted{d.name}, " is defined again: its last value, ", known.value,
             ", is used everywhere, also in lines before it"),
        first->second.remark);
  }
}

void Checker::LineChecker::checkData(const SourceLine& line, const SourcePiece& p) {
  const bool words = p.kind == Pass1Observer::Kind::words;
  TokenSplitter tokens(p.normalised);
  (void)tokens.first();
  for (std::string_view token = tokens.next(); !token.empty(); token = tokens.next()) {
    const auto column = [&p, token] {
      return p.columnOf(static_cast<std::size_t>(token.data() - p.normalised.data()));
    };
    const std::int32_t value = decimalValue(token);
    if (!isPlainDecimal(token)) {
      add(line, column(), "undefined",
          readsAs(token, value,
                  "not a decimal number, and names are not looked up in data"));
      continue;
    }
    if (words && (value < -32768 || value > 65535)) {
      add(line, column(), "range",
          said("the value ", value, " does not fit a word (-32768 to 65535): it becomes ",
               static_cast<std::uint32_t>(value) & 0xFFFFu));
    } else if (!words && (value < -128 || value > 255)) {
      add(line, column(), "range",
          said("the byte ", value, " does not fit 8 bits (-128 to 255): it becomes ",
               static_cast<std::uint32_t>(value) & 0xFFu));
    }
  }
}

void Checker::LineChecker::checkDefine(const SourceLine& line, const SourcePiece& p) {
  TokenSplitter tokens(p.normalised);
  const std::string_view keyword = tokens.first();
  const std::string_view name = tokens.next();
  const std::string_view value = tokens.next();
  const auto columnOf = [&p](std::string_view token) {
    return p.columnOf(static_cast<std::size_t>(token.data() - p.normalised.data()));
  };
  if (name.empty()) {
    add(line, columnOf(keyword), "empty-define", "`define` without a name defines nothing");
    return;
  }
  if (value.empty()) {
    add(line, columnOf(name), "empty-define",
        said("`define` without a value: ", Quoted{name}, " is defined as 0"));
    return;
  }
  if (!isPlainDecimal(value)) {
    add(line, columnOf(value), "undefined",
        readsAs(value, decimalValue(value), "not a decimal number (a value is never a name)"));
  }
}

void Checker::LineChecker::checkLabel(const SourceLine& line, const SourcePiece& p) {
  TokenSplitter tokens(p.normalised);
  const std::string_view label = tokens.first();
  const auto offsetOf = [&p](std::string_view token) {
    return static_cast<std::size_t>(token.data() - p.normalised.data());
  };
  // The tokens carried over behind the label.
  std::vector<std::string_view>& carried = carried_;
  carried.clear();
  for (std::string_view token = tokens.next(); !token.empty(); token = tokens.next()) {
    carried.push_back(token);
  }
  // Columns are worked out only for a finding.
  const auto labelColumn = [&] { return p.columnOf(offsetOf(label)); };
  if (carried.empty()) {
    if (walk_.build() == Build::reduced) {
      add(line, labelColumn(), "label-word",
          said("a label alone on its line is a word of its own in the reduced build: ",
               Quoted{label}, " addresses a 0000 word"));
    }
    return;
  }
  // What the carried-over text is and makes, for the messages.
  const auto rest = [&carried] {
    std::string text;
    for (const std::string_view token : carried) (text += token) += ' ';
    text.pop_back();
    return text;
  };
  const auto word = [&p] {
    return p.words().empty() || !p.words().front().word ? std::string("no word")
                                                        : said(Hex4{*p.words().front().word});
  };
  const std::string_view head = carried.front();
  const auto headColumn = [&] { return p.columnOf(offsetOf(head)); };
  if (head.starts_with(':')) {
    add(line, headColumn(), "label-colon",
        said("a blank stands between the label ", Quoted{label},
             " and its colon: the colon is carried over as text, and ", Quoted{rest()},
             " assembles to ", word()));
    return;
  }
  if (walk_.build() == Build::reduced && (label == "dw" || label == "db")) {
    add(line, labelColumn(), "reduced-data",
        said("the reduced build has no data directives: ", Quoted{label},
             " is taken as a label, and ", Quoted{rest()}, " assembles to ", word()));
    return;
  }
  if (!isMnemonic(head)) {
    // Behind a colon the label was meant, so the word after it is the
    // mistake; without one the first word was likely a misspelling.
    const bool colon = offsetOf(label) + label.size() < p.normalised.size() &&
                       p.normalised[offsetOf(label) + label.size()] == ':';
    const bool directive = head == "dw" || head == "db" || head == "define";
    const auto notAnInstruction = [](std::string_view token) {
      return token == "num" ? std::string("`num` is no instruction of the source language")
                            : said(Quoted{token}, " is not an instruction");
    };
    if (!colon) {
      add(line, labelColumn(), "not-an-instruction",
          said(notAnInstruction(label), ": it is taken as a label, and ", Quoted{rest()},
               " assembles to ", word()));
    } else if (directive) {
      add(line, headColumn(), "not-an-instruction",
          said(Quoted{head}, " behind a label is not a directive: ", Quoted{rest()},
               " is not carried out and assembles to one word, ", word()));
    } else {
      add(line, headColumn(), "not-an-instruction",
          said(notAnInstruction(head), ": ", Quoted{rest()}, " assembles to ", word()));
    }
    return;
  }
  checkWords(line, p, ColumnOf{&p, &carried});
}

void Checker::LineChecker::checkWords(const SourceLine& line, const SourcePiece& p, ColumnOf columnOf) {
  // Offsets run on across the pieces pass 2 cut from one intermediate line.
  for (const IntermediatePiece& w : p.words()) {
    if (w.match) checkMatch(line, p, w, *w.match, columnOf);
    columnOf.base += w.size;
  }
}

void Checker::LineChecker::checkMatch(const SourceLine& line, const SourcePiece& p,
                             const IntermediatePiece& w, const Match& m, const ColumnOf& columnOf) {
  const InstructionForm& f = *m.form;
  if (f.form == Form::data) return;
  const Operands& ops = m.operands;
  const std::string_view text = w.text();
  const std::size_t count = f.operandCount();
  const std::array<int, 3> shifts = registerShifts(f.form);
  // The operands read: the text operand, and registers out of range.
  for (std::size_t i = 0; i < ops.read; ++i) {
    if (f.readsText(i)) {
      checkText(line, w, m, ops.at[i], columnOf);
      continue;
    }
    const std::int32_t number = ops.number[i];
    if (shifts[i] < 0 || (number >= 0 && number <= 7)) continue;
    add(line, columnOf(ops.at[i]), "register",
        said("`r", number, "` is not a register (r0 to r7): in the ", fieldName(shifts[i]),
             " register field ", spillOf(number, shifts[i])));
  }

  const std::size_t end = ops.end;
  const auto blank = [&text](std::size_t at) { return at >= text.size() || isWhiteSpace(text[at]); };
  std::size_t rest = end;
  while (rest < text.size() && isWhiteSpace(text[rest])) ++rest;
  if (ops.read < count) {
    std::string missing;
    for (std::size_t i = ops.read; i < count; ++i) {
      missing += missing.empty() ? "" : ", ";
      missing += f.readsText(i) ? "0" : "r0";
    }
    if (rest >= text.size()) {
      const std::size_t have = ops.read;
      // Where the piece ends, as the assembler reads it: the end of the
      // line, but for the pieces before the last of a long line.
      const std::size_t size = p.raw.size() - (p.raw.ends_with('\n') ? 1 : 0);
      add(line, static_cast<std::uint32_t>(p.column + size), "operands",
          said(Quoted{f.mnemonic()}, " takes ", count, count == 1 ? " operand" : " operands",
               " and this line has ", have, ": the missing ",
               count - have == 1 ? "one reads" : "ones read", " as ", missing));
      return;
    }
    // The pattern stopped inside or before a token it could not read.
    std::size_t start = end;
    while (start > 0 && !blank(start - 1)) --start;
    std::size_t stop = end;
    while (!blank(stop)) ++stop;
    // A token read in part ("r1x") gave its number to the last operand.
    const bool inPart = start < end && ops.read > 0;
    add(line, columnOf(start), "register",
        inPart ? said(Quoted{text.substr(start, stop - start)},
                      " cannot be read as a register: it reads as r", ops.number[ops.read - 1],
                      ", and the operands after it read as ", missing)
               : said(Quoted{text.substr(start, stop - start)},
                      " cannot be read as a register: it and the operands after it read as ",
                      missing));
    return;
  }
  if (rest < text.size()) {
    std::size_t stop = rest;
    while (!blank(stop)) ++stop;
    add(line, columnOf(rest), "operands",
        said("text after the last operand of ", Quoted{f.mnemonic()},
             " is ignored: ", Quoted{text.substr(rest, stop - rest)}));
  }
}

// The column is worked out only for a finding: it takes the normaliser
// once more.
void Checker::LineChecker::checkText(const SourceLine& line, const IntermediatePiece& w, const Match& m,
                            std::size_t offset, const ColumnOf& columnOf) {
  const auto column = [&] { return columnOf(offset); };
  const InstructionForm& f = *m.form;
  const std::string_view token = w.operandText();
  const std::optional<std::int32_t> symbol = m.symbol;
  const std::int64_t value = symbol ? *symbol : decimalValue(token);
  if (!symbol && !isPlainDecimal(token)) {
    add(line, column(), "undefined",
        readsAs(token, static_cast<std::int32_t>(value), "not defined"));
    return;
  }
  switch (f.form) {
    case Form::load:
    case Form::store:
    case Form::addImmediate:
      if (value < -64 || value > 127) {
        add(line, column(), "range",
            symbol ? said(Quoted{token}, " is ", value,
                          ", which does not fit its 7 bits (-64 to 127): it becomes ", value & 0x7F)
                   : said("the immediate ", value,
                          " does not fit its 7 bits (-64 to 127): it becomes ", value & 0x7F));
      }
      break;
    case Form::branch: {
      const std::int64_t offset = symbol ? value - (std::int64_t{w.address} + 1) : value;
      if (offset >= -64 && offset <= 63) break;
      const std::int64_t becomes = signedField(offset, 7);
      add(line, column(), "range",
          symbol ? said(Quoted{token}, " is ", offset < 0 ? -offset : offset, " words ",
                        offset < 0 ? "back" : "ahead",
                        ": a branch reaches 64 words back and 63 forward, so the offset ", offset,
                        " becomes ", becomes)
                 : said("the offset ", offset, " does not fit 7 bits (-64 to 63): it becomes ",
                        becomes));
      break;
    }
    case Form::jump:
      if (value < 0 || value > kLastJumpTarget) {
        add(line, column(), "range",
            said("the target ", value,
                 " is outside 0 to 8191, the addresses `j` reaches: it becomes ", value & 0x1FFF));
      }
      break;
    default:
      break;
  }
}

Checker::Checker(const Walk& walk, FindingListener& listener)
    : checker_(std::make_unique<LineChecker>(walk, listener)) {}

Checker::~Checker() = default;

void Checker::piece(const SourceLine& line, const SourcePiece& piece) {
  checker_->piece(line, piece);
}

std::size_t Checker::findings() const {
  return checker_->total();
}

}  // namespace quellmark
