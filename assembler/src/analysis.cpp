#include "analysis.h"

#include <algorithm>
#include <array>
#include <memory>
#include <cstdio>

#include "beside.h"
#include "chars.h"
#include "checker.h"
#include "encoder.h"
#include "fixes.h"
#include "image.h"
#include "listing.h"
#include "normaliser.h"
#include "pass1.h"
#include "reading.h"
#include "symbol_table.h"
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

// Finds the tokens of a piece in its raw bytes, in step with a
// TokenSplitter over its normalised text: the normaliser makes each run of
// separators one blank, so the runs of other bytes are the same tokens.
class RawTokens {
 public:
  explicit RawTokens(std::string_view raw) : raw_(raw) {}
  // Where the first token begins: past separators and colons; it ends at
  // a colon too, which is taken with it.
  std::size_t first() {
    while (at_ < raw_.size() && (isSeparator(raw_[at_]) || raw_[at_] == ':')) ++at_;
    return take(true);
  }
  std::size_t next() {
    while (at_ < raw_.size() && isSeparator(raw_[at_])) ++at_;
    return take(false);
  }

 private:
  std::size_t take(bool colonEnds) {
    const std::size_t start = at_;
    while (at_ < raw_.size() && !isSeparator(raw_[at_]) && !(colonEnds && raw_[at_] == ':')) ++at_;
    if (at_ < raw_.size()) ++at_;
    return start;
  }
  std::string_view raw_;
  std::size_t at_ = 0;
};

// Gathers what a walk tells of a stretch of the source into `out`: the
// findings, words, places and tokens of its lines, and their check text and
// listing rows when the texts are asked for. `index` gives each name's
// index among the names.
class Collector final : public LineListener, public FindingListener {
 public:
  Collector(const Walk& walk, const SeekableSource& text, const SymbolTable& index,
            Analysis& out, std::optional<std::string_view> file)
      : out_(out), checker_(walk, *this), names_(walk), file_(file), index_(index) {
    // The check's text notes each fix, as `quellmark check` does; an editor
    // asks for the fixes of a few lines when it wants them.
    if (out_.texts) fixes_.emplace(names_, walk.build(), text);
    if (out_.texts) {
      listed_.emplace();
      listingOut_ = std::make_unique<BufferedWriter>(*listed_);
      rows_.emplace(*listingOut_);
    }
  }

  void piece(const SourceLine& line, const SourcePiece& p) override {
    checker_.piece(line, p);
    if (rows_) rows_->piece(line, p);
    for (const IntermediatePiece& w : p.words()) {
      if (!w.word) continue;
      out_.words.push_back(Word{line.number, w.address, *w.word,
                                w.match ? w.match->form->mnemonic() : std::string_view()});
    }
    collectTokens(line, p);
  }

  void lineEnds(const SourceLine& line) override {
    if (rows_) rows_->lineEnds(line);
  }

  // The listing's rows as they were written.
  std::string takeListing() {
    if (!listingOut_ || !listingOut_->close()) return {};
    return listed_->take();
  }

  void found(const Finding& f) override {
    if (out_.texts) {
      appendFinding(*file_, f, out_.texts->check);
      if (fixes_) {
        if (const std::optional<Fix> fix = fixes_->fixFor(findingAt(f))) {
          appendFixNote(*file_, f, fix->note, out_.texts->check);
        }
      }
    }
    Diagnosis& d = out_.findings.emplace_back();
    d.at = Span{f.at.line, f.at.column,
                tokenLength(f.at.source->bytes(f.at.column > 0 ? f.at.column - 1 : 0, 256))};
    d.name = f.name;
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
  }

