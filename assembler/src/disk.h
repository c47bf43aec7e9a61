// The real files of a run, through the C library's streams in text mode,
// so that each platform keeps its own line ends in "temp.txt".
#pragma once

#include <cstdio>

#include "driver.h"

namespace quellmark {

class DiskFileSystem final : public FileSystem {
 public:
  std::unique_ptr<ByteSource> openRead(const std::string& name) override;
  std::unique_ptr<ByteSink> openWrite(const std::string& name) override;
};

// Standard output as a sink.
class ConsoleSink final : public ByteSink {
 public:
  bool write(std::string_view bytes) override;
  bool close() override;
};

}  // namespace quellmark
