#pragma once
// Bits of a codec header, most significant first. Reads past the end give zeros and mark the
// reader failed, so a parser runs to its end and checks once.
#include <cstddef>
#include <cstdint>
#include <span>

namespace quendra {

class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  // n <= 32 bits.
  uint32_t Bits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      if (pos_ >= bytes_.size() * 8) {
        failed_ = true;
        return 0;
      }
      v = v << 1 | ((bytes_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
      ++pos_;
    }
    return v;
  }
  // An unsigned exponential-Golomb number (HEVC's ue(v), AV1's uvlc()); 32 or more leading
  // zeros fail.
  uint32_t ExpGolomb() {
    int zeros = 0;
    while (!failed_ && Bits(1) == 0)
      if (++zeros == 32) failed_ = true;
    if (failed_) return 0;
    return uint32_t((uint64_t(1) << zeros) - 1 + Bits(zeros));
  }
  void Skip(size_t n) {
    for (; n > 32; n -= 32) Bits(32);
    Bits(int(n));
  }
  bool Failed() const { return failed_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace quendra
