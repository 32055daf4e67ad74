// BMP reader and writer. The reader accepts the variants users meet and keeps the file's pixel
// format wherever the bitmap type has a matching one; every offset and size is checked against
// the input before use, and the image size against the pixel limit before allocating.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "formats/graphic.h"
#include "formats/tbitmap.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTBitmap() {
  return std::make_unique<TBitmap>();
}
const GraphicClass TBitmap::kClass{"TBitmap", &kTGraphicClass, &NewTBitmap};
const GraphicClass TGraphicExGraphic::kClass{"TGraphicExGraphic", &TBitmap::kClass, nullptr};

void TBitmap::LoadFromMemory(std::span<const uint8_t> data) {
  image_ = DecodeBmp(data);
}

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

[[noreturn]] void Fail(const std::string& what) {
  throw EInvalidGraphic("Invalid BMP file: " + what);
}

uint16_t U16(std::span<const uint8_t> d, size_t at) {
  return uint16_t(d[at] | (d[at + 1] << 8));
}
uint32_t U32(std::span<const uint8_t> d, size_t at) {
  return uint32_t(d[at]) | (uint32_t(d[at + 1]) << 8) | (uint32_t(d[at + 2]) << 16) |
         (uint32_t(d[at + 3]) << 24);
}

struct Header {
  int64_t width = 0, height = 0;
  bool topDown = false;
  int bits = 0;
  uint32_t compression = kBiRgb;
  uint32_t colorsUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  bool hasMasks = false;
  size_t paletteAt = 0;  // file offset of the palette
  int paletteEntrySize = 4;
};

// One channel of a bit-field mask: where it sits and how to widen it to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
  uint8_t Get(uint32_t px) const {
    if (!mask) return 0;
    uint32_t v = (px & mask) >> shift;
    return uint8_t((uint64_t(v) * 255 + max / 2) / max);
  }
};

Channel MakeChannel(uint32_t mask) {
  Channel c;
  if (!mask) return c;
  c.shift = std::countr_zero(mask);
  uint32_t v = mask >> c.shift;
  if ((v & (v + 1)) != 0) Fail("bit field masks must be contiguous");
  c.mask = mask;
  c.max = v;
  return c;
}

Header ReadHeader(std::span<const uint8_t> d) {
  if (d.size() < 18 || d[0] != 'B' || d[1] != 'M') Fail("missing \"BM\" signature");
  Header h;
  uint32_t hdrSize = U32(d, 14);
  if (hdrSize < 12 || d.size() < 14 + size_t(hdrSize)) Fail("truncated header");
  if (hdrSize == 12) {  // old OS/2 core header: 16-bit sizes, 3-byte palette entries
    h.width = U16(d, 18);
    h.height = U16(d, 20);
    h.bits = U16(d, 24);
    h.paletteAt = 14 + 12;
    h.paletteEntrySize = 3;
    return h;
  }
  if (hdrSize < 40) Fail("unsupported header size " + std::to_string(hdrSize));
  h.width = int32_t(U32(d, 18));
  int32_t height = int32_t(U32(d, 22));
  h.topDown = height < 0;
  h.height = height < 0 ? -int64_t(height) : height;
  h.bits = U16(d, 28);
  h.compression = U32(d, 30);
  h.colorsUsed = U32(d, 46);
  h.paletteAt = 14 + size_t(hdrSize);
  if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
    int count = h.compression == kBiAlphaBitfields ? 4 : 3;
    size_t at = 14 + 40;
    if (hdrSize == 40) {
      // Masks follow a plain info header, before the palette.
      if (d.size() < at + 4 * size_t(count)) Fail("truncated bit field masks");
      h.paletteAt += 4 * size_t(count);
    } else if (hdrSize < 40 + 4 * size_t(count)) {
      Fail("header too small for its bit field masks");
    }
    for (int i = 0; i < count; ++i) h.masks[i] = U32(d, at + 4 * size_t(i));
    if (hdrSize >= 56 && count == 3) h.masks[3] = U32(d, at + 12);
    h.hasMasks = true;
  }
  return h;
}

// Rows are read once, bottom-up files from their end: every few megabytes the file's rows
// already read are handed back (DoneWithFileBytes), so a picture at the pixel limit never holds
// its file and its bitmap at once.
class RowsRead {
 public:
  RowsRead(std::span<const uint8_t> d, size_t at, size_t stride, const Header& h)
      : d_(d),
        at_(at),
        stride_(stride),
        topDown_(h.topDown),
        height_(int(h.height)),
        every_(int(std::max<size_t>(1, kFileBytesGivenBack / stride))) {}
  const uint8_t* Row(int y) const {
    return d_.data() + at_ + size_t(topDown_ ? y : height_ - 1 - y) * stride_;
  }
  // After output row y.
  void Done(int y) {
    if ((y + 1) % every_ != 0 && y + 1 != height_) return;
    const int first = topDown_ ? from_ : height_ - 1 - y;  // the chunk's lowest file row
    DoneWithFileBytes(d_.subspan(at_ + size_t(first) * stride_, size_t(y + 1 - from_) * stride_));
    from_ = y + 1;
  }

