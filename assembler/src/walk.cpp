#include "walk.h"

#include <algorithm>
#include <memory>
#include <span>

#include "assemble.h"
#include "beside.h"

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
  index = 0;
  column = 1;
  normalised = {};
  intermediate = {};
  origins_.clear();
  originsKnown_ = false;
  kind = Pass1Observer::Kind::blank;
  defined.clear();
  wordCount_ = 0;
}

std::uint32_t SourcePiece::columnOf(std::size_t offset) const {
  if (!originsKnown_) {
    scratch_.assign(raw);
    const std::span<char> text = beforeNul(scratch_);
    origins_.resize(text.size());
    origins_.resize(normalise(text, origins_).size());
    originsKnown_ = true;
  }
  if (offset < origins_.size()) return column + origins_[offset];
  if (origins_.empty()) return column;
  return column + origins_.back() + 1;
}

std::string_view SourceLine::bytes(std::uint64_t at, std::size_t n) const {
  if (at >= length) return {};
  if (n > length - at) n = static_cast<std::size_t>(length - at);
  if (held_) return held_->substr(static_cast<std::size_t>(at), n);
  if (at < cachedAt_ || at + n > cachedAt_ + cache_.size()) {
    // A block at a time, as windows of one line are asked for in order.
    constexpr std::size_t kBlock = 4096;
    cache_.resize(std::max(n, kBlock));
    std::size_t got = 0;
    while (got < cache_.size()) {
      const std::ptrdiff_t read =
          source_->readAt(start_ + at + got, std::span(cache_).subspan(got));
      if (read <= 0) break;
      got += static_cast<std::size_t>(read);
    }
    cache_.resize(got);
    cachedAt_ = at;
  }
  return std::string_view(cache_).substr(static_cast<std::size_t>(at - cachedAt_),
                                         std::min<std::size_t>(n, cache_.size()));
}

Walk::Walk(Build build)
    : build_(build), splitFrom_(secondCoreHelps() ? kSplitFrom : UINT64_MAX) {}

