// A sequence that grows in chunks of a fixed size.
#pragma once

#include <cstddef>
#include <vector>

namespace quellmark {

// Elements in chunks of `kChunk`, so that a large table never moves: a
// growing vector would hold two copies for a moment and touch twice the
// memory, which costs more in page faults than the copying itself. The
// first chunk grows as a vector does, since most tables hold a few
// elements; a reference to an element is valid until the next is added.
template <typename T, std::size_t kChunk = 1024>
class ChunkedVector {
 public:
  T& operator[](std::size_t i) { return chunks_[i / kChunk][i % kChunk]; }
  const T& operator[](std::size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }

  void push_back(const T& element) {
    if (size_ % kChunk == 0) {
      chunks_.emplace_back();
      if (size_ > 0) chunks_.back().reserve(kChunk);  // its room is taken, not filled
    }
    chunks_.back().push_back(element);
    ++size_;
  }

 private:
  std::vector<std::vector<T>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace quellmark
