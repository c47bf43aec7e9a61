// libFuzzer target: any bytes as a source, whose layout must assemble to the
// same image and be its own layout, and whose first fixes must each mend
// their finding and add none, in both builds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "companion_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  for (const quellmark::Build build : {quellmark::Build::full, quellmark::Build::reduced}) {
    std::string fault = quellmark::formatFault(source, build);
    // The fixes in one build an input, by its length: an analysis of each
    // fix costs more than the layout's checks.
    const quellmark::Build fixed = size % 2 ? quellmark::Build::full : quellmark::Build::reduced;
    if (fault.empty() && build == fixed) fault = quellmark::fixFault(source, build, 2);
    if (!fault.empty()) {
      std::fprintf(stderr, "%s build: %s\n", build == quellmark::Build::full ? "full" : "reduced",
                   fault.c_str());
      std::abort();
    }
  }
  return 0;
}
