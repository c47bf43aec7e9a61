// The 200 cells of a pattern as plain states, for the logic that needs no
// window: cell i is in row i / 4 (row 0 at the top) and column i % 4.
#pragma once

#include <array>

namespace tarnwick {

using Cells = std::array<bool, 200>;

}  // namespace tarnwick
