// Labels and named constants of one run, and the decimal value of a token.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chars.h"

namespace quellmark {

// The decimal value of a token: an optional sign, then the longest run of
// decimal digits that follows; 0 when no digit follows ("12ab" is 12, "0x10"
// is 0). A number too long for 32 bits keeps its low 32 bits.
std::int32_t decimalValue(std::string_view token);

// Reads a decimal number of that form from `text` at `at` and moves `at`
// past it. False, with `value` untouched, when no digit follows the sign.
// Inline, since pass 2 reads every register number through it.
inline bool readDecimal(std::string_view text, std::size_t& at, std::int32_t& value) {
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
// Open addressing over slots that hold the hash beside each name, so that a
// probe seldom looks at a name: a lookup costs one hash and about one
// comparison whatever the number of symbols, nothing is allocated per
// lookup, and 150,000 symbols take about 5 MiB. The slots are kept at most
// three quarters full.
class SymbolTable {
 public:
  SymbolTable();

  // Enters `name` with `value`; a later definition of the same name
  // replaces the value. An empty name is never entered.
  void define(std::string_view name, std::int32_t value);

  // The value of the latest definition of `name`, or nothing.
  [[nodiscard]] std::optional<std::int32_t> lookup(std::string_view name) const;

  // The number of definitions met, repeated names included.
  [[nodiscard]] std::size_t definitions() const { return definitions_; }

 private:
  // No name can stand there: a name and its length never start at a
  // block's last byte.
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
  struct Slot {
    std::uint32_t name = kFree;  // where the name stands in the blocks
    std::uint32_t hash = 0;
    std::int32_t value = 0;
  };

  [[nodiscard]] std::string_view nameAt(std::uint32_t at) const;
  [[nodiscard]] std::size_t find(std::string_view name, std::uint32_t hash) const;
  std::uint32_t store(std::string_view name);
  void grow();

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  // Names, each behind its length in two bytes, in blocks of at most 1 MiB,
  // so that storing a name never copies more than one block.
  std::vector<std::string> blocks_;
  std::size_t definitions_ = 0;
};

}  // namespace quellmark
