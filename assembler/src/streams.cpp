#include "streams.h"

#include <algorithm>
#include <cstring>

namespace quellmark {

std::ptrdiff_t MemorySource::read(std::span<char> into) {
  const std::size_t n = std::min(into.size(), rest_.size());
  std::copy_n(rest_.data(), n, into.data());
  rest_.remove_prefix(n);
  return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t MemoryText::readAt(std::uint64_t offset, std::span<char> into) const {
  if (offset >= text_.size()) return 0;
  const std::string_view rest = text_.substr(static_cast<std::size_t>(offset));
  const std::size_t n = std::min(into.size(), rest.size());
  std::copy_n(rest.data(), n, into.data());
  return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t SeekableReader::read(std::span<char> into) {
  if (at_ >= to_) return 0;
  if (into.size() > to_ - at_) into = into.first(static_cast<std::size_t>(to_ - at_));
  const std::ptrdiff_t n = source_.readAt(at_, into);
  if (n > 0) at_ += static_cast<std::uint64_t>(n);
  return n;
}

bool MemorySink::write(std::string_view bytes) {
  text_.append(bytes);
  return true;
}

std::span<char> beforeNul(std::span<char> piece) {
  const void* nul = std::memchr(piece.data(), '\0', piece.size());
  if (!nul) return piece;
  return piece.first(static_cast<std::size_t>(static_cast<const char*>(nul) - piece.data()));
}

void PieceReader::refill() {
  if (size_ == 0 || (size_ < kBufferSize && end_ == size_)) {
    // A larger buffer for a stream that filled it; what is left moves along.
    const std::size_t size = size_ == 0 ? kFirstSize : size_ * 2;
    auto larger = std::make_unique_for_overwrite<char[]>(size);
    if (buffer_) std::copy(buffer_.get() + begin_, buffer_.get() + end_, larger.get());
    buffer_ = std::move(larger);
    size_ = size;
  } else {
    std::copy(buffer_.get() + begin_, buffer_.get() + end_, buffer_.get());
  }
  end_ -= begin_;
  begin_ = 0;
  while (!atEnd_ && end_ < size_) {
    const std::ptrdiff_t n = source_.read(std::span(buffer_.get() + end_, size_ - end_));
    if (n <= 0) {
      atEnd_ = true;
      failed_ = n < 0;
      break;
    }
    end_ += static_cast<std::size_t>(n);
    // One read is enough as long as a whole piece is there.
    if (end_ - begin_ >= kPieceLength) break;
  }
}

void BufferedWriter::grow(std::size_t size) {
  std::size_t next = size_ == 0 ? kFirstSize : std::min(size_ * 2, kBufferSize);
  while (next < size) next *= 2;
  buffer_ = std::make_unique_for_overwrite<char[]>(next);
  size_ = next;
}

void BufferedWriter::flush() {
  if (used_ != 0 && !failed_) failed_ = !sink_.write({buffer_.get(), used_});
  // A text that filled the buffer goes on, likely: a larger one for it.
  if (used_ == size_ && size_ < kBufferSize) grow(0);
  used_ = 0;
}

void BufferedWriter::writeLarge(std::string_view bytes) {
  flush();
  if (bytes.size() > kBufferSize) {
    if (!failed_) failed_ = !sink_.write(bytes);
    return;
  }
  if (bytes.size() > size_) grow(bytes.size());
  std::memcpy(buffer_.get(), bytes.data(), bytes.size());
  used_ = bytes.size();
}

bool BufferedWriter::close() {
  flush();
  const bool closed = sink_.close();
  return !failed_ && closed;
}

}  // namespace quellmark
