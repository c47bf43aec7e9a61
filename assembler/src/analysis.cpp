#include "analysis.h"

#include <array>
#include <cstdio>
#include <unordered_map>

#include "chars.h"
#include "checker.h"
#include "encoder.h"
#include "image.h"
#include "pass1.h"
#include "walk.h"

namespace quellmark {

namespace {

bool isRegisterToken(std::string_view token) {
  std::size_t at = 1;
  if (token.size() > at && (token[at] == '-' || token[at] == '+')) ++at;
  return token.size() > at && token[0] == 'r' && isDigit(token[at]);
}

// Ends a token in the raw text of a line, as the normaliser sees it.
bool endsToken(char c) {
  return isSeparator(c) || c == ';' || c == '\0' || c == '\r' || c == '\n';
}

// The length of the token at the start of `from`; a colon ends it too, as
// it ends a label.
std::uint32_t tokenLength(std::string_view from) {
  std::uint32_t n = 0;
  while (n < from.size() && !endsToken(from[n]) && from[n] != ':') ++n;
  return n;
}

std::string hex4(std::uint32_t value) {
  const std::array<char, 4> digits = hexDigits(static_cast<std::uint16_t>(value));
  return std::string(digits.data(), digits.size());
}

int signed7(std::uint16_t word) {
  const int field = word & 0x7F;
  return field >= 64 ? field - 128 : field;
}

std::string reg(int number) {
  return "r" + std::to_string(number);
}

class Collector final : public LineListener, public FindingListener {
 public:
  Collector(const Walk& walk, Analysis& out) : out_(out), checker_(walk, *this) {
    const ChunkedVector<NameFacts>& names = walk.names();
    for (std::size_t i = 0; i < names.size(); ++i) {
      Name name;
      name.name = std::string(names[i].name);
      name.value = names[i].value;
      name.label = names[i].lastIsLabel;
      index_.emplace(name.name, i);
      out_.names.push_back(std::move(name));
    }
  }

  void piece(const SourceLine& line, const SourcePiece& p) override {
    checker_.piece(line, p);
    collectWords(line, p);
    collectTokens(line, p);
  }

  void found(const Finding& f) override {
    Diagnosis d;
    d.at = Span{f.at.line, f.at.column,
                tokenLength(f.at.source->bytes(f.at.column > 0 ? f.at.column - 1 : 0, 256))};
    d.name = std::string(f.name);
    d.message = f.at.message;
    if (f.note) {
      const Remark& n = *f.note;
      const std::uint64_t at = n.column > 0 ? n.column - 1 : 0;
      const std::string_view rest =
          at >= n.shown.start && at - n.shown.start < n.shown.text.size()
              ? n.shown.text.substr(static_cast<std::size_t>(at - n.shown.start))
              : std::string_view();
      d.noteAt = Span{n.line, n.column, tokenLength(rest)};
      d.note = n.message;
    }
    out_.findings.push_back(std::move(d));
  }

 private:
  void collectWords(const SourceLine& line, const SourcePiece& p) {
    for (const IntermediatePiece& w : p.words()) {
      if (!w.word) continue;
      if (out_.words.empty() || out_.words.back().line != line.number) {
        out_.words.push_back(LineWords{line.number, {}});
      }
      const std::string_view mnemonic = w.match ? w.match->form->mnemonic() : std::string_view();
      out_.words.back().words.push_back(Word{w.address, *w.word, mnemonic});
    }
  }

  // Notes `token` of the piece as `kind`; a text operand that names a name
  // is a use of it.
  void add(const SourceLine& line, const SourcePiece& p, std::string_view token, TokenKind kind,
           bool text = false) {
    const auto offset = static_cast<std::size_t>(token.data() - p.normalised.data());
    const std::uint32_t column = p.columnOf(offset);
    const std::uint32_t end = p.columnOf(offset + token.size() - 1) + 1;
    const Span at{line.number, column, end - column};
    out_.tokens.push_back(Token{at, kind});
    if (!text) return;
    if (const auto found = index_.find(std::string(token)); found != index_.end()) {
      out_.names[found->second].uses.push_back(at);
    }
  }

  // The operands after `mnemonic` (none for a word that is no mnemonic):
  // only its text operand is looked up as a name.
  void operands(const SourceLine& line, const SourcePiece& p, TokenSplitter& tokens,
                std::string_view mnemonic) {
    const InstructionForm* form = nullptr;
    for (const InstructionForm& f : instructionForms()) {
      if (f.mnemonic() == mnemonic && f.form != Form::data) form = &f;
    }
    std::size_t position = 0;
    for (std::string_view t = tokens.next(); !t.empty(); t = tokens.next(), ++position) {
      const TokenKind kind = isRegisterToken(t)   ? TokenKind::reg
                             : isPlainDecimal(t) ? TokenKind::number
                                                 : TokenKind::name;
      add(line, p, t, kind, form && form->readsText(position));
    }
  }

