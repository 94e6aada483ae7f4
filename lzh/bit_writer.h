// Appends bit fields to a byte string, most significant bit first, the way
// the -lh5- stream packs its codes.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace lzh {

static_assert(std::endian::native == std::endian::little, "words are byte-swapped to go out");

class BitWriter {
 public:
  // Appends to `out`, which holds everything written only after Flush.
  explicit BitWriter(std::string& out) : out_(out) {}

  // Writes the low `count` bits of `value` (count <= 32), high bit first.
  // Whole 32-bit words go to a buffer of our own that is appended in large
  // pieces: appending to the string byte by byte cost more than the codes.
  void Put(int count, uint32_t value) {
    accumulator_ = (accumulator_ << count) | (value & ((uint64_t{1} << count) - 1));
    pending_ += count;
    if (pending_ >= 32) {
      pending_ -= 32;
      const auto word = static_cast<uint32_t>(accumulator_ >> pending_);
      const uint32_t big = __builtin_bswap32(word);
      std::memcpy(buffer_.data() + used_, &big, 4);
      used_ += 4;
      if (used_ == buffer_.size()) Drain();
    }
  }

  // Writes what is pending, the last byte padded with zero bits.
  void Flush() {
    if (pending_ % 8 != 0) Put(8 - pending_ % 8, 0);
    while (pending_ > 0) {
      pending_ -= 8;
      buffer_[used_++] = static_cast<char>(accumulator_ >> pending_);
    }
    Drain();
    accumulator_ = 0;
  }

 private:
  void Drain() {
    out_.append(buffer_.data(), used_);
    used_ = 0;
  }

  std::string& out_;
  std::array<char, 4096> buffer_;  // a multiple of 4, with room for Flush's last bytes
  size_t used_ = 0;
  uint64_t accumulator_ = 0;
  int pending_ = 0;  // bits in accumulator_ not yet written, always < 32 between calls
};

}  // namespace lzh
