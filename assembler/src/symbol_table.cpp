#include "symbol_table.h"

#include "chars.h"

namespace quellmark {

std::int32_t decimalValue(std::string_view token) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  // Unsigned arithmetic wraps, which keeps the low 32 bits of long numbers.
  std::uint32_t magnitude = 0;
  for (; i < token.size() && isDigit(token[i]); ++i) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(token[i] - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
}

std::string_view decimalText(std::int32_t value, char (&out)[12]) {
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) magnitude = 0u - magnitude;
  char* end = out + sizeof out;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return {p, static_cast<std::size_t>(end - p)};
}

namespace {

constexpr std::size_t kInitialSlots = 256;  // a power of two

std::uint32_t fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

SymbolTable::SymbolTable() : slots_(kInitialSlots) {}

std::size_t SymbolTable::find(std::string_view name, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.nameLength == 0) return i;
    if (slot.hash == hash &&
        std::string_view(names_).substr(slot.nameOffset, slot.nameLength) == name) {
      return i;
    }
  }
}

void SymbolTable::define(std::string_view name, std::int32_t value) {
  if (name.empty()) return;
  ++definitions_;
  const std::uint32_t hash = fnv1a(name);
  std::size_t i = find(name, hash);
  if (slots_[i].nameLength != 0) {
    slots_[i].value = value;
    return;
  }
  if ((used_ + 1) * 2 > slots_.size()) {
    grow();
    i = find(name, hash);
  }
  slots_[i] = Slot{static_cast<std::uint32_t>(names_.size()),
                   static_cast<std::uint32_t>(name.size()), hash, value};
  names_.append(name);
  ++used_;
}

std::optional<std::int32_t> SymbolTable::lookup(std::string_view name) const {
  if (name.empty()) return std::nullopt;
  const Slot& slot = slots_[find(name, fnv1a(name))];
  if (slot.nameLength == 0) return std::nullopt;
  return slot.value;
}

void SymbolTable::grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.nameLength == 0) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].nameLength != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace quellmark
