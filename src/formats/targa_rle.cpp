#include "formats/targa_rle.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"

namespace quendra {

TTargaRLEDecoder::TTargaRLEDecoder(int pixelBits) : bpp_((pixelBits + 7) / 8) {
  if (bpp_ < 1 || bpp_ > 4) throw EInvalidGraphic("Unsupported Targa pixel size");
}

static void Truncated() {
  throw EInvalidGraphic("Targa pixel data is truncated");
}

size_t TTargaRLEDecoder::Decode(const uint8_t* src, size_t srcSize, uint8_t* dst,
                                size_t pixelCount) {
  const size_t b = size_t(bpp_);
  size_t pos = 0;
  while (pixelCount > 0) {
    if (pending_ == 0) {
      if (pos >= srcSize) Truncated();
      uint8_t h = src[pos++];
      pending_ = size_t(h & 0x7F) + 1;
      pendingRun_ = (h & 0x80) != 0;
      if (pendingRun_) {
        if (srcSize - pos < b) Truncated();
        std::memcpy(runPixel_, src + pos, b);
        pos += b;
      }
    }
    // A packet longer than what is wanted stops here and goes on in the next call.
    size_t n = std::min(pending_, pixelCount);
    if (pendingRun_) {
      if (b == 1) {
        std::memset(dst, runPixel_[0], n);
      } else {
        for (size_t i = 0; i < n; ++i) std::memcpy(dst + i * b, runPixel_, b);
      }
    } else {
      if ((srcSize - pos) / b < n) Truncated();
      std::memcpy(dst, src + pos, n * b);
      pos += n * b;
    }
    dst += n * b;
    pending_ -= n;
    pixelCount -= n;
  }
  return pos;
}

void TTargaRLEDecoder::Encode(const uint8_t* src, size_t pixelCount, std::vector<uint8_t>& out) {
  const size_t b = size_t(bpp_);
  auto same = [&](size_t i, size_t j) { return std::memcmp(src + i * b, src + j * b, b) == 0; };
  size_t i = 0;
  while (i < pixelCount) {
    const size_t left = pixelCount - i;
    // r: pixels before the first pair of equal neighbours; s: pixels equal to the first.
    size_t r = 0;
    if (left == 1) {
      r = 1;
    } else {
      while (r < 128 && i + r + 1 < pixelCount && !same(i + r, i + r + 1)) ++r;
      if (i + r + 1 >= pixelCount && r < 128) r = left;  // no pair before the end
    }
    r = std::min<size_t>(r, 128);
    if (r > 0) {
      out.push_back(uint8_t(r - 1));
      out.insert(out.end(), src + i * b, src + (i + r) * b);
      i += r;
    } else {
      size_t s = 1;
      while (s < 128 && i + s < pixelCount && same(i, i + s)) ++s;
      out.push_back(uint8_t(0x80 | (s - 1)));
      out.insert(out.end(), src + i * b, src + (i + 1) * b);
      i += s;
    }
  }
}

}  // namespace quendra