 private:
  // The tokens of one piece, by the normaliser's text and by the raw bytes.
  struct Tokens {
    TokenSplitter text;
    RawTokens raw;
    std::uint32_t line;
    std::uint32_t column;  // of the piece
    std::string_view current;
    std::uint32_t at = 0;  // column of the current token
    bool next() {
      current = text.next();
      at = column + static_cast<std::uint32_t>(raw.next());
      return !current.empty();
    }
    [[nodiscard]] Span span() const {
      return Span{line, at, static_cast<std::uint32_t>(current.size())};
    }
  };

  void add(const Tokens& t, TokenKind kind) { out_.tokens.push_back(Token{t.span(), kind}); }

  // A name defined or used at the current token.
  void place(const Tokens& t, bool definition) {
    if (const std::optional<std::int32_t> index = index_.lookup(t.current)) {
      out_.places.push_back(NamePlace{static_cast<std::uint32_t>(*index), t.span(), definition});
    }
  }

  // The operands of the statement that pass 2 read as `form` (none for a
  // word that is no mnemonic): only its text operand is looked up as a name.
  void operands(Tokens& t, const InstructionForm* form) {
    for (std::size_t position = 0; t.next(); ++position) {
      const TokenKind kind = isRegisterToken(t.current)   ? TokenKind::reg
                             : isPlainDecimal(t.current) ? TokenKind::number
                                                         : TokenKind::name;
      add(t, kind);
      if (form && form->readsText(position)) place(t, false);
    }
  }

  void values(Tokens& t) {
    while (t.next()) add(t, isPlainDecimal(t.current) ? TokenKind::number : TokenKind::name);
  }

  void collectTokens(const SourceLine& line, const SourcePiece& p) {
    using Kind = Pass1Observer::Kind;
    // The raw bytes the normaliser read: up to a NUL, a comment aside.
    std::string_view raw = p.raw.substr(0, p.raw.find('\0'));
    const std::size_t semicolon = raw.find(';');
    const std::string_view comment =
        semicolon == std::string_view::npos ? std::string_view() : raw.substr(semicolon);
    raw = raw.substr(0, semicolon);
    Tokens t{TokenSplitter(p.normalised), RawTokens(raw), line.number, p.column, {}, 0};
    // The form pass 2 read the statement as.
    const InstructionForm* form = nullptr;
    if (!p.words().empty() && p.words().front().match) form = p.words().front().match->form;
    if (form && form->form == Form::data) form = nullptr;
    t.current = t.text.first();
    t.at = p.column + static_cast<std::uint32_t>(t.raw.first());
    if (!t.current.empty()) {
      switch (p.kind) {
        case Kind::instruction: {
          add(t, TokenKind::mnemonic);
          operands(t, form);
          break;
        }
        case Kind::label: {
          add(t, TokenKind::label);
          place(t, true);
          // What follows the label is read as a statement of its own.
          Tokens head = t;
          if (head.next() && isMnemonic(head.current)) {
            add(head, TokenKind::mnemonic);
            operands(head, form);
          } else {
            operands(t, nullptr);
          }
          break;
        }
        case Kind::words:
        case Kind::bytes:
          add(t, TokenKind::directive);
          values(t);
          break;
        case Kind::define:
          add(t, TokenKind::directive);
          if (t.next()) {
            add(t, TokenKind::label);
            place(t, true);
            values(t);
          }
          break;
        case Kind::blank:
          break;
      }
    }
    std::size_t length = comment.size();
    while (length > 0 && (comment[length - 1] == '\n' || comment[length - 1] == '\r')) --length;
    if (length > 0) {
      out_.tokens.push_back(Token{
          Span{line.number, p.column + static_cast<std::uint32_t>(semicolon),
               static_cast<std::uint32_t>(length)},
          TokenKind::comment});
    }
  }

  Analysis& out_;
  Checker checker_;
  WalkNames names_;
  std::optional<FixFinder> fixes_;
  std::optional<std::string_view> file_;
  const SymbolTable& index_;
  // The listing, when the texts are asked for.
  std::optional<MemorySink> listed_;
  std::unique_ptr<BufferedWriter> listingOut_;
  std::optional<ListingRows> rows_;
};

