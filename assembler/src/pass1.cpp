#include "pass1.h"

#include <algorithm>
#include <string_view>

#include "encoder.h"
#include "normaliser.h"
#include "perfect_hash.h"

namespace quellmark {

namespace {

// What the first token of a line makes of it, when it is one of the words
// pass 1 knows; any other first token is a label.
enum class Word : std::uint8_t { none, mnemonic, words, bytes, define };

struct KnownWord {
  std::string_view text;
  Word word;
};

// The mnemonics of the instruction forms (all but the data line "num",
// which no source line may start), and the three directives.
constexpr std::size_t kMnemonics =
    static_cast<std::size_t>(std::ranges::count_if(kInstructionForms, [](const InstructionForm& f) {
      return f.form != Form::data;
    }));

constexpr std::array<KnownWord, kMnemonics + 3> kKnownWords = [] {
  std::array<KnownWord, kMnemonics + 3> words{};
  std::size_t n = 0;
  for (const InstructionForm& f : kInstructionForms) {
    if (f.form != Form::data) words[n++] = KnownWord{f.mnemonic(), Word::mnemonic};
  }
  words[n++] = KnownWord{"dw", Word::words};
  words[n++] = KnownWord{"db", Word::bytes};
  words[n++] = KnownWord{"define", Word::define};
  return words;
}();

constexpr unsigned kWordBits = 6;

// The masks of the low 0 to 8 bytes of a number.
constexpr std::array<std::uint64_t, 9> kLowBytes = {
    0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFF, 0xFFFFFFFFFFFF, 0xFFFFFFFFFFFFFF,
    0xFFFFFFFFFFFFFFFF};

constexpr std::uint64_t kWordMultiplier = [] {
  std::array<std::uint64_t, std::size(kKnownWords)> keys{};
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = packText(kKnownWords[i].text);
  return perfectMultiplier<kWordBits>(keys);
}();

struct WordSlot {
  std::uint64_t key = 0;
  Word word = Word::none;
};

constexpr std::array<WordSlot, std::size_t{1} << kWordBits> kWordSlots = [] {
  std::array<WordSlot, std::size_t{1} << kWordBits> slots{};
  for (const KnownWord& w : kKnownWords) {
    const std::uint64_t key = packText(w.text);
    slots[slotOf<kWordBits>(key, kWordMultiplier)] = WordSlot{key, w.word};
  }
  return slots;
}();

// The known word `token` is, by one probe; a token holds no NUL. When
// eight bytes from its start are in `line`, they are taken at once.
Word knownWord(std::string_view token, std::string_view line) {
  if (token.size() > 8) return Word::none;
  const std::size_t room = static_cast<std::size_t>(line.data() + line.size() - token.data());
  const std::uint64_t key = room >= 8 ? load8(token.data()) & kLowBytes[token.size()]
                                      : packText(token);
  const WordSlot& slot = kWordSlots[slotOf<kWordBits>(key, kWordMultiplier)];
  return slot.key == key ? slot.word : Word::none;
}

}  // namespace

bool isMnemonic(std::string_view token) {
  return !token.empty() && token.find('\0') == std::string_view::npos &&
         knownWord(token, token) == Word::mnemonic;
}

void Pass1::handleLine(std::span<char> piece) {
  const std::string_view line = normalise(piece);  // which ends at a NUL
  TokenSplitter tokens(line);
  const std::string_view first = tokens.first();
  using Kind = Pass1Observer::Kind;
  if (first.empty()) {  // blank or comment only: leaves no trace
    note(Kind::blank, line, first);
    return;
  }

  Word word = knownWord(first, line);
  // Only the full build knows the data directives.
  if ((word == Word::words || word == Word::bytes) && build_ != Build::full) word = Word::none;
  switch (word) {
    case Word::mnemonic:
      note(Kind::instruction, line, first);
      write(line);
      put('\n');
      ++counter_;
      break;
    case Word::words:
      note(Kind::words, line, first);
      expandWords(tokens);
      break;
    case Word::bytes:
      note(Kind::bytes, line, first);
      expandBytes(tokens);
      break;
    case Word::define:
      note(Kind::define, line, first);
      define(tokens);
      break;
    case Word::none:
      note(Kind::label, line, first);
      label(first, tokens);
      break;
  }
}

void Pass1::writeDataLine(std::string_view number) {
  write("num ");
  write(number);
  put('\n');
  ++counter_;
}

// "dw 5 -1" gives the data lines "num 5" and "num -1", the values copied as
// written; without values it gives one empty line.
void Pass1::expandWords(TokenSplitter& tokens) {
  std::string_view value = tokens.next();
  if (value.empty()) put('\n');
  for (; !value.empty(); value = tokens.next()) writeDataLine(value);
}

// "db 1 2 3" packs two bytes a word, the first one high, and an odd last byte
// fills the high half alone: "num 258", "num 768", then an empty line.
void Pass1::expandBytes(TokenSplitter& tokens) {
  for (std::string_view high = tokens.next(); !high.empty(); high = tokens.next()) {
    const std::string_view low = tokens.next();
    const std::uint32_t word = (static_cast<std::uint32_t>(decimalValue(high)) & 0xFFu) << 8 |
                               (static_cast<std::uint32_t>(decimalValue(low)) & 0xFFu);
    char text[12];
    writeDataLine(decimalText(static_cast<std::int32_t>(word), text));
    if (low.empty()) break;
  }
  put('\n');
}

// "define max 10": a line without a name defines nothing, one without a
// value defines 0.
void Pass1::define(TokenSplitter& tokens) {
  const std::string_view name = tokens.next();
  if (name.empty()) return;
  defineSymbol(name, decimalValue(tokens.next()));
}

// Any other first token is a label for the next word; what follows it is
// carried over, each token followed by one blank. A label alone on its line
// writes an empty line, which is a word only in the reduced build.
void Pass1::label(std::string_view name, TokenSplitter& tokens) {
  defineSymbol(name, static_cast<std::int32_t>(counter_));
  bool any = false;
  for (std::string_view token = tokens.next(); !token.empty(); token = tokens.next()) {
    write(token);
    put(' ');
    any = true;
  }
  put('\n');
  if (any || build_ == Build::reduced) ++counter_;
}

}  // namespace quellmark