  void collectTokens(const SourceLine& line, const SourcePiece& p) {
    using Kind = Pass1Observer::Kind;
    for (const SourcePiece::Defined& d : p.defined) {
      if (const auto found = index_.find(std::string(d.name)); found != index_.end()) {
        const std::uint32_t column = p.columnOf(d.offset);
        out_.names[found->second].definitions.push_back(
            Span{line.number, column, static_cast<std::uint32_t>(d.name.size())});
      }
    }
    TokenSplitter tokens(p.normalised);
    const std::string_view first = tokens.first();
    if (!first.empty()) {
      switch (p.kind) {
        case Kind::instruction:
          add(line, p, first, TokenKind::mnemonic);
          operands(line, p, tokens, first);
          break;
        case Kind::label: {
          add(line, p, first, TokenKind::label);
          // What follows the label is read as a statement of its own.
          TokenSplitter rest = tokens;
          const std::string_view head = rest.next();
          if (!head.empty() && isMnemonic(head)) {
            add(line, p, head, TokenKind::mnemonic);
            operands(line, p, rest, head);
          } else {
            operands(line, p, tokens, {});
          }
          break;
        }
        case Kind::words:
        case Kind::bytes:
          add(line, p, first, TokenKind::directive);
          for (std::string_view t = tokens.next(); !t.empty(); t = tokens.next()) {
            add(line, p, t, isPlainDecimal(t) ? TokenKind::number : TokenKind::name);
          }
          break;
        case Kind::define: {
          add(line, p, first, TokenKind::directive);
          const std::string_view name = tokens.next();
          if (!name.empty()) out_.tokens.push_back(Token{definedAt(line, p, name), TokenKind::label});
          for (std::string_view t = tokens.next(); !t.empty(); t = tokens.next()) {
            add(line, p, t, isPlainDecimal(t) ? TokenKind::number : TokenKind::name);
          }
          break;
        }
        case Kind::blank:
          break;
      }
    }
    // A comment runs from its ";" to the end of the piece.
    std::string_view raw = p.raw.substr(0, p.raw.find('\0'));
    while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r')) raw.remove_suffix(1);
    if (const std::size_t semicolon = raw.find(';'); semicolon != std::string_view::npos) {
      out_.tokens.push_back(Token{Span{line.number, p.column + static_cast<std::uint32_t>(semicolon),
                                       static_cast<std::uint32_t>(raw.size() - semicolon)},
                                  TokenKind::comment});
    }
  }

  Span definedAt(const SourceLine& line, const SourcePiece& p, std::string_view token) const {
    const auto offset = static_cast<std::size_t>(token.data() - p.normalised.data());
    return Span{line.number, p.columnOf(offset), static_cast<std::uint32_t>(token.size())};
  }

  Analysis& out_;
  Checker checker_;
  std::unordered_map<std::string, std::size_t> index_;  // of each name in out_.names
};

}  // namespace

Analysis analyse(std::string_view source, Build build) {
  Analysis analysis;
  const MemoryText text(source);
  Walk walk(build);
  walk.splitSourcesFrom(UINT64_MAX);  // a text in memory is read at once
  if (!walk.collect(text)) return analysis;  // a text in memory is always read
  Collector collector(walk, analysis);
  (void)walk.walk(text, collector);
  return analysis;
}

std::string describeWord(std::string_view mnemonic, std::uint16_t word, std::uint32_t address) {
  const InstructionForm* form = nullptr;
  for (const InstructionForm& f : instructionForms()) {
    if (f.mnemonic() == mnemonic) form = &f;
  }
  if (!form) return {};
  const std::string m(mnemonic);
  const int high = (word >> 10) & 7;
  const int middle = (word >> 7) & 7;
  const int low = (word >> 4) & 7;
  switch (form->form) {
    case Form::registers:
      if (form->operandCount() == 2) return m + ", ra " + reg(low) + ", rb " + reg(high);
      return m + ", ra " + reg(low) + ", rb " + reg(high) + ", rc " + reg(middle);
    case Form::pushPop:
      return m + ", ra " + reg(low);
    case Form::load:
    case Form::store:
      return m + ", ra " + reg(middle) + ", rb " + reg(high) + ", offset " +
             std::to_string(signed7(word));
    case Form::addImmediate:
      return m + ", ra " + reg(middle) + ", rb " + reg(high) + ", value " +
             std::to_string(signed7(word));
    case Form::branch:
      return m + ", ra " + reg(high) + ", rb " + reg(middle) + ", offset " +
             std::to_string(signed7(word)) + " \u2192 " +
             hex4((address + 1 + static_cast<std::uint32_t>(signed7(word))) & 0xFFFFu);
    case Form::jump:
      return m + ", target " + hex4(word & 0x1FFFu);
    case Form::halt:
      return m;
    case Form::data:
      return "data";
  }
  return {};
}

bool isNameToken(std::string_view text, Build build) {
  std::string name;
  for (const char c : text) {
    if (endsToken(c) || c == ':') return false;
    name += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (name.empty() || isRegisterToken(name) || isPlainDecimal(name)) return false;
  if (isMnemonic(name) || name == "define" || name == "num") return false;
  return build != Build::full || (name != "dw" && name != "db");
}

}  // namespace quellmark
