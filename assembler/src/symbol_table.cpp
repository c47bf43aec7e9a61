#include "symbol_table.h"

#include "chars.h"

namespace quellmark {

std::int32_t decimalValue(std::string_view token) {
  std::size_t at = 0;
  std::int32_t value = 0;
  (void)readDecimal(token, at, value);  // no digits: 0
  return value;
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
constexpr std::size_t kBlockBits = 20;      // blocks of 1 MiB
constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
// Tokens come from pieces of at most 99 characters; a name longer than this
// (only a caller other than pass 1 could give one) is known by its start.
constexpr std::size_t kLongestName = 0xFFFF;
// How many names defined after a name found are fetched ahead.
constexpr std::size_t kAhead = 4;

std::uint32_t fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  // The index takes the low bits, which the multiplications above leave
  // poorly mixed for names that differ only at the end ("loop1", "loop2").
  hash ^= hash >> 16;
  hash *= 0x85EBCA6Bu;
  hash ^= hash >> 13;
  return hash;
}

}  // namespace

// The slots are made with the first name: many tables stay empty.
SymbolTable::SymbolTable() = default;

std::string_view SymbolTable::nameAt(std::uint32_t at) const {
  const std::string& block = blocks_[at >> kBlockBits];
  const std::size_t offset = at & (kBlockSize - 1);
  const std::size_t length = static_cast<unsigned char>(block[offset]) |
                             static_cast<std::size_t>(static_cast<unsigned char>(block[offset + 1]))
                                 << 8;
  return std::string_view(block).substr(offset + 2, length);
}

std::size_t SymbolTable::find(std::string_view name, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.entry == kFree) return i;
    if (slot.hash != hash) continue;
    const std::string_view stored = nameAt(entries_[slot.entry].name);
    if (stored.size() == name.size() && sameBytes(stored.data(), name.data(), name.size())) {
      return i;
    }
  }
}

std::uint32_t SymbolTable::store(std::string_view name) const {
  const std::size_t need = name.size() + 2;
  if (blocks_.empty() || blocks_.back().size() + need > kBlockSize) blocks_.emplace_back();
  std::string& block = blocks_.back();
  const auto at = static_cast<std::uint32_t>((blocks_.size() - 1) << kBlockBits | block.size());
  block.push_back(static_cast<char>(name.size() & 0xFF));
  block.push_back(static_cast<char>(name.size() >> 8));
  block.append(name);
  return at;
}

void SymbolTable::define(std::string_view name, std::int32_t value) {
  if (name.empty()) return;
  name = name.substr(0, kLongestName);
  ++definitions_;
  if (slots_.empty()) slots_.resize(kInitialSlots);
  if (waitingCount_ == kBatch) enterWaiting();
  const std::uint32_t hash = fnv1a(name);
#if defined(__GNUC__)
  __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
#endif
  waiting_[waitingCount_++] = Waiting{hash, static_cast<std::uint32_t>(waitingNames_.size()),
                                      static_cast<std::uint32_t>(name.size()), value};
  waitingNames_.append(name);
  const auto first = static_cast<unsigned char>(name[0]);
  firstBytes_[first >> 6] |= std::uint64_t{1} << (first & 63);
}

std::optional<std::int32_t> SymbolTable::enterNew(std::string_view name, std::int32_t value) {
  if (name.empty()) return std::nullopt;
  if (waitingCount_ != 0) enterWaiting();
  name = name.substr(0, kLongestName);
  if (slots_.empty()) slots_.resize(kInitialSlots);
  const std::uint32_t hash = fnv1a(name);
  const Slot& slot = slots_[find(name, hash)];
  if (slot.entry != kFree) return entries_[slot.entry].value;
  ++definitions_;
  enter(name, hash, value);
  const auto first = static_cast<unsigned char>(name[0]);
  firstBytes_[first >> 6] |= std::uint64_t{1} << (first & 63);
  return std::nullopt;
}

void SymbolTable::setValue(std::size_t index, std::int32_t value) {
  if (waitingCount_ != 0) enterWaiting();
  entries_[index].value = value;
}

void SymbolTable::enterWaiting() const {
  for (std::size_t w = 0; w < waitingCount_; ++w) {
    const Waiting& d = waiting_[w];
    enter(std::string_view(waitingNames_).substr(d.at, d.size), d.hash, d.value);
  }
  waitingCount_ = 0;
  waitingNames_.clear();
}

void SymbolTable::enter(std::string_view name, std::uint32_t hash, std::int32_t value) const {
  std::size_t i = find(name, hash);
  if (slots_[i].entry != kFree) {
    entries_[slots_[i].entry].value = value;
    return;
  }
  if ((entries_.size() + 1) * 4 > slots_.size() * 3) {
    grow();
    i = find(name, hash);
  }
  slots_[i] = Slot{hash, static_cast<std::uint32_t>(entries_.size())};
  entries_.push_back(Entry{store(name), value, hash});
}

std::optional<std::int32_t> SymbolTable::lookup(std::string_view name) const {
  if (name.empty() || !mayBegin(name[0])) return std::nullopt;
  if (waitingCount_ != 0) enterWaiting();
  name = name.substr(0, kLongestName);
  const Slot& slot = slots_[find(name, fnv1a(name))];
  if (slot.entry == kFree) return std::nullopt;
  // A program names mostly what it defines near where it names it: the
  // slots of the next few names defined are fetched into the cache while
  // the caller goes on, for the lookups likely to follow.
#if defined(__GNUC__)
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t e = slot.entry + 1; e < entries_.size() && e <= slot.entry + kAhead; ++e) {
    __builtin_prefetch(&slots_[entries_[e].hash & mask]);
  }
#endif
  return entries_[slot.entry].value;
}

void SymbolTable::grow() const {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.entry == kFree) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].entry != kFree) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace quellmark