std::string_view Walk::Names::keep(std::string_view name) {
  if (name.size() > free_) {
    // A KiB first, twice as much each time up to a block: most sources
    // define a few names.
    const std::size_t size =
        std::max(std::min(kBlock, std::size_t{1024} << std::min<std::size_t>(blocks_.size(), 6)),
                 name.size());
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

std::optional<std::size_t> Walk::indexOf(std::string_view name) const {
  const std::optional<std::int32_t> index = index_.lookup(name);
  if (!index) return std::nullopt;
  return static_cast<std::size_t>(*index);
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

// The length of the line at `start` in `source`, whose first piece of 99
// bytes, ending in `last`, holds no line feed and whose next bytes begin
// with `ahead`; sets `endsInCr` and `feed` (whether a line feed ends it).
// Reads on past `ahead` only when it holds no line feed.
std::uint64_t lineLength(const SeekableSource& source, std::uint64_t start, std::string_view ahead,
                         char last, bool& endsInCr, bool& feed) {
  std::uint64_t length = kPieceLength;
  const auto scan = [&](std::string_view bytes) {
    const std::size_t at = bytes.find('\n');
    const std::size_t taken = at == std::string_view::npos ? bytes.size() : at;
    if (taken > 0) last = bytes[taken - 1];
    length += taken;
    return at != std::string_view::npos;
  };
  feed = scan(ahead);
  // A few KiB first: most lines end soon after a piece, or the text does.
  char small[4096];
  std::unique_ptr<char[]> large;
  std::span<char> chunk(small);
  while (!feed) {
    const std::ptrdiff_t n = source.readAt(start + length, chunk);
    if (n <= 0) break;
    feed = scan(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
    if (!large) {
      large = std::make_unique_for_overwrite<char[]>(std::size_t{1} << 16);
      chunk = std::span(large.get(), std::size_t{1} << 16);
    }
  }
  endsInCr = last == '\r';
  return length;
}

}  // namespace

void Walk::readPart(ByteSource& source, Part& part) const {
  // The names with the line of their last definition, and whether that is
  // a label; the symbol table is made of them afterwards.
  class Notes final : public Pass1Observer {
   public:
    explicit Notes(Part& part) : part_(part) {}
    void classified(Kind kind, std::string_view, std::string_view) override {
      label_ = kind == Kind::label;
    }
    void defined(std::string_view name, std::int32_t value) override {
      ++part_.definitions;
      const auto index = static_cast<std::int32_t>(part_.names.size());
      const std::uint32_t line = part_.lines + 1;
      if (const std::optional<std::int32_t> known = part_.index.enterNew(name, index)) {
        NameFacts& facts = part_.names[static_cast<std::size_t>(*known)];
        facts.value = value;
        facts.line = line;
        ++facts.definitions;
        facts.lastIsLabel = label_;
        return;
      }
      part_.names.push_back(NameFacts{part_.kept.keep(name), value, line, 1, label_});
    }

   private:
    Part& part_;
    bool label_ = false;
  } notes(part);

  Pass1 pass(build_, notes);
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

std::optional<std::uint64_t> Walk::splitPoint(const SeekableSource& source) const {
  const std::uint64_t size = source.size();
  if (size < splitFrom_ || size < 2 || !source.concurrent()) return std::nullopt;
  const std::uint64_t middle = size / 2;
  // A line feed is looked for this far at most, a few KiB at a time: most
  // lines end soon.
  constexpr std::uint64_t kFarthest = 64 * 1024;
  char chunk[4096];
  for (std::uint64_t at = middle; at < middle + kFarthest;) {
    const std::ptrdiff_t n = source.readAt(at, std::span(chunk));
    if (n <= 0) return std::nullopt;
    const std::string_view bytes(chunk, static_cast<std::size_t>(
                                            std::min<std::uint64_t>(n, middle + kFarthest - at)));
    if (const std::size_t feed = bytes.find('\n'); feed != std::string_view::npos) {
      if (at + feed + 1 >= size) return std::nullopt;
      return at + feed + 1;
    }
    at += bytes.size();
  }
  return std::nullopt;
}

bool Walk::readTwoHalves(const SeekableSource& source, std::uint64_t split, Part& first,
                         Part& second) const {
  const auto readSecond = [&] {
    SeekableReader rest(source, split, source.size());
    readPart(rest, second);
  };
  const auto readFirst = [&] {
    SeekableReader half(source, 0, split);
    readPart(half, first);
  };
  if (!inTurn_) return runBeside(readSecond, readFirst);
  readSecond();
  readFirst();
  return true;
}

bool Walk::collect(const SeekableSource& source) {
  // A large source is read in two halves at once: the second from the
  // start of a line, as a reader of the whole would start a piece there,
  // with its word counter and line numbers from 0; its names are entered
  // after those of the first half, moved by the first half's words and
  // lines.
  Part first;
  Part second;
  const std::optional<std::uint64_t> split = splitPoint(source);
  halves_ = split && readTwoHalves(source, *split, first, second);
  if (!halves_) {
    SeekableReader whole(source);
    readPart(whole, first);
  }
  if (first.failed || second.failed) return false;
  secondHalf_.reset();
  definedInBoth_ = false;
  if (halves_) {
    secondHalf_ = Stretch{*split, source.size(), first.lines, first.words, first.words};
  }

  for (std::size_t i = 0; i < second.names.size(); ++i) {
    NameFacts facts = second.names[i];
    facts.line += first.lines;
    // The word counter wraps as an unsigned number, as pass 1's does.
    if (facts.lastIsLabel) {
      facts.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(facts.value) + first.words);
    }
    const auto index = static_cast<std::int32_t>(first.names.size());
    if (const std::optional<std::int32_t> known = first.index.enterNew(facts.name, index)) {
      definedInBoth_ = true;
      NameFacts& earlier = first.names[static_cast<std::size_t>(*known)];
      facts.definitions += earlier.definitions;
      facts.name = earlier.name;
      earlier = facts;
      continue;
    }
    first.names.push_back(facts);
  }
  first.kept.take(std::move(second.kept));
  definitions_ = first.definitions + second.definitions;
  names_ = std::move(first.names);
  kept_ = std::move(first.kept);
  // The table of indexes becomes the symbol table: its names stand in the
  // same order as the facts, whose values it takes.
  symbols_ = std::move(first.index);
  for (std::size_t i = 0; i < names_.size(); ++i) symbols_.setValue(i, names_[i].value);
  // Only a name defined again asks for its index later.
  if (repeats()) {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      index_.define(names_[i].name, static_cast<std::int32_t>(i));
    }
  }
  // Both tables are entered whole now, so that looking up changes nothing
  // in them and may be done on several threads at once.
  (void)symbols_.names();
  (void)index_.names();
  return true;
}

bool Walk::walk(const SeekableSource& source, LineListener& listener, const Stretch& stretch,
                std::uint32_t* wordsAfter, std::uint32_t* pass1After) const {
  SeekableReader in(source, stretch.from, std::min(stretch.to, source.size()));
  PieceReader reader(in);
  // Pass 1 runs again for the intermediate text of each piece; it keeps no
  // table, as pass 2 takes the table of the first reading.
  MemorySink written;
  BufferedWriter out(written);
  Pass1Notes notes1;
  Pass1 pass1(build_, out, notes1);
  Pass2Notes notes2;
  Pass2 pass2(symbols_, build_, &notes2);
  pass1.startAfter(stretch.pass1Words);
  pass2.startAfter(stretch.pass2Words);
  std::string spilled;  // an intermediate text that did not fit the buffer

  SourceLine line;
  line.source_ = &source;
  line.number = stretch.linesBefore;
  SourcePiece p;
  std::uint64_t offset = stretch.from;  // of the piece in the source
  bool inLine = false;
  std::uint32_t index = 0;  // of the piece in its line
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    const bool ends = piece.back() == '\n';
    if (!inLine) {
      inLine = true;
      index = 0;
      ++line.number;
      line.start_ = offset;
      line.cache_.clear();
      line.cachedAt_ = 0;
      if (ends || piece.size() < kPieceLength) {
        line.length = piece.size() - (ends ? 1 : 0);
        line.pieces = 1;
        line.endsInCr = line.length > 0 && piece[line.length - 1] == '\r';
      } else {
        bool feed = false;
        line.length = lineLength(source, offset, reader.ahead(), piece.back(), line.endsInCr, feed);
        line.pieces = static_cast<std::uint32_t>(
            feed ? line.length / kPieceLength + 1
                 : (line.length + kPieceLength - 1) / kPieceLength);
      }
    }
    p.clear();
    p.index = index++;
    p.column = static_cast<std::uint32_t>(offset - line.start_ + 1);
    p.keepRaw(piece);
    line.held_.reset();
    if (line.pieces == 1) line.held_ = std::string_view(p.raw).substr(0, line.length);
    offset += piece.size();

    // The piece before is told by now.
    out.drop();
    notes1.start(p, piece.data());
    pass1.handleLine(piece);
    // What pass 1 wrote for the piece is still in the writer's buffer,
    // unless it was more than the buffer holds.
    if (written.text().empty()) {
      p.intermediate = out.buffered();
    } else {
      spilled = written.take();
      spilled.append(out.buffered());
      p.intermediate = spilled;
    }
    // Every intermediate line ends in a newline, so cutting this piece's
    // text alone, by the reader's rule, gives the pieces pass 2 reads from
    // the file. An instruction or a label writes one line (its tokens hold
    // no newline), which a short text holds whole.
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
    listener.piece(line, p);
    if (ends) {
      listener.lineEnds(line);
      inLine = false;
    }
  }
  if (inLine) listener.lineEnds(line);
  if (wordsAfter) *wordsAfter = pass2.wordCounter();
  if (pass1After) *pass1After = pass1.locationCounter();
  return !reader.failed();
}

}  // namespace quellmark
