// brennor: the full build of the assembler, with the data directives.
#include <span>

#include "disk.h"

int main(int argc, char** argv) {
  quellmark::DiskFileSystem files;
  quellmark::ConsoleSink console;
  return quellmark::runAssembler(quellmark::programArguments(argc, argv), quellmark::Build::full,
                                 files, console);
}
