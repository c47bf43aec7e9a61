// Labels and named constants of one run, and the decimal value of a token.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chars.h"
#include "chunked.h"

namespace quellmark {

// The decimal value of a token: an optional sign, then the longest run of
// decimal digits that follows; 0 when no digit follows ("12ab" is 12, "0x10"
// is 0). A number too long for 32 bits keeps its low 32 bits.
std::int32_t decimalValue(std::string_view token);

// Reads a decimal number of that form from `text` at `at` and moves `at`
// past it. False, with `value` untouched, when no digit follows the sign.
// Inline, since pass 2 reads every register number through it.
[[gnu::always_inline]] inline bool readDecimal(std::string_view text, std::size_t& at,
                                              std::int32_t& value) {
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (negative || text[at] == '+')) ++at;
  const std::size_t digits = at;
  // Unsigned arithmetic wraps, which keeps the low 32 bits of long numbers.
  std::uint32_t magnitude = 0;
  for (; at < text.size() && isDigit(text[at]); ++at) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(text[at] - '0');
  }
  if (at == digits) return false;
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  return true;
}

// Writes the decimal text of `value` into `out` (room for 11 characters) and
// returns the view of it.
std::string_view decimalText(std::int32_t value, char (&out)[12]);

// The symbol table: every definition is kept, and a lookup yields the value
// of the latest definition of the name, so a name defined twice takes its
// later value everywhere. It has no fixed capacity.
//
// Open addressing over small slots, each the hash of a name beside the
// index of its entry; the entries (where the name is stored, its value and
// its hash) stand in the order of their definitions, and the names too. A
// probe seldom looks past the slots, so a lookup costs one hash and about
// one slot read whatever the number of symbols, and nothing is allocated
// per lookup. A name whose first byte begins no symbol is not looked for
// at all: the numbers among the operands. 150,000 symbols take about 6 MiB.
// The slots are kept at most three quarters full.
//
// Slots are read from memory, not cache, once there are tens of thousands
// of symbols, so their fetches are started early: definitions wait in a
// small batch (see below), and a lookup fetches the slots of the few names
// defined after the one it found, since a program mostly names what it
// defines nearby. A lookup may thus change the table's insides, so one
// table is not for several threads at once.
class SymbolTable {
 public:
  SymbolTable();

  // Enters `name` with `value`; a later definition of the same name
  // replaces the value. An empty name is never entered.
  void define(std::string_view name, std::int32_t value);

  // Enters `name` with `value` unless it is entered already, and then
  // returns the value it has, which stays; nothing when it is new.
  std::optional<std::int32_t> enterNew(std::string_view name, std::int32_t value);

  // Sets the value of the name entered `index`th (from 0, in the order of
  // first definition).
  void setValue(std::size_t index, std::int32_t value);

  // The value of the latest definition of `name`, or nothing.
  [[nodiscard]] std::optional<std::int32_t> lookup(std::string_view name) const;

  // The number of definitions met, repeated names included.
  [[nodiscard]] std::size_t definitions() const { return definitions_; }
  // The number of names entered: the definitions less those that repeat a
  // name.
  [[nodiscard]] std::size_t names() const {
    if (waitingCount_ != 0) enterWaiting();
    return entries_.size();
  }

 private:
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t entry = kFree;  // index into entries_
  };
  struct Entry {
    std::uint32_t name;  // where the name stands in the blocks
    std::int32_t value;
    std::uint32_t hash;
  };

  [[nodiscard]] std::string_view nameAt(std::uint32_t at) const;
  [[nodiscard]] std::size_t find(std::string_view name, std::uint32_t hash) const;
  [[nodiscard]] bool mayBegin(char c) const {
    const auto b = static_cast<unsigned char>(c);
    return (firstBytes_[b >> 6] >> (b & 63)) & 1u;
  }
  std::uint32_t store(std::string_view name) const;
  void grow() const;
  void enter(std::string_view name, std::uint32_t hash, std::int32_t value) const;
  void enterWaiting() const;

  // Definitions wait, a few at a time, before they are entered: each asks
  // for its slot to be fetched into the cache when it is made, and all are
  // entered, in order, when the batch is full or before any lookup. A slot
  // is then seldom waited for. Entering them changes no value a lookup
  // gives, so a lookup may do it.
  struct Waiting {
    std::uint32_t hash;
    std::uint32_t at;  // where the name stands in waitingNames_
    std::uint32_t size;
    std::int32_t value;
  };
  static constexpr std::size_t kBatch = 8;
  mutable std::array<Waiting, kBatch> waiting_{};
  mutable std::size_t waitingCount_ = 0;
  mutable std::string waitingNames_;

  mutable std::vector<Slot> slots_;
  mutable ChunkedVector<Entry> entries_;
  // The first bytes of the names entered, a bit for each byte value.
  std::array<std::uint64_t, 4> firstBytes_{};
  // Names, each behind its length in two bytes, in blocks of at most 1 MiB,
  // so that storing a name never copies more than one block.
  mutable std::vector<std::string> blocks_;
  std::size_t definitions_ = 0;
};

}  // namespace quellmark
