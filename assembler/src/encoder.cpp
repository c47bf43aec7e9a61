#include "encoder.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "chars.h"
#include "perfect_hash.h"

namespace quellmark {

namespace {

using Test = InstructionForm;

constexpr auto& kTests = kInstructionForms;

// No prefix begins another, so a line passes at most one test: the first
// test it passes is the only one, and its word is the word of the line.
// Nor does a prefix hold a NUL, which ends a line.
constexpr bool prefixesStandApart() {
  for (const Test& a : kTests) {
    if (a.prefix.empty() || a.prefix.find('\0') != std::string_view::npos) return false;
    for (const Test& b : kTests) {
      if (&a != &b && b.prefix.starts_with(a.prefix)) return false;
    }
  }
  return true;
}
static_assert(prefixesStandApart());

constexpr std::size_t kNoForm = std::size(kTests);

// The first four bytes of a line (fewer when it is shorter) as one number,
// and each prefix the same way with a mask of its length: a line begins
// with a prefix when the masked number equals the prefix's. A shorter line
// is padded with zero bytes, which no prefix holds, so it never passes a
// longer prefix; nor does a line with a NUL where a prefix has a letter.
static_assert(std::ranges::all_of(kTests, [](const Test& t) { return t.prefix.size() <= 4; }));

constexpr std::uint32_t headOf(std::string_view line) {
  if (line.size() < 4) return static_cast<std::uint32_t>(packText(line));
  const auto byte = [&line](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(line[i]));
  };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

struct PackedPrefix {
  std::uint32_t bytes = 1;  // an entry no line matches: its mask is 0
  std::uint32_t mask = 0;
  std::uint32_t test = 0;
};

// The candidates of a line are the tests whose prefix begins with its
// first two bytes, or with its first byte where that is a whole prefix
// ("j"): at most three ("sla", "sll", "slt"), found by one probe of a table
// made when compiling. All of them are tried without a branch, since which
// one a line passes is anybody's guess.
constexpr std::size_t kMostCandidates = 3;
constexpr unsigned kKeyBits = 6;

// The mask that cuts a line's head to its key, by its first byte.
constexpr std::array<std::uint32_t, 256> kKeyMask = [] {
  std::array<std::uint32_t, 256> masks{};
  masks.fill(0xFFFF);
  for (const Test& t : kTests) {
    if (t.prefix.size() == 1) masks[static_cast<unsigned char>(t.prefix[0])] = 0xFF;
  }
  return masks;
}();

constexpr std::uint64_t keyOf(const Test& test) {
  return packText(test.prefix.substr(0, 2));
}

constexpr std::uint64_t kKeyMultiplier = [] {
  std::array<std::uint64_t, std::size(kTests)> keys{};
  for (std::size_t t = 0; t < keys.size(); ++t) keys[t] = keyOf(kTests[t]);
  return perfectMultiplier<kKeyBits>(keys);
}();

using Candidates = std::array<PackedPrefix, kMostCandidates>;

constexpr std::array<Candidates, std::size_t{1} << kKeyBits> kCandidates = [] {
  std::array<Candidates, std::size_t{1} << kKeyBits> table{};
  std::array<std::size_t, std::size_t{1} << kKeyBits> count{};
  for (std::size_t t = 0; t < std::size(kTests); ++t) {
    const std::size_t slot = slotOf<kKeyBits>(keyOf(kTests[t]), kKeyMultiplier);
    const std::size_t length = kTests[t].prefix.size();
    table[slot][count[slot]++] = PackedPrefix{  // more than kMostCandidates would not compile
        static_cast<std::uint32_t>(packText(kTests[t].prefix)),
        static_cast<std::uint32_t>((std::uint64_t{1} << (8 * length)) - 1),
        static_cast<std::uint32_t>(t)};
  }
  return table;
}();

// The test `line` passes in `build`, or kNoForm.
std::size_t formIndex(std::string_view line, Build build) {
  if (line.empty()) return kNoForm;
  const std::uint32_t head = headOf(line);
  const std::uint32_t key = head & kKeyMask[head & 0xFF];
  // At most one test matches: the sum is its number plus one, or 0.
  std::size_t matched = 0;
  for (const PackedPrefix& p : kCandidates[slotOf<kKeyBits>(key, kKeyMultiplier)]) {
    matched += static_cast<std::size_t>((head & p.mask) == p.bytes) * (p.test + 1u);
  }
  if (matched == 0) return kNoForm;
  const std::size_t form = matched - 1;
  return kTests[form].fullBuildOnly && build != Build::full ? kNoForm : form;
}

// How much of a test's pattern its prefix has matched already: the
// mnemonic, or less for a prefix shorter than it.
constexpr std::size_t matchedLength(const Test& test) {
  return std::min(test.prefix.size(), test.pattern.find(' '));
}

// The steps of reading a line by a pattern. No step moves past a NUL, so
// reading stops at the first one, where the line ends.
[[gnu::always_inline]] inline void skipWhiteSpace(std::string_view line, std::size_t& at) {
  while (at < line.size() && isWhiteSpace(line[at])) ++at;
}

[[gnu::always_inline]] inline bool readText(std::string_view line, std::size_t& at,
                                           std::string_view& text) {
  const std::size_t start = at;
  while (at < line.size() && !isWhiteSpace(line[at]) && line[at] != '\0') ++at;
  if (at == start) return false;
  text = line.substr(start, at - start);
  return true;
}

// Shifting the unsigned image of a register number keeps two's-complement
// bits for negative numbers and is defined for any value.
constexpr std::uint32_t bits(std::int32_t value) {
  return static_cast<std::uint32_t>(value);
}

// The value of a text operand: the latest definition of the symbol, else its
// decimal value. For a branch a symbol is a target, and the value is the
// distance from the word after the branch.
std::uint32_t resolve(std::string_view text, const SymbolTable& symbols, bool branch,
                      std::uint32_t wordCounter, std::optional<std::int32_t>* found) {
  const std::optional<std::int32_t> symbol = symbols.lookup(text);
  if (found) *found = symbol;
  if (symbol) return branch ? bits(*symbol) - wordCounter - 1u : bits(*symbol);
  return bits(decimalValue(text));
}

// `found`, when given, gets the value of the text operand's symbol. Inline,
// so that each form's encoder has its own fields folded in.
[[gnu::always_inline]] inline std::uint32_t encode(const Test& test, const Operands& op, const SymbolTable& symbols,
                     std::uint32_t wordCounter, std::optional<std::int32_t>* found) {
  const FormLayout layout = layoutOf(test.form);
  std::uint32_t word = layout.opcode << 13 | test.function;
  for (std::size_t i = 0; i < layout.count; ++i) {
    const OperandField& f = layout.fields[i];
    if (f.kind == FieldKind::reg) {
      word |= bits(op.number[f.operand]) << f.shift;
      continue;
    }
    const std::uint32_t value =
        test.form == Form::data
            ? bits(op.number[f.operand])
            : resolve(op.text, symbols, f.kind == FieldKind::relative, wordCounter, found);
    word |= (value & ((1u << f.width) - 1u)) << f.shift;
  }
  return word;
}

// The reader of test T's pattern from position P on, operand N next: the
// loop of scanOperands unrolled over a pattern known when compiling, so
// that each form has a reader of its own, made from the one table. With
// `Where` it also notes where each operand's token began (`token` is where
// the token being read began), how many operands it read and where it
// stopped, as scanOperands does.
template <std::size_t T, std::size_t P, std::size_t N, bool Where>
[[gnu::always_inline]] inline void readPattern(std::string_view line, std::size_t at,
                                               std::size_t token, Operands& operands) {
  constexpr std::string_view pattern = kTests[T].pattern;
  const auto stop = [&] {
    if constexpr (Where) {
      operands.read = N;
      operands.end = at;
    }
  };
  if constexpr (P == pattern.size()) {
    stop();
  } else if constexpr (pattern[P] == ' ') {
    skipWhiteSpace(line, at);
    readPattern<T, P + 1, N, Where>(line, at, at, operands);
  } else if constexpr (pattern[P] != '%') {
    if (at >= line.size() || line[at] != pattern[P]) return stop();
    readPattern<T, P + 1, N, Where>(line, at + 1, token, operands);
  } else {
    skipWhiteSpace(line, at);
    // A number straight after a letter of the pattern ("r%d") belongs to
    // the token that letter began.
    if constexpr (P == 0 || pattern[P - 1] == ' ') token = at;
    if constexpr (pattern[P + 1] == 'd') {
      if (!readDecimal(line, at, operands.number[N])) return stop();
    } else if (!readText(line, at, operands.text)) {
      return stop();
    }
    if constexpr (Where) operands.at[N] = static_cast<std::uint32_t>(token);
    readPattern<T, P + 2, N + 1, Where>(line, at, token, operands);
  }
}

template <std::size_t T, bool Where>
Operands readForm(std::string_view line) {
  Operands operands;
  constexpr std::size_t matched = matchedLength(kTests[T]);
  readPattern<T, matched, 0, Where>(line, matched, matched, operands);
  return operands;
}

template <std::size_t T>
std::uint32_t encodeForm(std::string_view line, std::uint32_t wordCounter,
                         const SymbolTable& symbols) {
  return encode(kTests[T], readForm<T, false>(line), symbols, wordCounter, nullptr);
}

using FormEncoder = std::uint32_t (*)(std::string_view, std::uint32_t, const SymbolTable&);
using FormReader = Operands (*)(std::string_view);

// The encoders of all forms, and their readers that note where the
// operands stand, by their place in the table.
constexpr auto kEncoders = []<std::size_t... T>(std::index_sequence<T...>) {
  return std::array<FormEncoder, sizeof...(T)>{&encodeForm<T>...};
}(std::make_index_sequence<std::size(kTests)>{});

constexpr auto kReaders = []<std::size_t... T>(std::index_sequence<T...>) {
  return std::array<FormReader, sizeof...(T)>{&readForm<T, true>...};
}(std::make_index_sequence<std::size(kTests)>{});

}  // namespace

std::span<const InstructionForm> instructionForms() {
  return kTests;
}

Operands scanOperands(std::string_view line, std::string_view pattern, std::size_t matched) {
  Operands operands;
  std::size_t at = matched;
  std::size_t position = 0;
  // Where the token now being read began: after the white space before
  // its first letter ("r" of a register) or its number.
  std::size_t token = at;
  const auto stop = [&] {
    operands.read = static_cast<std::uint32_t>(position);
    operands.end = at;
    return operands;
  };
  for (std::size_t p = matched; p < pattern.size(); ++p) {
    if (pattern[p] == ' ') {
      skipWhiteSpace(line, at);
      token = at;
      continue;
    }
    if (pattern[p] != '%') {
      if (at >= line.size() || line[at] != pattern[p]) return stop();
      ++at;
      continue;
    }
    const char conversion = pattern[++p];
    skipWhiteSpace(line, at);
    // A number straight after a letter of the pattern ("r%d") belongs to the
    // token that letter began.
    if (!(p >= 2 && pattern[p - 2] != ' ')) token = at;
    if (conversion == 'd') {
      if (!readDecimal(line, at, operands.number[position])) return stop();
    } else if (!readText(line, at, operands.text)) {
      return stop();
    }
    operands.at[position] = static_cast<std::uint32_t>(token);
    ++position;
  }
  return stop();
}

const InstructionForm* formOf(std::string_view line, Build build) {
  const std::size_t form = formIndex(line, build);
  return form == kNoForm ? nullptr : &kTests[form];
}

Operands readOperands(const InstructionForm& form, std::string_view line) {
  return kReaders[static_cast<std::size_t>(&form - kTests)](line);
}

std::uint16_t encodeLine(std::string_view line, std::uint32_t wordCounter,
                         const SymbolTable& symbols, Build build, EncodeObserver* observer) {
  // Each form's own reader stops at a NUL by itself.
  const std::size_t form = formIndex(line, build);
  if (form == kNoForm) return 0;
  if (!observer) {
    return static_cast<std::uint16_t>(kEncoders[form](line, wordCounter, symbols) & 0xFFFFu);
  }
  // The form's reader that also tells where each operand stands.
  const Test& test = kTests[form];
  const Operands operands = kReaders[form](line);
  std::optional<std::int32_t> symbol;
  const auto word =
      static_cast<std::uint16_t>(encode(test, operands, symbols, wordCounter, &symbol) & 0xFFFFu);
  observer->matched(test, operands, symbol);
  return word;
}

}  // namespace quellmark
