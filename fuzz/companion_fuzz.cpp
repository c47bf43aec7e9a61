// libFuzzer target: any bytes as a source, whose listing must hold the
// image's words in both builds, whose first reading in two halves must find
// what reading it whole finds, and whose check must run clean under the
// sanitizers; and as an image of words, whose disassembly must assemble
// back to it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "checker.h"
#include "companion_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  for (const quellmark::Build build : {quellmark::Build::full, quellmark::Build::reduced}) {
    quellmark::MemorySink findings;
    quellmark::BufferedWriter out(findings);
    const auto checked =
        quellmark::checkSource("fuzz.asm", quellmark::MemoryText(source), build, out);
    (void)out.close();
    if (!checked) {
      std::fprintf(stderr, "the check could not read a source in memory\n");
      std::abort();
    }
    std::string fault = quellmark::listingFault(source, build);
    // The halves in turn: a thread per input would cost more than the
    // reading, and the tests read them at once.
    if (fault.empty()) fault = quellmark::splitFault(source, build, true);
    if (!fault.empty()) {
      std::fprintf(stderr, "%s build: %s\n", build == quellmark::Build::full ? "full" : "reduced",
                   fault.c_str());
      std::abort();
    }
  }
  // Each word is disassembled on its own, and the tests disassemble every
  // word there is: the first 4 of an input keep the way from an image to
  // its text in the fuzzer, where more would cost more than the source's
  // checks.
  std::vector<std::uint16_t> words;
  for (std::size_t i = 0; i + 1 < std::min<std::size_t>(size, 8); i += 2) {
    words.push_back(static_cast<std::uint16_t>(data[i] | data[i + 1] << 8));
  }
  const std::string fault = quellmark::disassemblyFault(words);
  if (!fault.empty()) {
    std::fprintf(stderr, "image: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
