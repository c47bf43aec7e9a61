#include "walk.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "assemble.h"

namespace quellmark {

bool isPlainDecimal(std::string_view token) {
  std::size_t at = 0;
  std::int32_t value = 0;
  return readDecimal(token, at, value) && at == token.size();
}

IntermediatePiece& SourcePiece::addWord() {
  if (wordCount_ == words_.size()) words_.emplace_back();
  IntermediatePiece& w = words_[wordCount_++];
  w.match.reset();
  return w;
}

void SourcePiece::clear() {
  column = 1;
  lineText = nullptr;
  rawSize = 0;
  normalised = {};
  intermediate = {};
  isKept_ = false;
  origins_.clear();
  originsKnown_ = false;
  kind = Pass1Observer::Kind::blank;
  defined.clear();
  wordCount_ = 0;
}

void SourcePiece::keep() {
  kept_.assign(normalised);
  keptIntermediate_.assign(intermediate);
  isKept_ = true;
}

void SourcePiece::settle() {
  if (!isKept_) return;
  normalised = kept_;
  for (Defined& d : defined) d.name = normalised.substr(d.offset, d.name.size());
  intermediate = keptIntermediate_;
  for (std::size_t i = 0; i < wordCount_; ++i) {
    IntermediatePiece& w = words_[i];
    w.bytes = intermediate.substr(w.offset, w.size);
  }
}

std::uint32_t SourcePiece::columnOf(std::size_t offset) const {
  if (!originsKnown_) {
    // The piece as read; the line's text lacks only the line feed, which
    // changes no column.
    const std::string_view line(*lineText);
    raw_.assign(line.substr(column - 1, rawSize));
    const std::span<char> text = beforeNul(raw_);
    origins_.resize(text.size());
    origins_.resize(normalise(text, origins_).size());
    originsKnown_ = true;
  }
  if (offset < origins_.size()) return column + origins_[offset];
  if (origins_.empty()) return column;
  return column + origins_.back() + 1;
}

Walk::Walk(Build build)
    : build_(build),
      // With one core a second thread only takes turns with the first.
      splitFrom_(std::thread::hardware_concurrency() == 1 ? UINT64_MAX : kSplitFrom) {}

std::string_view Walk::Names::keep(std::string_view name) {
  if (name.size() > free_) {
    const std::size_t size = std::max(kBlock, name.size());
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    next_ = blocks_.back().get();
    free_ = size;
  }
  std::copy(name.begin(), name.end(), next_);
  const std::string_view kept(next_, name.size());
  next_ += name.size();
  free_ -= name.size();
  return kept;
}

void Walk::Names::take(Names&& other) {
  for (std::unique_ptr<char[]>& block : other.blocks_) blocks_.push_back(std::move(block));
  other.blocks_.clear();
}

namespace {

// Notes what pass 1 does with the piece being read.
class Pass1Notes final : public Pass1Observer {
 public:
  void start(SourcePiece& piece, const char* base) {
    piece_ = &piece;
    base_ = base;
  }
  void classified(Kind kind, std::string_view line, std::string_view) override {
    piece_->kind = kind;
    piece_->normalised = line;
  }
  void defined(std::string_view name, std::int32_t value) override {
    const auto offset = static_cast<std::size_t>(name.data() - base_);
    piece_->defined.push_back({name, value, offset});
  }

 private:
  SourcePiece* piece_ = nullptr;
  const char* base_ = nullptr;
};

class Pass2Notes final : public EncodeObserver {
 public:
  void start(IntermediatePiece& piece, const char* base) {
    piece_ = &piece;
    base_ = base;
  }
  void matched(const InstructionForm& form, const Operands& operands,
               std::optional<std::int32_t> symbol) override {
    // Made in place: a copy through a temporary would read back what was
    // just written in pieces of another size, which stalls.
    const std::string_view text = operands.text;
    piece_->match.emplace(form, operands,
                          static_cast<std::uint32_t>(text.empty() ? 0 : text.data() - base_),
                          static_cast<std::uint32_t>(text.size()), symbol);
  }