 private:
  std::span<const uint8_t> d_;
  size_t at_, stride_;
  bool topDown_;
  int height_, every_, from_ = 0;
};

void CopyRows(std::span<const uint8_t> d, size_t at, const Header& h, Bitmap& out) {
  const size_t srcStride = Bitmap::StrideFor(int(h.width), out.Format());
  if (at > d.size() || (d.size() - at) / srcStride < size_t(h.height))
    Fail("pixel data is truncated");
  RowsRead rows(d, at, srcStride, h);
  for (int y = 0; y < out.Height(); ++y) {
    std::memcpy(out.Row(y), rows.Row(y), out.Stride());
    rows.Done(y);
  }
}

// RLE4/RLE8: runs and literal blocks, rows bottom-up. Pixels the stream skips stay index 0; a
// stream that ends early leaves the rest of the picture at index 0 as well. The column never
// passes the row's end (a row of a million runs just drops what lies beyond it), and the row
// never goes below zero, so neither counter can wrap whatever the stream holds.
void DecodeRle(std::span<const uint8_t> d, size_t at, bool rle4, Bitmap& out) {
  const size_t w = size_t(out.Width());
  size_t x = 0, rowsLeft = size_t(out.Height());  // rows not yet finished, the current included
  uint8_t* row = out.Row(out.Height() - 1);
  auto nextRows = [&](size_t n) {
    rowsLeft = n >= rowsLeft ? 0 : rowsLeft - n;
    if (rowsLeft) row = out.Row(int(rowsLeft - 1));
  };
  auto put = [&](unsigned idx) {
    if (x >= w) return;
    if (rle4) {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? uint8_t((b & 0xF0) | (idx & 15)) : uint8_t((b & 0x0F) | (idx << 4));
    } else {
      row[x] = uint8_t(idx);
    }
    ++x;
  };
  size_t p = at;
  while (p + 1 < d.size() && rowsLeft > 0) {
    uint8_t n = d[p], v = d[p + 1];
    p += 2;
    if (n > 0) {
      for (unsigned i = 0; i < n && x < w; ++i) put(rle4 ? ((i & 1) ? v & 15 : v >> 4) : v);
      continue;
    }
    if (v == 0) {  // end of line
      x = 0;
      nextRows(1);
    } else if (v == 1) {  // end of bitmap
      return;
    } else if (v == 2) {  // delta
      if (p + 1 >= d.size()) return;
      x = std::min(w, x + d[p]);
      nextRows(d[p + 1]);
      p += 2;
    } else {  // literal block, padded to a 16-bit boundary
      size_t bytes = rle4 ? (size_t(v) + 1) / 2 : v;
      if (p + bytes > d.size()) return;
      for (unsigned i = 0; i < v && x < w; ++i)
        put(rle4 ? ((i & 1) ? d[p + i / 2] & 15 : d[p + i / 2] >> 4) : d[p + i]);
      p += bytes + (bytes & 1);
    }
  }
}

// Bit-field pixels that the bitmap type cannot keep as they are become 24 bits, or 32 bits
// (alpha in the fourth byte) for 32-bit files.
void ConvertMasked(std::span<const uint8_t> d, size_t at, const Header& h, Bitmap& out) {
  const int bpp = h.bits / 8;
  const size_t srcStride = ((size_t(h.width) * h.bits + 31) / 32) * 4;
  if (at > d.size() || (d.size() - at) / srcStride < size_t(h.height))
    Fail("pixel data is truncated");
  Channel r = MakeChannel(h.masks[0]), g = MakeChannel(h.masks[1]), b = MakeChannel(h.masks[2]),
          a = MakeChannel(out.Format() == PixelFormat::pf32bit ? h.masks[3] : 0);
  const int outBpp = out.Format() == PixelFormat::pf32bit ? 4 : 3;
  RowsRead rows(d, at, srcStride, h);
  for (int y = 0; y < out.Height(); ++y) {
    const uint8_t* s = rows.Row(y);
    uint8_t* o = out.Row(y);
    for (int x = 0; x < out.Width(); ++x, s += bpp, o += outBpp) {
      uint32_t px = bpp == 2 ? uint32_t(s[0] | (s[1] << 8)) : U32({s, 4}, 0);
      o[0] = b.Get(px);
      o[1] = g.Get(px);
      o[2] = r.Get(px);
      if (outBpp == 4) o[3] = a.Get(px);
    }
    rows.Done(y);
  }
}

