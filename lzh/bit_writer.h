// Appends bit fields to a byte string, most significant bit first, the way
// the -lh5- stream packs its codes.
#pragma once

#include <cstdint>
#include <string>

namespace lzh {

class BitWriter {
 public:
  explicit BitWriter(std::string& out) : out_(out) {}

  // Writes the low `count` bits of `value` (count <= 32), high bit first.
  // Whole 32-bit words go out at once: appending byte by byte cost more than
  // the codes themselves.
  void Put(int count, uint32_t value) {
    accumulator_ = (accumulator_ << count) | (value & ((uint64_t{1} << count) - 1));
    pending_ += count;
    if (pending_ >= 32) {
      pending_ -= 32;
      const auto word = static_cast<uint32_t>(accumulator_ >> pending_);
      const char bytes[4] = {static_cast<char>(word >> 24), static_cast<char>(word >> 16),
                             static_cast<char>(word >> 8), static_cast<char>(word)};
      out_.append(bytes, 4);
    }
  }

  // Writes what is pending, the last byte padded with zero bits.
  void Flush() {
    if (pending_ % 8 != 0) Put(8 - pending_ % 8, 0);
    while (pending_ > 0) {
      pending_ -= 8;
      out_.push_back(static_cast<char>(accumulator_ >> pending_));
    }
    accumulator_ = 0;
  }

 private:
  std::string& out_;
  uint64_t accumulator_ = 0;
  int pending_ = 0;  // bits in accumulator_ not yet written, always < 32 between calls
};

}  // namespace lzh
