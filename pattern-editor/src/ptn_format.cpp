#include "ptn_format.h"

namespace tarnwick {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

int rowCode(const Cells& cells, int row) {
  int code = 0;
  for (int c = 3; c >= 0; --c)
    code = code * 2 + (cells[static_cast<std::size_t>(4 * row + c)] ? 1 : 0);
  return code;
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// Where row r's digit stands, counted from 0: row 49 - 2k at 4k + 2 and
// row 48 - 2k at 4k.
std::size_t rowPosition(int row) {
  const int k = (49 - row) / 2;
  return static_cast<std::size_t>(row % 2 == 1 ? 4 * k + 2 : 4 * k);
}

}  // namespace

std::string encodePattern(const Cells& cells) {
  std::string line;
  line.reserve(kPatternFileSize);
  for (int odd = 49; odd > 0; odd -= 2) {
    const int even = odd - 1;
    line += kDigits[rowCode(cells, even)];
    line += '0';
    line += kDigits[rowCode(cells, odd)];
    line += '0';
  }
  line.append(32, '0');
  line += "\r\n";
  return line;
}

Cells decodePattern(std::string_view bytes) {
  Cells cells{};
  for (int row = 0; row < 50; ++row) {
    const std::size_t at = rowPosition(row);
    const int value = at < bytes.size() ? digitValue(bytes[at]) : 0;
    for (int c = 0; c < 4; ++c)
      cells[static_cast<std::size_t>(4 * row + c)] = (value >> c & 1) != 0;
  }
  return cells;
}

}  // namespace tarnwick
