#pragma once
// Bytes written through a pointer into room made ahead: the lake writers
// append a few bytes per value, where std::string's appends (a capacity
// check and a copy call each) were a large part of their time.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

class ByteBuffer {
public:
  ByteBuffer() = default;
  // A buffer moved from is empty and without room, as a string moved from is: its size and
  // capacity go with its bytes.
  ByteBuffer(ByteBuffer &&other) noexcept
      : bytes_(std::move(other.bytes_)), size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  ByteBuffer &operator=(ByteBuffer &&other) noexcept {
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }
  void clear() { size_ = 0; }
  const char *data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {bytes_.get(), size_}; }
  // Room for `count` more bytes at the end; `grow` then says where the
  // bytes written there end.
  char *room(std::size_t count) {
    if (capacity_ - size_ < count) [[unlikely]]
      widen(count);
    return bytes_.get() + size_;
  }
  void grow(const char *end) { size_ = static_cast<std::size_t>(end - bytes_.get()); }
  void append(std::string_view bytes) {
    char *at = room(bytes.size());
    if (!bytes.empty())
      std::memcpy(at, bytes.data(), bytes.size());
    grow(at + bytes.size());
  }
  // `value`'s bytes as the machine holds them: little-endian, as Avro's
  // floats and Parquet's plain encoding are.
  template <class T> void appendFixed(T value) {
    char *at = room(sizeof(T));
    std::memcpy(at, &value, sizeof(T));
    grow(at + sizeof(T));
  }

private:
  // The new room left unwritten (a string's resize cleared it: the Parquet columns' regrowth
  // was most of their memset), the bytes so far copied over.
  [[gnu::noinline]] void widen(std::size_t count) {
    const std::size_t capacity = std::max(capacity_ * 2, size_ + count);
    auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0)
      std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};
