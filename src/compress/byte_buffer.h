#pragma once

#include <cstddef>
#include <memory>

namespace vesk::compress {

// A byte buffer left uninitialised, so that only the pages a run actually
// uses are touched: a small file does not pay for the large buffers.
class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t n) : data_(std::make_unique_for_overwrite<unsigned char[]>(n)), size_(n) {}
  unsigned char* data() { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<unsigned char[]> data_;
  std::size_t size_;
};

}  // namespace vesk::compress
