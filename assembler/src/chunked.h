// A sequence that grows in chunks of a fixed size.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace quellmark {

// Elements in chunks of `kChunk`, so that adding one never moves the
// others: a growing vector would hold two copies for a moment and touch
// twice the memory, which for a large table costs more in page faults than
// the copying itself.
template <typename T, std::size_t kChunk = 1024>
class ChunkedVector {
 public:
  T& operator[](std::size_t i) { return chunks_[i / kChunk][i % kChunk]; }
  const T& operator[](std::size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }

  void push_back(const T& element) {
    if (size_ % kChunk == 0) chunks_.push_back(std::make_unique_for_overwrite<T[]>(kChunk));
    chunks_[size_ / kChunk][size_ % kChunk] = element;
    ++size_;
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace quellmark
