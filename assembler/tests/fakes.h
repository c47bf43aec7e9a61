// Fake streams and file system for the assembler's tests.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "driver.h"
#include "streams.h"

namespace quellmark::testing_support {

// Hands out a text in reads of at most `chunk` bytes, then fails if asked to.
class ChunkedSource final : public ByteSource {
 public:
  ChunkedSource(std::string text, std::size_t chunk, bool failAtEnd = false)
      : text_(std::move(text)), chunk_(chunk), failAtEnd_(failAtEnd) {}
  std::ptrdiff_t read(std::span<char> into) override {
    if (at_ == text_.size()) return failAtEnd_ ? -1 : 0;
    const std::size_t n = std::min({into.size(), chunk_, text_.size() - at_});
    text_.copy(into.data(), n, at_);
    at_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::string text_;
  std::size_t chunk_;
  bool failAtEnd_;
  std::size_t at_ = 0;
};

// Files in memory. Names in the fail sets make the matching step fail:
// opening, reading (after the whole text), writing, or closing.
class FakeFileSystem final : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> failOpen;
  std::set<std::string> failRead;
  std::set<std::string> failWrite;
  std::set<std::string> failClose;
  int opensForRead = 0;
  int opensForWrite = 0;

  std::unique_ptr<ByteSource> openRead(const std::string& name) override {
    ++opensForRead;
    const auto file = files.find(name);
    if (failOpen.contains(name) || file == files.end()) return nullptr;
    return std::make_unique<ChunkedSource>(file->second, 4096, failRead.contains(name));
  }

  std::unique_ptr<ByteSink> openWrite(const std::string& name) override {
    ++opensForWrite;
    if (failOpen.contains(name)) return nullptr;
    files[name].clear();
    return std::make_unique<Sink>(*this, name);
  }

 private:
  class Sink final : public ByteSink {
   public:
    Sink(FakeFileSystem& fs, std::string name) : fs_(fs), name_(std::move(name)) {}
    bool write(std::string_view bytes) override {
      if (fs_.failWrite.contains(name_)) return false;
      fs_.files[name_].append(bytes);
      return true;
    }
    bool close() override { return !fs_.failClose.contains(name_); }

   private:
    FakeFileSystem& fs_;
    std::string name_;
  };
};

}  // namespace quellmark::testing_support
