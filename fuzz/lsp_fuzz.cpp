// libFuzzer target: any bytes as what a client sends to the language
// server, and as a document it is asked about.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "language_server_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string fault = quellmark::serverFault(bytes, false);
  if (!fault.empty()) {
    std::fprintf(stderr, "language server: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
