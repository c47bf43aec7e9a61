// The bytes of a .ptn file: one line of 132 lower-case hexadecimal digits
// and CR LF. Each row is one digit (column c has the value 2^c); the line
// holds the rows bottom up in pairs, row 48 before row 49, each row digit
// followed by "0", and ends with 32 characters "0".
#pragma once

#include <string>
#include <string_view>

#include "cells.h"

namespace tarnwick {

inline constexpr std::size_t kPatternFileSize = 134;

// The 134 bytes of the file for `cells`.
std::string encodePattern(const Cells& cells);

// The cells of a file's bytes. Only the 50 row positions are read; anything
// there but "0"-"9" and "a"-"f", and a position past the end, reads as a row
// with all cells off. Every cell is set.
Cells decodePattern(std::string_view bytes);

}  // namespace tarnwick
