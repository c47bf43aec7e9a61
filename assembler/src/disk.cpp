#include "disk.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace quellmark {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

class FileSource final : public ByteSource {
 public:
  FileSource(FilePointer file, std::string name) : file_(std::move(file)), name_(std::move(name)) {}
  std::ptrdiff_t read(std::span<char> into) override {
    const std::size_t n = std::fread(into.data(), 1, into.size(), file_.get());
    if (n == 0 && std::ferror(file_.get())) return -1;
    return static_cast<std::ptrdiff_t>(n);
  }

#if !defined(_WIN32)
  // Text mode reads bytes as they are here, so a byte offset is a place in
  // what is read. (On Windows it is not, as line ends are translated.)
  std::optional<std::uint64_t> size() const override {
    struct stat status {};
    if (fstat(fileno(file_.get()), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
  }
  std::unique_ptr<ByteSource> openAt(std::uint64_t offset) const override {
    FilePointer file(std::fopen(name_.c_str(), "r"));
    if (!file || fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return nullptr;
    return std::make_unique<FileSource>(std::move(file), name_);
  }
#endif

 private:
  FilePointer file_;
  std::string name_;
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
  return std::make_unique<FileSource>(std::move(file), name);
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
