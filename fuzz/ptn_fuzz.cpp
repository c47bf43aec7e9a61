// libFuzzer target: any bytes as a .ptn file, read, written and read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ptn_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault =
      tarnwick::patternFault(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
