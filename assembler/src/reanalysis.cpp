// The analysis of an edit within one line, which walks that line alone
// when the rest of the text reads as before. Each line's findings, words,
// places and tokens come from its own pieces, the symbol table and the
// word counters before it; so while the edited line defines the same names
// with the same values, before the edit and after it, each of them nowhere
// else, and leaves both passes' word counters where they were, every other
// line reads as before.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "analysis.h"
#include "reading.h"

namespace quellmark {

namespace {

// A name a walked line defines, with its value and whether as a label.
// Where on the line it stands matters to no other line while it is the
// name's only definition.
struct Definition {
  std::string name;
  std::int32_t value = 0;
  bool label = false;
  friend bool operator==(const Definition&, const Definition&) = default;
};

// The names a walked stretch defined, in order.
class Definitions final : public LineListener {
 public:
  void piece(const SourceLine&, const SourcePiece& p) override {
    for (const SourcePiece::Defined& d : p.defined) {
      made_.push_back({std::string(d.name), d.value, p.kind == Pass1Observer::Kind::label});
    }
  }
  [[nodiscard]] std::vector<Definition>& made() { return made_; }

 private:
  std::vector<Definition> made_;
};

// Whether each of `made` is its name's only definition, with the value
// the first reading gave it (a label's is pass 1's counter, which a line
// walked alone starts from pass 2's). A name defined again gets findings on
// other lines that quote its first definition's line and its last value.
bool definedOnceAsRead(const Reading& reading, const std::vector<Definition>& made) {
  return std::ranges::all_of(made, [&](const Definition& d) {
    const std::optional<std::int32_t> index = reading.index.lookup(d.name);
    if (!index) return false;
    const NameFacts& facts = reading.walk.names()[static_cast<std::size_t>(*index)];
    return facts.definitions == 1 && facts.value == d.value;
  });
}

// A line walked alone: what it added to an analysis, and what it left
// for the lines after it.
struct Walked {
  Analysis part;
  bool read = false;
  std::vector<Definition> defines;
  std::uint32_t pass1After = 0;
  std::uint32_t pass2After = 0;
};

Walked walkLine(const Reading& reading, std::string_view text, std::uint32_t line,
                std::uint32_t wordsBefore) {
  Walked walked;
  const MemoryText source(text);
  Definitions definitions;
  // Pass 1's counter starts where pass 2's does: only its growth is
  // compared, and a label's value against the first reading's.
  const Walk::Stretch stretch{0, text.size(), line - 1, wordsBefore, wordsBefore};
  walked.read = collectStretch(reading, source, stretch, walked.part, definitions,
                               walked.pass2After, walked.pass1After);
  walked.defines = std::move(definitions.made());
  return walked;
}

// Puts the items of `line` from `from` in place of those of `to`; both are
// in the order of their lines.
template <typename Item, typename LineOf>
void replaceLine(std::vector<Item>& to, std::vector<Item>& from, std::uint32_t line, LineOf lineOf) {
  const auto first = std::partition_point(to.begin(), to.end(),
                                          [&](const Item& i) { return lineOf(i) < line; });
  const auto last = std::partition_point(first, to.end(),
                                         [&](const Item& i) { return lineOf(i) == line; });
  const auto at = to.erase(first, last);
  to.insert(at, std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

}  // namespace

void reanalyseLine(std::string_view source, Build build, Analysis& analysis, std::uint32_t line,
                   std::string_view before, std::string_view after) {
  const Reading* reading = analysis.reading.get();
  if (!reading || reading->walk.build() != build || analysis.texts || line == 0) {
    analyse(source, build, analysis);
    return;
  }
  // Pass 2's counter before the line: the address of its first word, or
  // of the first after it.
  const auto next = std::partition_point(analysis.words.begin(), analysis.words.end(),
                                         [&](const Word& w) { return w.line < line; });
  const std::uint32_t wordsBefore = next != analysis.words.end() ? next->address
                                    : analysis.words.empty()    ? 0
                                                                : analysis.words.back().address + 1;
  const Walked old = walkLine(*reading, before, line, wordsBefore);
  Walked now = walkLine(*reading, after, line, wordsBefore);
  const bool alone = old.read && now.read && old.defines == now.defines &&
                     definedOnceAsRead(*reading, old.defines) &&
                     old.pass1After == now.pass1After && old.pass2After == now.pass2After;
  if (!alone) {
    analyse(source, build, analysis);
    return;
  }
  Analysis& part = now.part;
  replaceLine(analysis.findings, part.findings, line, [](const Diagnosis& d) { return d.at.line; });
  replaceLine(analysis.words, part.words, line, [](const Word& w) { return w.line; });
  replaceLine(analysis.places, part.places, line, [](const NamePlace& p) { return p.at.line; });
  replaceLine(analysis.tokens, part.tokens, line, [](const Token& t) { return t.at.line; });
}

}  // namespace quellmark
