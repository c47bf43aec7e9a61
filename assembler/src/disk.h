// The real files of a run, through the C library's streams in text mode,
// so that each platform keeps its own line ends in "temp.txt".
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "driver.h"

namespace quellmark {

class DiskFileSystem final : public FileSystem {
 public:
  std::unique_ptr<ByteSource> openRead(const std::string& name) override;
  std::unique_ptr<ByteSink> openWrite(const std::string& name) override;
};

// A source of the companion, by the name its command line gives: "-" is
// standard input. A regular file is read where it lies. Anything else (a
// pipe, a FIFO, a device; on Windows any file, whose text mode moves the
// bytes) is read once and kept: in memory up to `keptInMemory` bytes, beyond
// that in a temporary file in $TMPDIR that is gone when the program ends,
// whichever way it ends. Without a source, `problem` says why ("cannot open
// 'x': No such file or directory").
struct OpenedSource {
  std::unique_ptr<SeekableSource> source;
  std::string problem;
};
inline constexpr std::size_t kKeptInMemory = std::size_t{4} << 20;
OpenedSource openSource(const std::string& name, std::size_t keptInMemory = kKeptInMemory);

// How a source is named in messages: "<stdin>" for "-".
std::string shownName(const std::string& name);

// From now on standard output takes bytes as they are: a source written
// there keeps its line ends (on Windows, text mode would make a CR LF of a
// line feed, and CR CR LF of a CR LF).
void standardOutputAsIs();

// From now on standard input gives its bytes as they are.
void standardInputAsIs();

// The bytes of the file `name` as they are (on Windows too, where the
// assembler reads a source in text mode), for a command that rewrites it;
// nothing, with the reason in `problem`, when it cannot be read.
std::optional<std::string> readBytes(const std::string& name, std::string& problem);

// Standard output as a sink.
class ConsoleSink final : public ByteSink {
 public:
  bool write(std::string_view bytes) override;
  bool close() override;
  bool flush() override { return close(); }
};

// Standard input as a source, its bytes as they are, each read returning
// as soon as any have come.
class ConsoleSource final : public ByteSource {
 public:
  ConsoleSource();
  std::ptrdiff_t read(std::span<char> into) override;
  [[nodiscard]] bool ready() const override;
};

}  // namespace quellmark
