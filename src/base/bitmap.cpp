#include "base/bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/errors.h"

namespace quendra {

int BitsPerPixel(PixelFormat pf) {
  switch (pf) {
    case PixelFormat::pf1bit:
      return 1;
    case PixelFormat::pf4bit:
      return 4;
    case PixelFormat::pf8bit:
      return 8;
    case PixelFormat::pf15bit:
    case PixelFormat::pf16bit:
      return 16;
    case PixelFormat::pf24bit:
      return 24;
    case PixelFormat::pf32bit:
      return 32;
  }
  return 32;
}

void CheckDimensions(int64_t width, int64_t height) {
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide ||
      width * height > kMaxPixels)
    throw EInvalidGraphic("Image dimensions " + std::to_string(width) + " x " +
                          std::to_string(height) + " exceed the supported size");
}

size_t Bitmap::StrideFor(int width, PixelFormat pf) {
  return ((size_t(width) * BitsPerPixel(pf) + 31) / 32) * 4;
}

static std::vector<RGBQuad> DefaultPalette(PixelFormat pf) {
  std::vector<RGBQuad> pal;
  if (pf == PixelFormat::pf1bit) {
    pal = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  } else if (pf == PixelFormat::pf4bit || pf == PixelFormat::pf8bit) {
    int n = pf == PixelFormat::pf4bit ? 16 : 256;
    pal.resize(n);
    for (int i = 0; i < n; ++i) {
      auto v = uint8_t(i * 255 / (n - 1));
      pal[i] = {v, v, v, 0};
    }
  }
  return pal;
}

// Large buffers come straight from the kernel: their pages are zero and take no memory until
// written, so a picture whose file runs out early costs only the rows it filled. From half a
// huge page up they are backed by huge pages: a fitted picture's 500 to 1200 small-page faults
// cost more than decoding it, and one huge page costs less than a fifth of that.
static constexpr size_t kHugePage = size_t(2) << 20;
static constexpr size_t kMappedBytes = kHugePage / 2;

static size_t MappedLength(size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage + kHugePage;
}

template <class T>
T* PixelAllocator<T>::allocate(size_t n) {
  const size_t bytes = n * sizeof(T);
  if (bytes >= kMappedBytes) {
    // One huge page extra, so the start can be aligned for the kernel to back it with them.
    const size_t len = MappedLength(bytes);
    void* m = ::mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    auto base = reinterpret_cast<uintptr_t>(m);
    uintptr_t aligned = (base + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > base) ::munmap(m, aligned - base);
    const size_t keep = len - kHugePage;
    const size_t tail = len - (aligned - base) - keep;
    if (tail) ::munmap(reinterpret_cast<void*>(aligned + keep), tail);
    ::madvise(reinterpret_cast<void*>(aligned), keep, MADV_HUGEPAGE);
    return reinterpret_cast<T*>(aligned);
  }
  // calloc clears only memory it reuses: fresh pages come zero from the kernel, so a bitmap is
  // not written once more before its producer fills it.
  void* p = std::calloc(bytes ? bytes : 1, 1);
  if (!p) throw std::bad_alloc();
  return static_cast<T*>(p);
}

template <class T>
void PixelAllocator<T>::deallocate(T* p, size_t n) noexcept {
  const size_t bytes = n * sizeof(T);
  if (bytes >= kMappedBytes)
    ::munmap(p, MappedLength(bytes) - kHugePage);
  else
    std::free(p);
}

bool FreshPixelsAreZero(size_t) {
  return true;  // mapped or calloc'ed
}

template struct PixelAllocator<uint8_t>;

Bitmap::Bitmap(int width, int height, PixelFormat pf) {
  Reset(width, height, pf);
}

void Bitmap::Allocate(int w, int h, PixelFormat pf) {
  CheckDimensions(w, h);
  format_ = pf;
  width_ = w;
  height_ = h;
  stride_ = StrideFor(w, pf);
  data_ = PixelBuffer();
  data_.resize(stride_ * size_t(h));
  // Row padding is never written by producers; keep it defined.
  const size_t used = (size_t(w) * BitsPerPixel(pf) + 7) / 8;
  if (used < stride_ && !FreshPixelsAreZero(data_.size()))
    for (int y = 0; y < h; ++y) std::memset(Row(y) + used, 0, stride_ - used);
  palette_ = DefaultPalette(pf);
}

