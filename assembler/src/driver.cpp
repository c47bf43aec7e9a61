#include "driver.h"

#include <new>

#include "assemble.h"
#include "symbol_table.h"

namespace quellmark {

std::string sourceName(std::span<const char* const> arguments) {
  if (arguments.empty()) return "in2.asm";
  return std::string(std::string_view(arguments[0]).substr(0, 18));
}

bool assembleFiles(const std::string& source, Build build, FileSystem& files) {
  std::unique_ptr<ByteSource> input = files.openRead(source);
  std::unique_ptr<ByteSink> image = files.openWrite(std::string(kImageName));
  std::unique_ptr<ByteSink> intermediate = files.openWrite(std::string(kIntermediateName));
  if (!input || !image || !intermediate) return false;

  SymbolTable symbols;
  const bool firstPass = runPass1(*input, *intermediate, symbols, build);
  input.reset();
  if (!firstPass) return false;

  std::unique_ptr<ByteSource> again = files.openRead(std::string(kIntermediateName));
  if (!again) return false;
  return runPass2(*again, *image, symbols, build);
}

int runAssembler(std::span<const char* const> arguments, Build build, FileSystem& files,
                 ByteSink& console) {
  std::string_view message = kFileError;
  try {
    if (assembleFiles(sourceName(arguments), build, files)) return 0;
  } catch (const std::bad_alloc&) {
    // The files are closed by now; the message asks for no memory.
    message = kOutOfMemory;
  }
  (void)console.write(message);
  (void)console.close();
  return 1;
}

}  // namespace quellmark
