// The bytes of one log as read. Unlike a string, growing it leaves the new
// room unset: read() fills it at once, so a log is not cleared before it is
// read (a run of many logs would otherwise write every byte twice).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace converter {

class FileBuffer {
 public:
  FileBuffer() = default;
  FileBuffer(const FileBuffer&) = delete;
  FileBuffer& operator=(const FileBuffer&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return capacity_; }
  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  operator std::string_view() const { return {bytes_.get(), size_}; }

  // Room for `bytes` in all; what the buffer holds stays, the room after it is unset.
  void Reserve(size_t bytes) {
    if (bytes <= capacity_) return;
    std::unique_ptr<char[]> grown = std::make_unique_for_overwrite<char[]>(bytes);
    if (size_ > 0) std::memcpy(grown.get(), bytes_.get(), size_);
    bytes_ = std::move(grown);
    capacity_ = bytes;
  }
  // The first `bytes` bytes count as held (those past the old size must have
  // been written through data()).
  void SetSize(size_t bytes) {
    Reserve(bytes);
    size_ = bytes;
  }
  void clear() { size_ = 0; }
  void swap(FileBuffer& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }
  FileBuffer& operator+=(std::string_view text) {
    if (size_ + text.size() > capacity_) Reserve(std::max(size_ + text.size(), capacity_ * 2));
    if (!text.empty()) std::memcpy(bytes_.get() + size_, text.data(), text.size());
    size_ += text.size();
    return *this;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace converter