// The header's own consistency, before anything is read past it.
void CheckHeader(const Header& h) {
  if (h.width <= 0 || h.height <= 0) Fail("width and height must be positive");
  if (h.compression == kBiRle8 && h.bits != 8) Fail("RLE8 needs 8 bits per pixel");
  if (h.compression == kBiRle4 && h.bits != 4) Fail("RLE4 needs 4 bits per pixel");
  if ((h.compression == kBiRle8 || h.compression == kBiRle4) && h.topDown)
    Fail("compressed rows cannot be top-down");
  if (h.hasMasks && h.bits != 16 && h.bits != 32)
    Fail("bit field masks need 16 or 32 bits per pixel");
  if (h.compression != kBiRgb && h.compression != kBiRle8 && h.compression != kBiRle4 &&
      !h.hasMasks)
    Fail("unsupported compression " + std::to_string(h.compression));
  CheckDimensions(h.width, h.height);
}

// The bitmap's pixel format for the file's, and whether bit-field pixels need converting.
struct Layout {
  PixelFormat pf;
  bool masked = false;
};

Layout LayoutOf(const Header& h) {
  Layout l;
  switch (h.bits) {
    case 1:
      l.pf = PixelFormat::pf1bit;
      break;
    case 2:  // widened to 4 bits: the bitmap type has no 2-bit format
    case 4:
      l.pf = PixelFormat::pf4bit;
      break;
    case 8:
      l.pf = PixelFormat::pf8bit;
      break;
    case 16:
      l.pf = PixelFormat::pf15bit;
      if (h.hasMasks) {
        const uint32_t* m = h.masks;
        if (m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F)
          l.pf = PixelFormat::pf16bit;
        else if (!(m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F))
          l.masked = true, l.pf = PixelFormat::pf24bit;
      }
      break;
    case 24:
      l.pf = PixelFormat::pf24bit;
      break;
    case 32:
      l.pf = PixelFormat::pf32bit;
      l.masked =
          h.hasMasks && !(h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF &&
                          (h.masks[3] == 0 || h.masks[3] == 0xFF000000u));
      break;
    default:
      Fail("unsupported bit count " + std::to_string(h.bits));
  }
  return l;
}

// Reads the palette (pictures of 8 bits or fewer) and returns where the pixel data starts: at
// the offset the file header gives; a zero offset means "right after the palette", which some
// writers leave out.
size_t ReadPalette(std::span<const uint8_t> d, const Header& h, std::vector<RGBQuad>& palette) {
  size_t pixelsAt = U32(d, 10);
  if (h.bits <= 8) {
    size_t maxEntries = size_t(1) << h.bits;
    size_t entries = h.colorsUsed ? std::min<size_t>(h.colorsUsed, maxEntries) : maxEntries;
    size_t end = pixelsAt > h.paletteAt ? std::min<size_t>(pixelsAt, d.size()) : d.size();
    size_t fit = end > h.paletteAt ? (end - h.paletteAt) / size_t(h.paletteEntrySize) : 0;
    entries = std::min(entries, fit);
    if (entries == 0) Fail("missing palette");
    palette.resize(entries);
    for (size_t i = 0; i < entries; ++i) {
      const uint8_t* e = d.data() + h.paletteAt + i * size_t(h.paletteEntrySize);
      palette[i] = {e[0], e[1], e[2], 0};
    }
    if (pixelsAt == 0) pixelsAt = h.paletteAt + entries * size_t(h.paletteEntrySize);
  } else if (pixelsAt == 0) {
    pixelsAt = h.paletteAt;
  }
  return pixelsAt;
}

bool IsRle(const Header& h) {
  return h.compression == kBiRle8 || h.compression == kBiRle4;
}

// Uncompressed rows must all be there before the picture is allocated: a header may claim far
// more than the file holds.
void CheckPixelData(std::span<const uint8_t> d, const Header& h, size_t pixelsAt) {
  if (pixelsAt >= d.size()) Fail("pixel data offset lies beyond the end of the file");
  const size_t fileStride = ((size_t(h.width) * size_t(h.bits) + 31) / 32) * 4;
  if (!IsRle(h) && (d.size() - pixelsAt) / fileStride < size_t(h.height))
    Fail("pixel data is truncated");
}

