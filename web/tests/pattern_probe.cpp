// The pattern editor's own rules, run natively for the page's tests:
//   pattern_probe random N    the bits of N fills in a row from an empty grid
//   pattern_probe decode      the bits of the .ptn bytes on standard input
//   pattern_probe encode BITS the .ptn bytes of 200 bits ("0" and "1")
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "ptn_format.h"
#include "random_fill.h"

namespace {

std::string bits(const tarnwick::Cells& cells) {
  std::string text;
  for (const bool on : cells) text += on ? '1' : '0';
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "random" && argc == 3) {
    tarnwick::Cells cells{};
    tarnwick::FixedSeedRandom random;
    for (int i = std::atoi(argv[2]); i > 0; --i) {
      tarnwick::randomFill(cells, random);
      std::printf("%s\n", bits(cells).c_str());
    }
    return 0;
  }
  if (command == "decode") {
    const std::string bytes((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    std::printf("%s\n", bits(tarnwick::decodePattern(bytes)).c_str());
    return 0;
  }
  if (command == "encode" && argc == 3) {
    tarnwick::Cells cells{};
    for (std::size_t i = 0; i < cells.size() && argv[2][i]; ++i) cells[i] = argv[2][i] == '1';
    const std::string bytes = tarnwick::encodePattern(cells);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return 0;
  }
  std::fprintf(stderr, "usage: pattern_probe random N | decode | encode BITS\n");
  return 2;
}
