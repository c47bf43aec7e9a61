// Finding a text among a few fixed ones with one probe, for the words the
// passes recognise on every line: each fixed text gets a slot of its own in
// a small table, by a multiplier that is searched for when compiling.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quellmark {

// A text of at most eight bytes as one number, its first byte lowest; a
// shorter text is padded with zero bytes, so that texts without NUL bytes
// pack to different numbers.
constexpr std::uint64_t packText(std::string_view text) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < text.size() && i < 8; ++i) {
    value |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
  }
  return value;
}

// The slot of `key` among 2^Bits slots for `multiplier`.
template <unsigned Bits>
constexpr std::size_t slotOf(std::uint64_t key, std::uint64_t multiplier) {
  return static_cast<std::size_t>((key * multiplier) >> (64 - Bits));
}

// An odd multiplier that gives each of the different `keys` a slot of its
// own among 2^Bits; compiling fails if none of the tried ones does.
template <unsigned Bits, std::size_t N>
constexpr std::uint64_t perfectMultiplier(const std::array<std::uint64_t, N>& keys) {
  for (std::uint64_t candidate = 0x9E3779B97F4A7C15u;; candidate += 0x2545F4914F6CDD1Du * 2) {
    std::array<std::uint64_t, std::size_t{1} << Bits> taken{};
    std::array<bool, std::size_t{1} << Bits> used{};
    bool apart = true;
    for (const std::uint64_t key : keys) {
      const std::size_t slot = slotOf<Bits>(key, candidate);
      if (used[slot] && taken[slot] != key) {
        apart = false;
        break;
      }
      used[slot] = true;
      taken[slot] = key;
    }
    if (apart) return candidate;
  }
}

}  // namespace quellmark