 private:
  IntermediatePiece* piece_ = nullptr;
  const char* base_ = nullptr;  // where the piece's text begins
};

// Cuts the source into pieces as the assembler does and groups them into
// lines, handing each piece to `handle` and each finished line to `done`.
// The pieces are used again from line to line, for their buffers.
template <typename Handle, typename Done>
bool readLines(ByteSource& source, Handle handle, Done done) {
  PieceReader reader(source);
  SourceLine line;
  std::size_t used = 0;  // pieces of this line so far
  // Pieces that the lines before had more of than this one.
  std::vector<SourcePiece> spare;
  const auto finish = [&] {
    while (line.pieces.size() > used) {
      spare.push_back(std::move(line.pieces.back()));
      line.pieces.pop_back();
    }
    for (SourcePiece& p : line.pieces) p.settle();
    done(line);
  };
  line.number = 1;
  std::uint32_t column = 1;
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    const bool ends = piece.back() == '\n';
    line.text.append(piece.data(), ends ? piece.size() - 1 : piece.size());
    if (used == line.pieces.size()) {
      if (spare.empty()) {
        line.pieces.emplace_back();
      } else {
        line.pieces.push_back(std::move(spare.back()));
        spare.pop_back();
      }
    }
    SourcePiece& p = line.pieces[used++];
    p.clear();
    p.column = column;
    p.lineText = &line.text;
    p.rawSize = static_cast<std::uint32_t>(piece.size());
    column += static_cast<std::uint32_t>(piece.size());
    handle(p, piece);
    // The reader's next piece may move this one's bytes.
    if (!ends) {
      p.keep();
      continue;
    }
    finish();
    used = 0;
    line.text.clear();
    ++line.number;
    column = 1;
  }
  if (used > 0) finish();
  return !reader.failed();
}

}  // namespace

void Walk::readPart(ByteSource& source, SymbolTable* symbols, Part& part) const {
  // The definitions with their lines, and whether each is a label; the
  // second reading tells the columns.
  class Notes final : public Pass1Observer {
   public:
    explicit Notes(Part& part) : part_(part) {}
    void classified(Kind kind, std::string_view, std::string_view) override {
      label_ = kind == Kind::label;
    }
    void defined(std::string_view name, std::int32_t value) override {
      Definition d{part_.names.keep(name), value, part_.lines + 1};
      d.label = label_;
      part_.definitions.push_back(d);
    }

   private:
    Part& part_;
    bool label_ = false;
  } notes(part);

  // The intermediate text is not wanted here.
  Pass1 pass = symbols ? Pass1(build_, *symbols, notes) : Pass1(build_, notes);
  PieceReader reader(source);
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    // Pass 1 rewrites the piece in place, its line feed too.
    const bool ends = piece.back() == '\n';
    pass.handleLine(piece);
    if (ends) ++part.lines;
  }
  part.words = pass.locationCounter();
  part.failed = reader.failed();
}

