// assembler: the reduced build of the assembler, without data directives.
#include <span>

#include "disk.h"

int main(int argc, char** argv) {
  quellmark::DiskFileSystem files;
  quellmark::ConsoleSink console;
  return quellmark::runAssembler(quellmark::programArguments(argc, argv), quellmark::Build::reduced,
                                 files, console);
}
