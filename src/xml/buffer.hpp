// Bytes held without being zero-filled first, for content that is written before it is read:
// the decompressed bytes of an archive member.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

#include "pattern/pattern.hpp"

namespace vorlen::xml {

class Buffer {
 public:
  // Grows or shrinks to `size` bytes, keeping the first ones; added bytes are undefined until
  // written. realloc can extend a large block in place or remap its pages, where a vector would
  // zero a new block and copy the old one into it. Throws std::bad_alloc, as a vector does.
  void resize(std::size_t size) {
    void* moved = std::realloc(data_.get(), size == 0 ? 1 : size);
    if (moved == nullptr) throw std::bad_alloc();
    static_cast<void>(data_.release());
    data_.reset(static_cast<unsigned char*>(moved));
    size_ = size;
  }

  unsigned char* data() { return data_.get(); }
  const unsigned char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  Bytes bytes() const { return Bytes(data_.get(), size_); }

 private:
  struct Free {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
  };
  std::unique_ptr<unsigned char, Free> data_;
  std::size_t size_ = 0;
};

}  // namespace vorlen::xml