std::optional<std::uint64_t> Walk::splitPoint(const ByteSource& source) const {
  const std::optional<std::uint64_t> size = source.size();
  if (!size || *size < splitFrom_ || *size < 2) return std::nullopt;
  const std::uint64_t middle = *size / 2;
  const std::unique_ptr<ByteSource> there = source.openAt(middle);
  if (!there) return std::nullopt;
  // A line feed is looked for this far at most.
  constexpr std::size_t kLook = 64 * 1024;
  std::string bytes(kLook, '\0');
  std::size_t got = 0;
  while (got < kLook) {
    const std::ptrdiff_t n = there->read(std::span<char>(bytes).subspan(got));
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  const std::size_t feed = std::string_view(bytes).substr(0, got).find('\n');
  if (feed == std::string_view::npos || middle + feed + 1 >= *size) return std::nullopt;
  return middle + feed + 1;
}

bool Walk::collect(const SourceOpener& open) {
  const std::unique_ptr<ByteSource> source = open();
  if (!source) return false;
  // A large source is read in two halves at once: the second from the
  // start of a line, as a reader of the whole would start a piece there,
  // with its word counter and line numbers from 0; its definitions are
  // entered after those of the first half, moved by the first half's words
  // and lines.
  Part first;
  Part second;
  const std::optional<std::uint64_t> split = splitPoint(*source);
  std::unique_ptr<ByteSource> rest = split ? source->openAt(*split) : nullptr;
  std::jthread other;
  if (rest) {
    try {
      other = std::jthread([&] { readPart(*rest, nullptr, second); });
    } catch (const std::system_error&) {
      // No thread to be had: the whole source is read here.
    }
  }
  halves_ = other.joinable();
  if (halves_) {
    LimitedSource half(*source, *split);
    readPart(half, &symbols_, first);
    other.join();
  } else {
    readPart(*source, &symbols_, first);
  }
  definitions_ = std::move(first.definitions);
  names_ = std::move(first.names);
  if (first.failed || second.failed) return false;
  for (std::size_t i = 0; i < second.definitions.size(); ++i) {
    Definition d = second.definitions[i];
    d.line += first.lines;
    // The word counter wraps as an unsigned number, as pass 1's does.
    if (d.label) {
      d.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(d.value) + first.words);
    }
    symbols_.define(d.name, d.value);
    definitions_.push_back(d);
  }
  names_.take(std::move(second.names));

  // Which definitions repeat a name, and which are repeated: a table of
  // the index of each name's first definition. Most sources repeat none.
  if (symbols_.names() == definitions_.size()) return true;
  SymbolTable firsts;
  for (std::size_t i = 0; i < definitions_.size(); ++i) {
    Definition& d = definitions_[i];
    const std::optional<std::int32_t> earlier = firsts.lookup(d.name);
    if (!earlier) {
      firsts.define(d.name, static_cast<std::int32_t>(i));
      continue;
    }
    d.first = *earlier;
    definitions_[static_cast<std::size_t>(*earlier)].definedAgain = true;
  }
  return true;
}

bool Walk::walk(const SourceOpener& open,
                const std::function<void(const SourceLine&)>& tell) const {
  const std::unique_ptr<ByteSource> source = open();
  if (!source) return false;
  // Pass 1 runs again for the intermediate text of each line; it keeps no
  // table, as pass 2 takes the table of the first reading.
  MemorySink written;
  BufferedWriter out(written);
  Pass1Notes notes1;
  Pass1 pass1(build_, out, notes1);
  Pass2Notes notes2;
  Pass2 pass2(symbols_, build_, &notes2);
  std::string spilled;  // an intermediate text that did not fit the buffer
  return readLines(
      *source,
      [&](SourcePiece& p, std::span<char> piece) {
        // The piece before is told or kept by now.
        out.drop();
        notes1.start(p, piece.data());
        pass1.handleLine(piece);
        // What pass 1 wrote for the piece is still in the writer's buffer,
        // unless it was more than the buffer holds; it stays there while
        // the line is told, or until `keep` copies it.
        if (written.text().empty()) {
          p.intermediate = out.buffered();
        } else {
          spilled = written.take();
          spilled.append(out.buffered());
          p.intermediate = spilled;
          p.keep();
          p.settle();
        }
        // Every intermediate line ends in a newline, so cutting this
        // piece's text alone, by the reader's rule, gives the pieces pass 2
        // reads from the file. An instruction or a label writes one line
        // (its tokens hold no newline), which a short text holds whole.
        using Kind = Pass1Observer::Kind;
        const bool oneLine = (p.kind == Kind::instruction || p.kind == Kind::label) &&
                             p.intermediate.size() <= kPieceLength;
        for (std::size_t at = 0; at < p.intermediate.size();) {
          const std::size_t size =
              oneLine ? p.intermediate.size() : pieceLength(p.intermediate.substr(at));
          IntermediatePiece& w = p.addWord();
          w.offset = static_cast<std::uint32_t>(at);
          w.size = static_cast<std::uint32_t>(size);
          w.bytes = p.intermediate.substr(at, size);
          w.address = pass2.wordCounter();
          notes2.start(w, w.bytes.data());
          w.word = pass2.handleLine(w.bytes);
          at += size;
        }
      },
      tell);
}

}  // namespace quellmark
