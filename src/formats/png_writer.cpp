#include "formats/png_writer.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/errors.h"
#include "formats/png_object.h"

namespace quendra {

namespace {

struct Layout {
  bool palette;
  int depth;         // bits per sample: 1, 4 or 8
  size_t rowBytes;   // filtered bytes per row, without the filter-type byte
  size_t pixelStep;  // the Sub filter's distance: bytes per pixel, at least 1
};

Layout LayoutOf(const Bitmap& bmp) {
  const int bits = BitsPerPixel(bmp.Format());
  const size_t w = size_t(bmp.Width());
  if (bits <= 8) return {true, bits, (w * size_t(bits) + 7) / 8, 1};
  return {false, 8, w * 3, 3};
}

// How many bytes j >= 2 repeat one of the two bytes before them.
size_t Score(const uint8_t* f, size_t n) {
  size_t s = 0;
  for (size_t j = 2; j < n; ++j) s += (f[j] == f[j - 1]) | (f[j] == f[j - 2]);
  return s;
}

// Row y as PNG samples: the bitmap row itself for palette pictures, else red, green, blue.
const uint8_t* RawRow(const Bitmap& bmp, const Layout& l, int y, uint8_t* bgrx, uint8_t* rgb) {
  if (l.palette) return bmp.Row(y);
  const uint8_t* p = RowAs32(bmp, y, bgrx);
  for (size_t x = 0, n = size_t(bmp.Width()); x < n; ++x, p += 4) {
    rgb[3 * x] = p[2];
    rgb[3 * x + 1] = p[1];
    rgb[3 * x + 2] = p[0];
  }
  return rgb;
}

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

void Chunk(const ByteSink& sink, const char type[4], const uint8_t* data, size_t n) {
  uint8_t head[8];
  PutBE32(head, uint32_t(n));
  std::memcpy(head + 4, type, 4);
  uint32_t crc = libdeflate_crc32(0, head + 4, 4);
  if (n) crc = libdeflate_crc32(crc, data, n);
  uint8_t tail[4];
  PutBE32(tail, crc);
  sink(head, 8);
  if (n) sink(data, n);
  sink(tail, 4);
}

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

}  // namespace

std::vector<uint8_t> PngFilteredRows(const Bitmap& bmp) {
  const Layout l = LayoutOf(bmp);
  const size_t n = l.rowBytes, step = l.pixelStep;
  std::vector<uint8_t> out(size_t(bmp.Height()) * (n + 1));
  std::vector<uint8_t> bgrx(l.palette ? 0 : size_t(bmp.Width()) * 4);
  // Two raw rows in turn (the current one and its prior), and the Up candidate; Sub is built in
  // place in the output.
  std::vector<uint8_t> rows(l.palette ? 0 : 2 * n), up(n), zero(n, 0);
  const uint8_t* prior = zero.data();
  for (int y = 0; y < bmp.Height(); ++y) {
    uint8_t* rgb = l.palette ? nullptr : rows.data() + (size_t(y) & 1) * n;
    const uint8_t* raw = RawRow(bmp, l, y, bgrx.data(), rgb);
    uint8_t* dst = out.data() + size_t(y) * (n + 1);
    uint8_t* sub = dst + 1;
    for (size_t j = 0; j < std::min(step, n); ++j) sub[j] = raw[j];
    for (size_t j = step; j < n; ++j) sub[j] = uint8_t(raw[j] - raw[j - step]);
    for (size_t j = 0; j < n; ++j) up[j] = uint8_t(raw[j] - prior[j]);
    const size_t subScore = Score(sub, n), upScore = Score(up.data(), n);
    if (subScore >= upScore && subScore > 0) {
      dst[0] = 1;
    } else if (upScore > subScore) {
      dst[0] = 2;
      std::memcpy(sub, up.data(), n);
    } else {
      dst[0] = 0;
      std::memcpy(sub, raw, n);
    }
    prior = raw;
  }
  return out;
}

std::vector<uint8_t> EncodePng(const Bitmap& bmp) {
  std::vector<uint8_t> out;
  WritePng(bmp, [&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); });
  return out;
}

void WritePng(const Bitmap& bmp, const ByteSink& sink) {
  if (bmp.Empty()) throw EInvalidGraphic("Cannot save an empty picture as PNG");
  const Layout l = LayoutOf(bmp);

  std::vector<uint8_t> stream;
  {
    const std::vector<uint8_t> rows = PngFilteredRows(bmp);
    std::unique_ptr<libdeflate_compressor, CompressorFree> c(
        libdeflate_alloc_compressor(kPngDeflateLevel));
    if (!c) throw EInvalidGraphic("PNG: out of memory");
    stream.resize(libdeflate_zlib_compress_bound(c.get(), rows.size()));
    const size_t size =
        libdeflate_zlib_compress(c.get(), rows.data(), rows.size(), stream.data(), stream.size());
    if (size == 0) throw EInvalidGraphic("PNG: compression failed");
    stream.resize(size);
  }

  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  sink(kSignature, 8);
  uint8_t ihdr[13] = {};
  PutBE32(ihdr, uint32_t(bmp.Width()));
  PutBE32(ihdr + 4, uint32_t(bmp.Height()));
  ihdr[8] = uint8_t(l.depth);
  ihdr[9] = l.palette ? 3 : 2;
  Chunk(sink, "IHDR", ihdr, sizeof ihdr);

  const auto& pal = bmp.Palette();
  const uint8_t rgbKey[3] = {uint8_t(bmp.TransparentColor), uint8_t(bmp.TransparentColor >> 8),
                             uint8_t(bmp.TransparentColor >> 16)};
  if (l.palette) {
    // Every index the depth can hold gets an entry: a BMP or GIF may use indexes beyond its
    // palette, which a PNG reader would reject. Missing entries are black.
    const size_t entries = size_t(1) << l.depth;
    std::vector<uint8_t> plte(entries * 3, 0);
    std::vector<uint8_t> trns;
    for (size_t i = 0; i < std::min(entries, pal.size()); ++i) {
      plte[3 * i] = pal[i].red, plte[3 * i + 1] = pal[i].green, plte[3 * i + 2] = pal[i].blue;
      if (bmp.Transparent && pal[i].red == rgbKey[0] && pal[i].green == rgbKey[1] &&
          pal[i].blue == rgbKey[2]) {
        trns.resize(i + 1, 255);
        trns[i] = 0;
      }
    }
    Chunk(sink, "PLTE", plte.data(), plte.size());
    // A palette picture marks its transparent colour through the alpha of the entries that hold
    // it; with no such entry there is nothing to mark.
    if (!trns.empty()) Chunk(sink, "tRNS", trns.data(), trns.size());
  } else if (bmp.Transparent) {
    const uint8_t trns[6] = {0, rgbKey[0], 0, rgbKey[1], 0, rgbKey[2]};
    Chunk(sink, "tRNS", trns, sizeof trns);
  }

  for (size_t at = 0; at < stream.size(); at += kPngIdatSize)
    Chunk(sink, "IDAT", stream.data() + at, std::min(kPngIdatSize, stream.size() - at));
  Chunk(sink, "IEND", nullptr, 0);
}

}  // namespace quendra