// Each 2-bit index becomes a 4-bit one.
void WidenTwoBitRows(std::span<const uint8_t> d, size_t at, const Header& h, Bitmap& out) {
  const size_t srcStride = ((size_t(h.width) * 2 + 31) / 32) * 4;
  if ((d.size() - at) / srcStride < size_t(h.height)) Fail("pixel data is truncated");
  for (int y = 0; y < out.Height(); ++y) {
    const uint8_t* s = d.data() + at + size_t(h.topDown ? y : out.Height() - 1 - y) * srcStride;
    uint8_t* o = out.Row(y);
    for (int x = 0; x < out.Width(); ++x) {
      unsigned idx = (s[x >> 2] >> (6 - 2 * (x & 3))) & 3;
      o[x >> 1] |= uint8_t((x & 1) ? idx : idx << 4);
    }
  }
}

void DecodeRows(std::span<const uint8_t> d, size_t at, const Header& h, const Layout& l,
                Bitmap& out) {
  if (IsRle(h)) {
    DecodeRle(d, at, h.compression == kBiRle4, out);
  } else if (l.masked) {
    ConvertMasked(d, at, h, out);
  } else if (h.bits == 2) {
    WidenTwoBitRows(d, at, h, out);
  } else {
    CopyRows(d, at, h, out);
    // Without an alpha mask the fourth byte of a 32-bit pixel is unused; never let stray values
    // there pose as alpha.
    if (l.pf == PixelFormat::pf32bit && !(h.hasMasks && h.masks[3] == 0xFF000000u))
      for (int y = 0; y < out.Height(); ++y) {
        uint8_t* row = out.Row(y);
        for (int x = 0; x < out.Width(); ++x) row[4 * x + 3] = 0;
      }
  }
}

}  // namespace

Bitmap DecodeBmp(std::span<const uint8_t> d) {
  const Header h = ReadHeader(d);
  CheckHeader(h);
  const Layout layout = LayoutOf(h);
  std::vector<RGBQuad> palette;
  const size_t pixelsAt = ReadPalette(d, h, palette);
  CheckPixelData(d, h, pixelsAt);

  Bitmap out(int(h.width), int(h.height), layout.pf);
  if (h.bits <= 8) out.Palette() = palette;
  DecodeRows(d, pixelsAt, h, layout, out);
  return out;
}

void WriteBmp(const Bitmap& bmp, const ByteSink& sink) {
  if (bmp.Empty()) throw EInvalidGraphic("Cannot save an empty bitmap");
  const PixelFormat pf = bmp.Format();
  const int bits = BitsPerPixel(pf);
  const size_t paletteEntries = bits <= 8 ? std::min(bmp.Palette().size(), size_t(1) << bits) : 0;
  const bool bitfields = pf == PixelFormat::pf16bit;
  const size_t headerEnd = 14 + 40 + (bitfields ? 12 : 0) + paletteEntries * 4;
  const size_t imageSize = bmp.Stride() * size_t(bmp.Height());
  std::vector<uint8_t> head(headerEnd, 0);
  uint8_t* o = head.data();
  auto put16 = [o](size_t at, uint32_t v) { o[at] = uint8_t(v), o[at + 1] = uint8_t(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
  o[0] = 'B';
  o[1] = 'M';
  put32(2, uint32_t(headerEnd + imageSize));
  put32(10, uint32_t(headerEnd));
  put32(14, 40);
  put32(18, uint32_t(bmp.Width()));
  put32(22, uint32_t(bmp.Height()));  // positive: rows stored bottom-up
  put16(26, 1);
  put16(28, uint32_t(bits));
  put32(30, bitfields ? kBiBitfields : kBiRgb);
  put32(34, uint32_t(imageSize));
  put32(38, 2835);  // 72 dpi
  put32(42, 2835);
  put32(46, uint32_t(paletteEntries));
  size_t at = 54;
  if (bitfields) {
    put32(at, 0xF800), put32(at + 4, 0x07E0), put32(at + 8, 0x001F);
    at += 12;
  }
  for (size_t i = 0; i < paletteEntries; ++i, at += 4) {
    const RGBQuad& q = bmp.Palette()[i];
    o[at] = q.blue, o[at + 1] = q.green, o[at + 2] = q.red;
  }
  sink(head.data(), headerEnd);
  for (int y = bmp.Height() - 1; y >= 0; --y) sink(bmp.Row(y), bmp.Stride());
}

std::vector<uint8_t> EncodeBmp(const Bitmap& bmp) {
  std::vector<uint8_t> out;
  out.reserve(bmp.Stride() * size_t(bmp.Height()) + 1024 + 54);
  WriteBmp(bmp, [&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); });
  return out;
}

namespace {
constexpr std::string_view kBmpListed[] = {".bmp"};
const WriterRecord kBmpWriter{SaveFormat::Bmp, ".bmp", {}, &WriteBmp};
}  // namespace

const FormatRecord kBmpFormat{&TBitmap::kClass, {}, {}, kBmpListed, false, &kBmpWriter};

}  // namespace quendra
