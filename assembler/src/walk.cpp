#include "walk.h"

#include "assemble.h"
#include "chars.h"

namespace quellmark {

bool isPlainDecimal(std::string_view token) {
  if (!token.empty() && (token[0] == '-' || token[0] == '+')) token.remove_prefix(1);
  if (token.empty()) return false;
  for (const char c : token) {
    if (!isDigit(c)) return false;
  }
  return true;
}

std::uint32_t SourcePiece::columnOf(std::size_t offset) const {
  if (offset < origins.size()) return column + origins[offset];
  if (origins.empty()) return column;
  return column + origins.back() + 1;
}

namespace {

// Collects what is written, to be taken piece by piece.
class StringSink final : public ByteSink {
 public:
  bool write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  bool close() override { return true; }
  std::string text;
};

// Notes what pass 1 does with the piece being read.
class Pass1Notes final : public Pass1Observer {
 public:
  void start(SourcePiece& piece, std::uint32_t line, const char* base) {
    piece_ = &piece;
    line_ = line;
    base_ = base;
  }
  void classified(Kind kind, std::string_view, std::string_view first) override {
    piece_->kind = kind;
    piece_->first = std::string(first);
  }
  void defined(std::string_view name, std::int32_t value) override {
    const auto offset = static_cast<std::size_t>(name.data() - base_);
    piece_->defined.push_back(
        {Definition{std::string(name), value, line_, piece_->columnOf(offset)}, offset});
  }

 private:
  SourcePiece* piece_ = nullptr;
  std::uint32_t line_ = 0;
  const char* base_ = nullptr;
};

class Pass2Notes final : public EncodeObserver {
 public:
  void start(IntermediatePiece& piece) { piece_ = &piece; }
  void matched(const InstructionForm& form, const Operands& operands) override {
    piece_->matches.push_back({&form, operands});
  }

 private:
  IntermediatePiece* piece_ = nullptr;
};

// Cuts the source into pieces as the assembler does and groups them into
// lines, handing each piece to `handle` and each finished line to `done`.
template <typename Handle, typename Done>
bool readLines(ByteSource& source, Handle handle, Done done) {
  PieceReader reader(source);
  SourceLine line;
  std::uint32_t number = 1;
  line.number = number;
  std::uint32_t column = 1;
  for (std::span<char> piece = reader.next(); !piece.empty(); piece = reader.next()) {
    const bool ends = piece.back() == '\n';
    line.text.append(piece.data(), ends ? piece.size() - 1 : piece.size());
    SourcePiece& p = line.pieces.emplace_back();
    p.column = column;
    p.raw.assign(piece.data(), piece.size());
    column += static_cast<std::uint32_t>(piece.size());
    handle(line, p, piece);
    if (!ends) continue;
    done(line);
    line = SourceLine{};
    line.number = ++number;
    column = 1;
  }
  if (!line.pieces.empty()) done(line);
  return !reader.failed();
}

// The normalised text of a piece and where each of its bytes came from,
// by the assembler's own normaliser.
void normaliseNoting(SourcePiece& p, std::span<char> piece) {
  const std::span<char> text = beforeNul(piece);
  p.normalised.assign(text.data(), text.size());
  p.origins.resize(text.size());
  p.normalised.resize(normalise(p.normalised, p.origins).size());
  p.origins.resize(p.normalised.size());
}

}  // namespace

bool Walk::collect(const SourceOpener& open) {
  const std::unique_ptr<ByteSource> source = open();
  if (!source) return false;
  StringSink discard;
  BufferedWriter out(discard);
  Pass1Notes notes;
  Pass1 pass(build_, symbols_, out, &notes);
  return readLines(
      *source,
      [&](SourceLine& line, SourcePiece& p, std::span<char> piece) {
        normaliseNoting(p, piece);
        notes.start(p, line.number, piece.data());
        pass.handleLine(piece);
        for (const auto& [definition, offset] : p.defined) definitions_.push_back(definition);
        out.flush();
        discard.text.clear();
      },
      [](const SourceLine&) {});
}

bool Walk::walk(const SourceOpener& open,
                const std::function<void(const SourceLine&)>& tell) const {
  const std::unique_ptr<ByteSource> source = open();
  if (!source) return false;
  // Pass 1 runs again for the intermediate text of each line; its own table
  // is a scratch one, as pass 2 takes the table of the first reading.
  SymbolTable scratch;
  StringSink written;
  BufferedWriter out(written);
  Pass1Notes notes1;
  Pass1 pass1(build_, scratch, out, &notes1);
  Pass2Notes notes2;
  Pass2 pass2(symbols_, build_, &notes2);
  return readLines(
      *source,
      [&](SourceLine& line, SourcePiece& p, std::span<char> piece) {
        normaliseNoting(p, piece);
        notes1.start(p, line.number, piece.data());
        pass1.handleLine(piece);
        out.flush();
        p.intermediate = std::move(written.text);
        written.text.clear();
        // Every intermediate line ends in a newline, so cutting this
        // piece's text alone gives the pieces pass 2 reads from the file.
        MemorySource again(p.intermediate);
        PieceReader reader(again);
        for (std::span<char> q = reader.next(); !q.empty(); q = reader.next()) {
          IntermediatePiece& w = p.words.emplace_back();
          w.text.assign(q.data(), q.size());
          w.address = pass2.wordCounter();
          notes2.start(w);
          w.word = pass2.handleLine(std::span<char>(w.text.data(), w.text.size()));
        }
      },
      tell);
}

}  // namespace quellmark
