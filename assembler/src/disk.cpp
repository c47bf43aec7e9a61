#include "disk.h"

namespace quellmark {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

class FileSource final : public ByteSource {
 public:
  explicit FileSource(FilePointer file) : file_(std::move(file)) {}
  std::ptrdiff_t read(std::span<char> into) override {
    const std::size_t n = std::fread(into.data(), 1, into.size(), file_.get());
    if (n == 0 && std::ferror(file_.get())) return -1;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  FilePointer file_;
};

class FileSink final : public ByteSink {
 public:
  explicit FileSink(FilePointer file) : file_(std::move(file)) {}
  bool write(std::string_view bytes) override {
    return file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
  }
  bool close() override {
    if (!file_) return false;
    const bool flushed = std::fflush(file_.get()) == 0 && !std::ferror(file_.get());
    return std::fclose(file_.release()) == 0 && flushed;
  }

 private:
  FilePointer file_;
};

}  // namespace

std::unique_ptr<ByteSource> DiskFileSystem::openRead(const std::string& name) {
  FilePointer file(std::fopen(name.c_str(), "r"));
  if (!file) return nullptr;
  return std::make_unique<FileSource>(std::move(file));
}

std::unique_ptr<ByteSink> DiskFileSystem::openWrite(const std::string& name) {
  FilePointer file(std::fopen(name.c_str(), "w"));
  if (!file) return nullptr;
  return std::make_unique<FileSink>(std::move(file));
}

bool ConsoleSink::write(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

bool ConsoleSink::close() {
  return std::fflush(stdout) == 0;
}

}  // namespace quellmark