// The first token at or after `at`.
std::vector<Token>::const_iterator tokenFrom(const std::vector<Token>& tokens, const Span& at) {
  return std::lower_bound(tokens.begin(), tokens.end(), at, [](const Token& t, const Span& s) {
    return t.at.line != s.line ? t.at.line < s.line : t.at.column < s.column;
  });
}

// `at` running over the whole token that starts there, as the line was read:
// a colon inside an operand is part of it, and a stray colon a token.
Span wholeToken(const std::vector<Token>& tokens, const Span& at) {
  const auto t = tokenFrom(tokens, at);
  if (t != tokens.end() && t->at.line == at.line && t->at.column == at.column && t->at.length > 0) {
    return t->at;
  }
  return at;
}

// Walks the two halves that the first reading of `text` was read in at
// once, each into an analysis of its own, the second appended to
// `analysis` afterwards, with the listing of both in `listing`. The check
// of a name defined again shows the place of its first definition, so a
// name defined in both halves keeps the walk whole: false, having walked
// nothing, then, or when the first reading was whole or no second thread
// can be had.
bool walkInHalves(const Walk& walk, const MemoryText& text, const SymbolTable& index,
                  Analysis& analysis, std::optional<std::string_view> file,
                  std::string& listing) {
  if (!walk.secondHalf() || walk.definedInBothHalves()) return false;
  Walk::Stretch second = *walk.secondHalf();
  const Walk::Stretch first{0, second.from, 0, 0, 0};
  Analysis rest;
  std::string restListing;
  // About half of what the whole took last time, so that the vectors
  // seldom grow (read here, before the first half fills them).
  const std::array<std::size_t, 4> room{analysis.findings.capacity() / 2,
                                        analysis.words.capacity() / 2,
                                        analysis.places.capacity() / 2,
                                        analysis.tokens.capacity() / 2};
  const auto walkSecond = [&] {
    rest = Analysis{};
    rest.findings.reserve(room[0]);
    rest.words.reserve(room[1]);
    rest.places.reserve(room[2]);
    rest.tokens.reserve(room[3]);
    if (file) rest.texts.emplace();
    Collector collector(walk, text, index, rest, file);
    (void)walk.walk(text, collector, second, nullptr);
    restListing = collector.takeListing();
  };
  std::uint32_t words = 0;
  const bool both = runBeside(walkSecond, [&] {
    Collector collector(walk, text, index, analysis, file);
    (void)walk.walk(text, collector, first, &words);
    listing = collector.takeListing();
  });
  if (!both) return false;
  if (words != second.pass2Words) {
    // Pass 2 read a long intermediate line in pieces, each a word that
    // pass 1 did not count: the second half again, from the true address.
    second.pass2Words = words;
    walkSecond();
  }
  const auto append = [](auto& to, auto& from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
  };
  append(analysis.findings, rest.findings);
  append(analysis.words, rest.words);
  append(analysis.places, rest.places);
  append(analysis.tokens, rest.tokens);
  if (file) analysis.texts->check += rest.texts->check;
  listing += restListing;
  return true;
}

// Each finding's place, and its note's, run over the whole token there.
void spanWholeTokens(Analysis& analysis) {
  for (Diagnosis& d : analysis.findings) {
    d.at = wholeToken(analysis.tokens, d.at);
    if (d.noteAt) d.noteAt = wholeToken(analysis.tokens, *d.noteAt);
  }
}

// Tells two listeners of each piece.
class BothListeners final : public LineListener {
 public:
  BothListeners(LineListener& first, LineListener& second) : first_(first), second_(second) {}
  void piece(const SourceLine& line, const SourcePiece& p) override {
    first_.piece(line, p);
    second_.piece(line, p);
  }
  void lineEnds(const SourceLine& line) override {
    first_.lineEnds(line);
    second_.lineEnds(line);
  }

