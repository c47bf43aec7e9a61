// The run of one assembler program over the files of the working directory.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "build.h"
#include "streams.h"

namespace quellmark {

// Where a run's files come from; the programs use the disk, tests a fake.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens `name` for reading; null when it cannot be opened.
  virtual std::unique_ptr<ByteSource> openRead(const std::string& name) = 0;
  // Creates or empties `name` and opens it for writing; null on failure.
  virtual std::unique_ptr<ByteSink> openWrite(const std::string& name) = 0;
};

// The source name of a run from the program's arguments (without the
// program name): "in2.asm" when there is none, else the first argument cut
// to 18 characters; further arguments are ignored.
std::string sourceName(std::span<const char* const> arguments);

inline constexpr std::string_view kImageName = "out.hex";
inline constexpr std::string_view kIntermediateName = "temp.txt";
inline constexpr std::string_view kFileError = "file error\n";
inline constexpr std::string_view kOutOfMemory = "out of memory\n";

// One run: opens the source, "out.hex" and "temp.txt" (all three before any
// check, so a missing source still leaves both outputs empty), runs pass 1,
// closes the source and "temp.txt", reopens "temp.txt", runs pass 2 and
// closes the rest. False as soon as an open, a read, a write or a close
// fails; the caller reports it as "file error\n". "temp.txt" stays behind.
[[nodiscard]] bool assembleFiles(const std::string& source, Build build, FileSystem& files);

// The arguments after the program name.
inline std::span<const char* const> programArguments(int argc, const char* const* argv) {
  if (argc < 2) return {};
  return {argv + 1, static_cast<std::size_t>(argc - 1)};
}

// The entry point of both programs: `arguments` without the program name,
// the message written to `console`; returns the exit status, 0 on success
// and 1 after "file error\n", or after "out of memory\n" when memory ran
// out (a source with more names than memory holds).
int runAssembler(std::span<const char* const> arguments, Build build, FileSystem& files,
                 ByteSink& console);

}  // namespace quellmark
