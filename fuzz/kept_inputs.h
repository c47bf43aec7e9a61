// The inputs kept for a fuzz target: its corpus and every input that ever
// found a fault, for the tests to check as the fuzzer does.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// Calls `check(path, bytes)` for each file of corpus/TARGET and
// regressions/TARGET below `fuzzDir` (their README.md aside) and returns how
// many there were.
template <typename Check>
int forEachKeptInput(const std::filesystem::path& fuzzDir, const std::string& target, Check check) {
  int inputs = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    for (const auto& entry : std::filesystem::directory_iterator(fuzzDir / kind / target)) {
      if (entry.path().filename() == "README.md") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      check(entry.path(), bytes.str());
      ++inputs;
    }
  }
  return inputs;
}
