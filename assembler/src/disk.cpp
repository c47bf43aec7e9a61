#include "disk.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

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

std::string said(const char* verb, const std::string& name, int error) {
  return std::string("cannot ") + verb + " '" + shownName(name) +
         "': " + (error ? std::strerror(error) : "read error");
}

#if !defined(_WIN32)
// A regular file, read where it lies, from any thread.
class SeekableFile final : public SeekableSource {
 public:
  SeekableFile(int descriptor, std::uint64_t size) : descriptor_(descriptor), size_(size) {}
  ~SeekableFile() override { ::close(descriptor_); }
  SeekableFile(const SeekableFile&) = delete;
  SeekableFile& operator=(const SeekableFile&) = delete;

  std::uint64_t size() const override { return size_; }
  std::ptrdiff_t readAt(std::uint64_t offset, std::span<char> into) const override {
    if (offset >= size_) return 0;
    if (into.size() > size_ - offset) into = into.first(static_cast<std::size_t>(size_ - offset));
    for (;;) {
      const ssize_t n = ::pread(descriptor_, into.data(), into.size(), static_cast<off_t>(offset));
      if (n >= 0 || errno != EINTR) return n;
    }
  }

 private:
  int descriptor_;
  std::uint64_t size_;
};
#endif

// Bytes kept after one reading of a stream: the first ones in memory,
// the rest, when there is more than memory may hold, in a temporary file
// that no name reaches.
class KeptStream final : public SeekableSource {
 public:
  ~KeptStream() override {
    if (file_) std::fclose(file_);
  }
  KeptStream() = default;
  KeptStream(const KeptStream&) = delete;
  KeptStream& operator=(const KeptStream&) = delete;

  // Reads all of `in`; the problem, or empty.
  std::string keep(std::FILE* in, const std::string& name, std::size_t inMemory) {
    std::vector<char> chunk(std::size_t{1} << 16);
    for (;;) {
      const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), in);
      if (n == 0) {
        if (std::ferror(in)) return said("read", name, errno);
        break;
      }
      if (!file_ && memory_.size() + n > inMemory) {
        if (std::string problem = moveToFile(name); !problem.empty()) return problem;
      }
      if (!file_) {
        memory_.append(chunk.data(), n);
      } else if (std::fwrite(chunk.data(), 1, n, file_) != n) {
        return said("keep", name, errno);
      }
      size_ += n;
    }
    if (file_ && std::fflush(file_) != 0) return said("keep", name, errno);
    return {};
  }

  std::uint64_t size() const override { return size_; }
  std::ptrdiff_t readAt(std::uint64_t offset, std::span<char> into) const override {
    if (!file_) return MemoryText(memory_).readAt(offset, into);
    if (offset >= size_) return 0;
    if (into.size() > size_ - offset) into = into.first(static_cast<std::size_t>(size_ - offset));
#if defined(_WIN32)
    if (_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0) return -1;
    const std::size_t n = std::fread(into.data(), 1, into.size(), file_);
    return n == 0 && std::ferror(file_) ? -1 : static_cast<std::ptrdiff_t>(n);
#else
    for (;;) {
      const ssize_t n = ::pread(fileno(file_), into.data(), into.size(), static_cast<off_t>(offset));
      if (n >= 0 || errno != EINTR) return n;
    }
#endif
  }
#if defined(_WIN32)
  bool concurrent() const override { return file_ == nullptr; }
#endif

 private:
  // Opens the temporary file, which is removed at once, and moves what
  // memory holds into it.
  std::string moveToFile(const std::string& name) {
#if defined(_WIN32)
    file_ = std::tmpfile();
#else
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder && *folder ? folder : "/tmp") + "/quellmark-XXXXXX";
    const int descriptor = ::mkstemp(path.data());
    if (descriptor >= 0) {
      ::unlink(path.c_str());
      file_ = ::fdopen(descriptor, "w+b");
      if (!file_) ::close(descriptor);
    }
#endif
    if (!file_) return said("keep", name, errno);
    if (std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size()) {
      return said("keep", name, errno);
    }
    std::string().swap(memory_);
    return {};
  }

  std::string memory_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace

std::string shownName(const std::string& name) {
  return name == "-" ? "<stdin>" : name;
}

OpenedSource openSource(const std::string& name, std::size_t keptInMemory) {
  OpenedSource opened;
  std::FILE* in = stdin;
  FilePointer file;
  if (name != "-") {
    errno = 0;
    file.reset(std::fopen(name.c_str(), "r"));
    if (!file) {
      opened.problem = said("open", name, errno);
      return opened;
    }
    in = file.get();
  }
  struct stat status {};
  if (fstat(fileno(in), &status) != 0) {
    opened.problem = said("read", name, errno);
    return opened;
  }
  if (S_ISDIR(status.st_mode)) {
    opened.problem = said("read", name, EISDIR);
    return opened;
  }
#if !defined(_WIN32)
  if (S_ISREG(status.st_mode)) {
    // Its own descriptor, so that the stream's buffer plays no part.
    const int descriptor = ::dup(fileno(in));
    if (descriptor < 0) {
      opened.problem = said("open", name, errno);
      return opened;
    }
    opened.source = std::make_unique<SeekableFile>(descriptor, static_cast<std::uint64_t>(status.st_size));
    return opened;
  }
#endif
  auto kept = std::make_unique<KeptStream>();
  opened.problem = kept->keep(in, name, keptInMemory);
  if (opened.problem.empty()) opened.source = std::move(kept);
  return opened;
}

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

void standardInputAsIs() {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
#endif
}

std::optional<std::string> readBytes(const std::string& name, std::string& problem) {
  errno = 0;
  FilePointer file(std::fopen(name.c_str(), "rb"));
  if (!file) {
    problem = said("open", name, errno);
    return std::nullopt;
  }
  std::string bytes;
  std::vector<char> chunk(std::size_t{1} << 16);
  std::size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) bytes.append(chunk.data(), n);
  if (std::ferror(file.get())) {
    problem = said("read", name, errno ? errno : EIO);
    return std::nullopt;
  }
  return bytes;
}

void standardOutputAsIs() {
  std::fflush(stdout);
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool ConsoleSink::write(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

ConsoleSource::ConsoleSource() {
#if defined(_WIN32)
  // Text mode would take a CR LF for a line feed, and the counts of bytes
  // in a header would no longer hold.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// What has come so far, without waiting for the whole buffer to fill, as
// a client waits for the answer to what it sent.
std::ptrdiff_t ConsoleSource::read(std::span<char> into) {
#if defined(_WIN32)
  const int n = _read(_fileno(stdin), into.data(), static_cast<unsigned>(into.size()));
  return n < 0 ? -1 : n;
#else
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, into.data(), into.size());
    if (n >= 0 || errno != EINTR) return n;
  }
#endif
}

bool ConsoleSource::ready() const {
#if defined(_WIN32)
  return false;
#else
  pollfd in{STDIN_FILENO, POLLIN, 0};
  return ::poll(&in, 1, 0) > 0 && (in.revents & (POLLIN | POLLHUP)) != 0;
#endif
}

bool ConsoleSink::close() {
  return std::fflush(stdout) == 0;
}

}  // namespace quellmark
