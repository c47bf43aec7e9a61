// libFuzzer target: any bytes as an assembler source, through both builds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "assembler_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  for (const quellmark::Build build : {quellmark::Build::full, quellmark::Build::reduced}) {
    const std::string fault = quellmark::assemblyFault(source, build);
    if (!fault.empty()) {
      std::fprintf(stderr, "%s build: %s\n", build == quellmark::Build::full ? "full" : "reduced",
                   fault.c_str());
      std::abort();
    }
  }
  return 0;
}
