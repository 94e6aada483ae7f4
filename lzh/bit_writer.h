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
  void Put(int count, uint32_t value) {
    if (count == 0) return;
    accumulator_ = (accumulator_ << count) | (value & ((uint64_t{1} << count) - 1));
    pending_ += count;
    while (pending_ >= 8) {
      pending_ -= 8;
      out_.push_back(static_cast<char>(accumulator_ >> pending_));
    }
  }

  // Pads the last byte with zero bits.
  void Flush() {
    if (pending_ > 0) Put(8 - pending_, 0);
    accumulator_ = 0;
  }

 private:
  std::string& out_;
  uint64_t accumulator_ = 0;
  int pending_ = 0;  // bits in accumulator_ not yet written, always < 8 between calls
};

}  // namespace lzh
