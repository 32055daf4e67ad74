#pragma once
// The one bitmap type of the program: a device-independent pixel image with rows stored top to
// bottom, each row padded to a multiple of 4 bytes, in one of the pixel formats below.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace quendra {

// Pixel storage: elements are left uninitialised by resize (every producer writes each row), and
// large buffers are aligned so the kernel can back them with huge pages, which takes most of
// the page-fault cost out of decoding a big photograph.
template <class T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <class U>
  PixelAllocator(const PixelAllocator<U>&) {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t) noexcept;
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
  bool operator==(const PixelAllocator&) const { return true; }
};
using PixelBuffer = std::vector<uint8_t, PixelAllocator<uint8_t>>;
// True when a freshly allocated buffer of this size is known to be zero (and untouched).
bool FreshPixelsAreZero(size_t bytes);

enum class PixelFormat { pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// 15-bit pixels are x-5-5-5, 16-bit pixels are 5-6-5, both little-endian words (blue lowest).
int BitsPerPixel(PixelFormat pf);

struct RGBQuad {
  uint8_t blue = 0, green = 0, red = 0, reserved = 0;
  bool operator==(const RGBQuad&) const = default;
};

// A colour as 0x00BBGGRR, the way transparent colours are stored.
using Color = uint32_t;
constexpr Color RGB(uint8_t r, uint8_t g, uint8_t b) {
  return r | (g << 8) | (uint32_t(b) << 16);
}

enum class TransparentMode { tmAuto, tmFixed };

// Readers validate every size against these limits before they allocate (see CheckDimensions).
inline constexpr int64_t kMaxPixels = int64_t(1) << 28;  // 268 megapixels, 1 GiB at 32 bits
inline constexpr int kMaxSide = 1 << 20;

// Throws EInvalidGraphic ("Image dimensions W x H exceed the supported size") for sizes out of
// range; a width or height of 0 is allowed (an empty bitmap).
void CheckDimensions(int64_t width, int64_t height);

class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(int width, int height, PixelFormat pf);

  int Width() const { return width_; }
  int Height() const { return height_; }
  PixelFormat Format() const { return format_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  size_t Stride() const { return stride_; }
  static size_t StrideFor(int width, PixelFormat pf);

  void Reset(int w, int h, PixelFormat pf);  // fresh zeroed image
  // Fresh image whose pixels the caller is about to write in full (no zeroing).
  void Allocate(int w, int h, PixelFormat pf);

  uint8_t* Row(int y) { return data_.data() + size_t(y) * stride_; }
  const uint8_t* Row(int y) const { return data_.data() + size_t(y) * stride_; }
  std::span<uint8_t> Bytes() { return data_; }
  std::span<const uint8_t> Bytes() const { return data_; }

  // Palette for 1-, 4- and 8-bit formats (up to 2, 16 or 256 entries).
  std::vector<RGBQuad>& Palette() { return palette_; }
  const std::vector<RGBQuad>& Palette() const { return palette_; }

  bool Transparent = false;
  Color TransparentColor = 0;
  TransparentMode TransparentMode_ = TransparentMode::tmAuto;

  // Converts the pixels in place to 32 bits (fourth byte 0) keeping the picture.
  void ConvertTo32();
  // A 32-bit copy of this bitmap, leaving it alone.
  Bitmap To32() const;
  // The colour of pixel (x, y) as blue, green, red (reserved byte 0).
  RGBQuad PixelColor(int x, int y) const;

  bool operator==(const Bitmap& other) const;

 private:
  int width_ = 0, height_ = 0;
  PixelFormat format_ = PixelFormat::pf24bit;
  size_t stride_ = 0;
  PixelBuffer data_;
  std::vector<RGBQuad> palette_;
};

// Expands one row of any format into 32-bit BGRX words; dst holds width*4 bytes.
void ExpandRowTo32(const Bitmap& src, int y, uint8_t* dst);
// Row y as 32-bit BGRX words: the row itself for 32-bit bitmaps, else expanded into scratch
// (which must hold width*4 bytes).
inline const uint8_t* RowAs32(const Bitmap& src, int y, uint8_t* scratch) {
  if (src.Format() == PixelFormat::pf32bit) return src.Row(y);
  ExpandRowTo32(src, y, scratch);
  return scratch;
}

}  // namespace quendra