void Bitmap::Reset(int w, int h, PixelFormat pf) {
  CheckDimensions(w, h);
  format_ = pf;
  width_ = w;
  height_ = h;
  stride_ = StrideFor(w, pf);
  data_ = PixelBuffer();
  data_.resize(stride_ * size_t(h));
  if (!data_.empty() && !FreshPixelsAreZero(data_.size()))
    std::memset(data_.data(), 0, data_.size());
  palette_ = DefaultPalette(pf);
}

static inline void Unpack16(uint16_t v, bool is565, uint8_t* out) {
  if (is565) {
    uint8_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
    out[0] = uint8_t((b << 3) | (b >> 2));
    out[1] = uint8_t((g << 2) | (g >> 4));
    out[2] = uint8_t((r << 3) | (r >> 2));
  } else {
    uint8_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    out[0] = uint8_t((b << 3) | (b >> 2));
    out[1] = uint8_t((g << 3) | (g >> 2));
    out[2] = uint8_t((r << 3) | (r >> 2));
  }
  out[3] = 0;
}

void ExpandRowTo32(const Bitmap& src, int y, uint8_t* dst) {
  const uint8_t* s = src.Row(y);
  const int w = src.Width();
  const auto& pal = src.Palette();
  auto putIndex = [&](int x, unsigned idx) {
    uint8_t* d = dst + x * 4;
    if (idx < pal.size()) {
      d[0] = pal[idx].blue;
      d[1] = pal[idx].green;
      d[2] = pal[idx].red;
    } else {
      d[0] = d[1] = d[2] = 0;
    }
    d[3] = 0;
  };
  switch (src.Format()) {
    case PixelFormat::pf1bit:
      for (int x = 0; x < w; ++x) putIndex(x, (s[x >> 3] >> (7 - (x & 7))) & 1);
      break;
    case PixelFormat::pf4bit:
      for (int x = 0; x < w; ++x) putIndex(x, (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
      break;
    case PixelFormat::pf8bit:
      for (int x = 0; x < w; ++x) putIndex(x, s[x]);
      break;
    case PixelFormat::pf15bit:
    case PixelFormat::pf16bit: {
      bool is565 = src.Format() == PixelFormat::pf16bit;
      for (int x = 0; x < w; ++x)
        Unpack16(uint16_t(s[2 * x] | (s[2 * x + 1] << 8)), is565, dst + 4 * x);
      break;
    }
    case PixelFormat::pf24bit:
      for (int x = 0; x < w; ++x) {
        dst[4 * x] = s[3 * x];
        dst[4 * x + 1] = s[3 * x + 1];
        dst[4 * x + 2] = s[3 * x + 2];
        dst[4 * x + 3] = 0;
      }
      break;
    case PixelFormat::pf32bit:
      std::memcpy(dst, s, size_t(w) * 4);
      break;
  }
}

Bitmap Bitmap::To32() const {
  Bitmap out;
  out.Allocate(width_, height_, PixelFormat::pf32bit);
  for (int y = 0; y < height_; ++y) ExpandRowTo32(*this, y, out.Row(y));
  out.Transparent = Transparent;
  out.TransparentColor = TransparentColor;
  out.TransparentMode_ = TransparentMode_;
  return out;
}

void Bitmap::ConvertTo32() {
  if (format_ == PixelFormat::pf32bit) return;
  *this = To32();
}

RGBQuad Bitmap::PixelColor(int x, int y) const {
  if (format_ == PixelFormat::pf32bit) {
    const uint8_t* p = Row(y) + 4 * x;
    return {p[0], p[1], p[2], 0};
  }
  // Rare path (tests, transparency look-ups): expand the one row.
  std::vector<uint8_t> row(size_t(width_) * 4);
  ExpandRowTo32(*this, y, row.data());
  return {row[4 * x], row[4 * x + 1], row[4 * x + 2], 0};
}

bool Bitmap::operator==(const Bitmap& o) const {
  if (width_ != o.width_ || height_ != o.height_ || format_ != o.format_) return false;
  size_t used = (size_t(width_) * BitsPerPixel(format_) + 7) / 8;
  for (int y = 0; y < height_; ++y)
    if (std::memcmp(Row(y), o.Row(y), used) != 0) return false;
  return palette_ == o.palette_ || BitsPerPixel(format_) > 8;
}

}  // namespace quendra