 private:
  LineListener& first_;
  LineListener& second_;
};

}  // namespace

bool collectStretch(const Reading& reading, const SeekableSource& text,
                    const Walk::Stretch& stretch, Analysis& out, LineListener& also,
                    std::uint32_t& wordsAfter, std::uint32_t& pass1After) {
  Collector collector(reading.walk, text, reading.index, out, std::nullopt);
  BothListeners both(collector, also);
  const bool read = reading.walk.walk(text, both, stretch, &wordsAfter, &pass1After);
  spanWholeTokens(out);
  return read;
}

void analyse(std::string_view source, Build build, Analysis& analysis,
             std::optional<std::string_view> file, std::uint64_t halvesFrom) {
  analysis.findings.clear();
  analysis.words.clear();
  analysis.places.clear();
  analysis.tokens.clear();
  analysis.names.clear();
  analysis.texts.reset();
  analysis.inHalves = false;
  analysis.reading.reset();
  if (file) analysis.texts.emplace();
  const MemoryText text(source);
  auto reading = std::make_shared<Reading>(build);
  Walk& walk = reading->walk;
  walk.splitSourcesFrom(secondCoreHelps() ? halvesFrom : UINT64_MAX);
  if (!walk.collect(text)) return;  // a text in memory is always read
  // The names, and the index of each, which is only looked up from here
  // on, so that both halves may share it.
  const ChunkedVector<NameFacts>& names = walk.names();
  analysis.names.resize(names.size());
  SymbolTable& index = reading->index;
  for (std::size_t i = 0; i < names.size(); ++i) {
    Name& name = analysis.names[i];
    name.name.assign(names[i].name);
    name.value = names[i].value;
    name.label = names[i].lastIsLabel;
    index.define(names[i].name, static_cast<std::int32_t>(i));
  }
  (void)index.names();
  std::string listing;
  analysis.inHalves = walkInHalves(walk, text, index, analysis, file, listing);
  if (!analysis.inHalves) {
    Collector collector(walk, text, index, analysis, file);
    (void)walk.walk(text, collector);
    listing = collector.takeListing();
  }
  spanWholeTokens(analysis);
  analysis.reading = std::move(reading);
  if (!file) return;
  // The texts as the programs print them: the listing's rows, a blank line
  // and the symbol table; the words of the listing are the image's.
  Analysis::Texts& texts = *analysis.texts;
  texts.listing = std::move(listing);
  texts.listing += '\n';
  appendSymbols(walk, texts.symbols);
  texts.listing += texts.symbols;
  texts.image.reserve(analysis.words.size() * 4);
  for (const Word& w : analysis.words) {
    const std::array<char, 4> group = imageGroup(w.word);
    texts.image.append(group.data(), group.size());
  }
}

Analysis analyse(std::string_view source, Build build) {
  Analysis analysis;
  analyse(source, build, analysis);
  return analysis;
}

std::vector<Span> Analysis::placesOf(std::uint32_t name, bool definitions) const {
  std::vector<Span> spans;
  for (const NamePlace& p : places) {
    if (p.name == name && p.definition == definitions) spans.push_back(p.at);
  }
  return spans;
}

Span Analysis::markOf(const Span& at) const {
  if (at.length > 0) return at;
  for (auto t = tokenFrom(tokens, at); t != tokens.begin();) {
    --t;
    if (t->at.line != at.line) break;
    if (t->kind != TokenKind::comment && t->at.length > 0) return t->at;
  }
  return at;
}

std::optional<std::uint32_t> Analysis::nameAt(std::uint32_t line, std::uint64_t column) const {
  const auto first = std::lower_bound(places.begin(), places.end(), line,
                                      [](const NamePlace& p, std::uint32_t l) { return p.at.line < l; });
  for (auto p = first; p != places.end() && p->at.line == line; ++p) {
    if (column >= p->at.column && column <= p->at.column + p->at.length) return p->name;
  }
  return std::nullopt;
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
