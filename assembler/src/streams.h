// The byte streams of a run: what the passes read from and write to, with
// in-memory versions for tests and the fuzzer, and the buffered reader that
// cuts a stream into the pieces the passes handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace quellmark {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `into.size()` bytes; returns how many, 0 at the end of the
  // stream and -1 on a read error.
  [[nodiscard]] virtual std::ptrdiff_t read(std::span<char> into) = 0;
  // Whether bytes have come that a read would return at once; false when
  // that cannot be told.
  [[nodiscard]] virtual bool ready() const { return false; }
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of `bytes`; false on a write error.
  [[nodiscard]] virtual bool write(std::string_view bytes) = 0;
  // Finishes the stream so that everything written is stored; false when
  // that fails. Nothing may be written after it.
  [[nodiscard]] virtual bool close() = 0;
  // Hands what is written on at once, for a stream that is read while it
  // is written; false when that fails.
  [[nodiscard]] virtual bool flush() { return true; }
};

// Reads from a text held in memory; never fails.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view text) : rest_(text) {}
  std::ptrdiff_t read(std::span<char> into) override;
  [[nodiscard]] bool ready() const override { return !rest_.empty(); }

 private:
  std::string_view rest_;
};

// Bytes that can be read from any place, as often as wanted: a regular
// file, a text in memory, or a stream kept after one reading. The companion
// reads a source through it several times, and shows a window of any line.
class SeekableSource {
 public:
  virtual ~SeekableSource() = default;
  // How many bytes it holds.
  [[nodiscard]] virtual std::uint64_t size() const = 0;
  // Reads up to `into.size()` bytes from `offset` on; returns how many, 0
  // past the end and -1 on a read error. Safe from several threads at once
  // when `concurrent` says so.
  [[nodiscard]] virtual std::ptrdiff_t readAt(std::uint64_t offset, std::span<char> into) const = 0;
  [[nodiscard]] virtual bool concurrent() const { return true; }
};

// A text in memory, read in place; never fails.
class MemoryText final : public SeekableSource {
 public:
  explicit MemoryText(std::string_view text) : text_(text) {}
  [[nodiscard]] std::uint64_t size() const override { return text_.size(); }
  [[nodiscard]] std::ptrdiff_t readAt(std::uint64_t offset, std::span<char> into) const override;

 private:
  std::string_view text_;
};

// Reads the bytes of a seekable source from `from` to `to` in order.
class SeekableReader final : public ByteSource {
 public:
  SeekableReader(const SeekableSource& source, std::uint64_t from, std::uint64_t to)
      : source_(source), at_(from), to_(to) {}
  explicit SeekableReader(const SeekableSource& source)
      : SeekableReader(source, 0, source.size()) {}
  std::ptrdiff_t read(std::span<char> into) override;

 private:
  const SeekableSource& source_;
  std::uint64_t at_;
  std::uint64_t to_;
};

// Collects what is written in a string; never fails.
class MemorySink final : public ByteSink {
 public:
  bool write(std::string_view bytes) override;
  bool close() override { return true; }
  [[nodiscard]] const std::string& text() const { return text_; }
  // Hands over what was written and starts afresh.
  std::string take() { return std::exchange(text_, {}); }

 private:
  std::string text_;
};

// The most a piece holds: a read takes at most 99 characters, the newline
// included, as a read with a count of 100 that keeps room for a terminator.
inline constexpr std::size_t kPieceLength = 99;

// The part of `piece` before its first NUL byte: the passes take a piece
// as a terminated text, so nothing after a NUL belongs to the line.
std::span<char> beforeNul(std::span<char> piece);

// The length of the piece at the start of `rest`, all that is left of a
// stream: through the first newline among its first 99 characters, else
// those 99 (or all of it, if fewer). The one rule of cutting, which the
// reader below follows.
inline std::size_t pieceLength(std::string_view rest) {
  const std::size_t available = rest.size() < kPieceLength ? rest.size() : kPieceLength;
  const void* newline = std::memchr(rest.data(), '\n', available);
  return newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - rest.data()) + 1
                 : available;
}

// Cuts a stream into pieces: each piece runs through the next newline, or
// holds 99 characters, or ends at the end of the stream, whichever comes
// first. So a line of 150 characters and its newline arrives as two pieces.
class PieceReader {
 public:
  explicit PieceReader(ByteSource& source) : source_(source) {}

  // The next piece, writable so that it can be normalised in place; it stays
  // valid until the next call. Empty at the end of the stream and after a
  // read error.
  std::span<char> next() {
    // The buffer holds a whole piece here, or all that is left of the
    // stream; otherwise it is refilled first.
    if (end_ - begin_ < kPieceLength && !atEnd_) refill();
    // A read error ends the stream; what came before it was handled already.
    if (failed_) return {};
    char* start = buffer_.get() + begin_;
    const std::size_t length = pieceLength({start, end_ - begin_});
    begin_ += length;
    return {start, length};
  }
  // True when the stream ended with a read error rather than at its end.
  [[nodiscard]] bool failed() const { return failed_; }
  // The bytes after the last piece that are read already: some of what
  // follows, perhaps none of it.
  [[nodiscard]] std::string_view ahead() const { return {buffer_.get() + begin_, end_ - begin_}; }

 private:
  void refill();

  // The buffer starts small and grows to its full size as the stream goes
  // on: most sources are short, and a fuzzer reads thousands a second.
  static constexpr std::size_t kFirstSize = std::size_t{1} << 12;
  static constexpr std::size_t kBufferSize = std::size_t{1} << 16;
  ByteSource& source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_ = 0;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atEnd_ = false;
  bool failed_ = false;
};

// Buffers small writes into large ones; remembers the first failure.
class BufferedWriter {
 public:
  explicit BufferedWriter(ByteSink& sink)
      : sink_(sink), buffer_(std::make_unique_for_overwrite<char[]>(kFirstSize)), size_(kFirstSize) {}
  BufferedWriter(const BufferedWriter&) = delete;
  BufferedWriter& operator=(const BufferedWriter&) = delete;

  void write(std::string_view bytes) {
    if (bytes.size() > size_ - used_) return writeLarge(bytes);
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  void put(char c) {
    if (used_ == size_) flush();
    buffer_[used_++] = c;
  }
  // Writes what is buffered and closes the sink; false if any write or the
  // close failed.
  [[nodiscard]] bool close();
  // Hands what is buffered to the sink.
  void flush();
  [[nodiscard]] bool failed() const { return failed_; }
  // What is buffered and not yet handed to the sink.
  [[nodiscard]] std::string_view buffered() const { return {buffer_.get(), used_}; }
  // Forgets what is buffered, without handing it to the sink.
  void drop() { used_ = 0; }

 private:
  void writeLarge(std::string_view bytes);
  // Makes the buffer, empty, twice as large (up to its full size), or at
  // least `size` bytes.
  void grow(std::size_t size);

  // The buffer starts small and grows each time it is handed over, to its
  // full size: most texts written are short.
  static constexpr std::size_t kFirstSize = std::size_t{1} << 12;
  static constexpr std::size_t kBufferSize = std::size_t{1} << 16;
  ByteSink& sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_ = 0;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace quellmark
