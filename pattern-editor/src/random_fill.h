// The random fill of "Randomize!".
#pragma once

#include <cstdint>

#include "cells.h"

namespace tarnwick {

// Single-precision numbers uniform in [0, 1): 24 random bits scaled by
// 2^-24, from a fixed starting state that is never reseeded, so the same
// sequence follows every start of the program.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual float next() = 0;
};

class FixedSeedRandom final : public RandomSource {
 public:
  float next() override;

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15u;
};

// Fills `cells` in one pass from cell 0 to 199, drawing exactly one number
// per cell. A cell below an on cell is not turned on by a number above 0.5;
// a cell in column 2 or 3 is off when its row already has two or more cells
// on, counted over the row as it stands at that moment (earlier cells of the
// row new, the rest as before the fill); otherwise a cell is on exactly
// when its number is above 0.5.
void randomFill(Cells& cells, RandomSource& random);

}  // namespace tarnwick
