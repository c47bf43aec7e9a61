#include "random_fill.h"

namespace tarnwick {

float FixedSeedRandom::next() {
  // xorshift64*, whose top 24 bits fill a float's mantissa exactly.
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  const std::uint64_t bits = (state_ * 0x2545F4914F6CDD1Du) >> 40;
  return static_cast<float>(bits) * (1.0f / 16777216.0f);
}

void randomFill(Cells& cells, RandomSource& random) {
  for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
    double x = random.next();
    if (i > 3 && x > 0.5 && cells[static_cast<std::size_t>(i - 4)]) x = 0;
    int count = 0;
    if (i % 4 > 1) {
      const int first = 4 * (i / 4);
      for (int c = first; c < first + 4; ++c) count += cells[static_cast<std::size_t>(c)] ? 1 : 0;
    }
    cells[static_cast<std::size_t>(i)] = count <= 1 && x > 0.5;
  }
}

}  // namespace tarnwick
