// A sequence that grows in chunks of a fixed size.
#pragma once

#include <cstddef>
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
    // A chunk's room is taken, not filled: most tables hold a few names.
    if (size_ % kChunk == 0) chunks_.emplace_back().reserve(kChunk);
    chunks_.back().push_back(element);
    ++size_;
  }

 private:
  std::vector<std::vector<T>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace quellmark
