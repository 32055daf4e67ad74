#include "formats/png_writer.h"

#include <libdeflate.h>
#include <zlib.h>

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

// Filters the rows one after another; each row needs only the raw row before it.
class RowFilter {
 public:
  explicit RowFilter(const Bitmap& bmp)
      : bmp_(bmp),
        l_(LayoutOf(bmp)),
        bgrx_(l_.palette ? 0 : size_t(bmp.Width()) * 4),
        rows_(l_.palette ? 0 : 2 * l_.rowBytes),
        up_(l_.rowBytes),
        zero_(l_.rowBytes, 0),
        prior_(zero_.data()) {}

  size_t FilteredBytes() const { return l_.rowBytes + 1; }

  // Writes row y (the rows in order from 0) as its filter-type byte and the filtered bytes.
  void Row(int y, uint8_t* dst) {
    const size_t n = l_.rowBytes, step = l_.pixelStep;
    // Two raw rows in turn (the current one and its prior), and the Up candidate; Sub is built
    // in place in the output.
    uint8_t* rgb = l_.palette ? nullptr : rows_.data() + (size_t(y) & 1) * n;
    const uint8_t* raw = RawRow(bmp_, l_, y, bgrx_.data(), rgb);
    uint8_t* sub = dst + 1;
    for (size_t j = 0; j < std::min(step, n); ++j) sub[j] = raw[j];
    for (size_t j = step; j < n; ++j) sub[j] = uint8_t(raw[j] - raw[j - step]);
    for (size_t j = 0; j < n; ++j) up_[j] = uint8_t(raw[j] - prior_[j]);
    const size_t subScore = Score(sub, n), upScore = Score(up_.data(), n);
    if (subScore >= upScore && subScore > 0) {
      dst[0] = 1;
    } else if (upScore > subScore) {
      dst[0] = 2;
      std::memcpy(sub, up_.data(), n);
    } else {
      dst[0] = 0;
      std::memcpy(sub, raw, n);
    }
    prior_ = raw;
  }

 private:
  const Bitmap& bmp_;
  Layout l_;
  std::vector<uint8_t> bgrx_, rows_, up_, zero_;
  const uint8_t* prior_;
};

// Up to this many filtered bytes go to libdeflate in one piece (it compresses only whole
// buffers, so the rows and their compressed stream are held together); larger pictures stream
// through zlib in bands of rows, so a picture at the pixel limit needs little beyond itself.
constexpr size_t kPngWholeLimit = size_t(256) << 20;
constexpr size_t kPngBandBytes = size_t(4) << 20;

// Streams the zlib data of the filtered rows into IDAT chunks of kPngIdatSize.
void StreamIdat(const Bitmap& bmp, const ByteSink& sink) {
  RowFilter filter(bmp);
  const size_t rowBytes = filter.FilteredBytes();
  const int bandRows = int(std::max<size_t>(1, kPngBandBytes / rowBytes));
  std::vector<uint8_t> band(size_t(bandRows) * rowBytes), idat(kPngIdatSize);
  z_stream z{};
  if (deflateInit(&z, kPngDeflateLevel) != Z_OK) throw EInvalidGraphic("PNG: out of memory");
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&z, deflateEnd);
  z.next_out = idat.data();
  z.avail_out = uInt(idat.size());
  for (int y = 0; y < bmp.Height();) {
    const int rows = std::min(bandRows, bmp.Height() - y);
    for (int r = 0; r < rows; ++r) filter.Row(y + r, band.data() + size_t(r) * rowBytes);
    y += rows;
    const int flush = y == bmp.Height() ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = band.data();
    z.avail_in = uInt(size_t(rows) * rowBytes);
    for (;;) {
      const int rc = deflate(&z, flush);
      if (rc == Z_STREAM_ERROR) throw EInvalidGraphic("PNG: compression failed");
      if (z.avail_out == 0) {
        Chunk(sink, "IDAT", idat.data(), idat.size());
        z.next_out = idat.data();
        z.avail_out = uInt(idat.size());
        continue;
      }
      if (flush == Z_FINISH ? rc == Z_STREAM_END : z.avail_in == 0) break;
    }
  }
  const size_t left = idat.size() - z.avail_out;
  if (left > 0) Chunk(sink, "IDAT", idat.data(), left);
}

}  // namespace

std::vector<uint8_t> PngFilteredRows(const Bitmap& bmp) {
  RowFilter filter(bmp);
  const size_t rowBytes = filter.FilteredBytes();
  std::vector<uint8_t> out(size_t(bmp.Height()) * rowBytes);
  for (int y = 0; y < bmp.Height(); ++y) filter.Row(y, out.data() + size_t(y) * rowBytes);
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

  // Sizes first: a picture too large for one piece streams its rows.
  const size_t filtered = (l.rowBytes + 1) * size_t(bmp.Height());
  std::vector<uint8_t> stream;
  if (filtered <= kPngWholeLimit) {
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

  if (filtered > kPngWholeLimit) StreamIdat(bmp, sink);
  for (size_t at = 0; at < stream.size(); at += kPngIdatSize)
    Chunk(sink, "IDAT", stream.data() + at, std::min(kPngIdatSize, stream.size() - at));
  Chunk(sink, "IEND", nullptr, 0);
}

}  // namespace quendra
