#include "formats/emf_writer.h"

#include "base/errors.h"
#include "formats/tbitmap.h"

namespace quendra {

namespace {

constexpr int kDevicePixelsX = 1920, kDevicePixelsY = 1440;
constexpr int kDeviceMmX = 508, kDeviceMmY = 381;  // at 96 dpi
constexpr uint32_t kSrcCopy = 0x00CC0020, kDibRgbColors = 0;
constexpr size_t kHeaderSize = 108;  // with both extensions (pixel format, micrometres)
constexpr size_t kStretchFixed = 80, kEofSize = 20;

// Little-endian fields appended in order.
struct Out {
  std::vector<uint8_t> bytes;
  void U32(uint32_t x) {
    const uint8_t b[4] = {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)};
    bytes.insert(bytes.end(), b, b + 4);
  }
  void I32(int32_t x) { U32(uint32_t(x)); }
  void Rect(int32_t l, int32_t t, int32_t r, int32_t b) { I32(l), I32(t), I32(r), I32(b); }
};

uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return v.at(at) | uint32_t(v.at(at + 1)) << 8 | uint32_t(v.at(at + 2)) << 16 |
         uint32_t(v.at(at + 3)) << 24;
}

// Pixels to 0.01 mm at the reference device's resolution, rounded to nearest.
int32_t ToHundredthsMm(int pixels) {
  return int32_t((int64_t(pixels) * 2540 + kEmfReferenceDpi / 2) / kEmfReferenceDpi);
}

}  // namespace

std::vector<uint8_t> EncodeEmf(const Bitmap& bmp) {
  std::vector<uint8_t> out;
  WriteEmf(bmp, [&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); });
  return out;
}

void WriteEmf(const Bitmap& bmp, const ByteSink& sink) {
  if (bmp.Empty()) throw EInvalidGraphic("Cannot save an empty picture as EMF");
  const int w = bmp.Width(), h = bmp.Height();
  // The DIB is a BMP file without its 14-byte file header: the info header with its colour
  // table or masks, then the bottom-up rows. It streams through: the file header gives the
  // sizes the records need, and the rest goes on as the BMP writer hands it over.
  uint8_t fileHeader[14];
  size_t have = 0;
  auto records = [&] {
    const std::vector<uint8_t> head(fileHeader, fileHeader + 14);
    const size_t fileSize = Get32(head, 2), bitsAt = Get32(head, 10);
    const size_t infoSize = bitsAt - 14, bitsSize = fileSize - bitsAt;
    const size_t stretchSize = kStretchFixed + infoSize + bitsSize;
    const size_t total = kHeaderSize + stretchSize + kEofSize;
    if (total > 0xFFFFFFFFu) throw EInvalidGraphic("Picture too large for EMF");

    Out out;
    out.bytes.reserve(kHeaderSize + kStretchFixed);
    // EMR_HEADER
    out.U32(EMR_HEADER);
    out.U32(kHeaderSize);
    out.Rect(0, 0, w - 1, h - 1);                                  // bounds, pixels
    out.Rect(0, 0, ToHundredthsMm(w) - 1, ToHundredthsMm(h) - 1);  // frame, 0.01 mm
    out.U32(0x464D4520);                                           // " EMF"
    out.U32(0x10000);                                              // version
    out.U32(uint32_t(total));
    out.U32(3);              // records
    out.U32(1);              // handles (index 0 is reserved), then 16 reserved bits
    out.U32(0), out.U32(0);  // description: length, offset
    out.U32(0);              // palette entries
    out.U32(kDevicePixelsX), out.U32(kDevicePixelsY);
    out.U32(kDeviceMmX), out.U32(kDeviceMmY);
    out.U32(0), out.U32(0), out.U32(0);  // no pixel format, not OpenGL
    out.U32(kDeviceMmX * 1000), out.U32(kDeviceMmY * 1000);

    // EMR_STRETCHDIBITS: the whole DIB onto (0, 0, w, h), copied as it is.
    out.U32(EMR_STRETCHDIBITS);
    out.U32(uint32_t(stretchSize));
    out.Rect(0, 0, w - 1, h - 1);
    out.I32(0), out.I32(0);            // xDest, yDest
    out.I32(0), out.I32(0);            // xSrc, ySrc
    out.I32(w), out.I32(h);            // cxSrc, cySrc
    out.U32(uint32_t(kStretchFixed));  // offBmiSrc
    out.U32(uint32_t(infoSize));
    out.U32(uint32_t(kStretchFixed + infoSize));  // offBitsSrc
    out.U32(uint32_t(bitsSize));
    out.U32(kDibRgbColors);
    out.U32(kSrcCopy);
    out.I32(w), out.I32(h);  // cxDest, cyDest
    sink(out.bytes.data(), out.bytes.size());
  };
  WriteBmp(bmp, [&](const uint8_t* p, size_t n) {
    while (have < 14 && n > 0) {
      fileHeader[have++] = *p++, --n;
      if (have == 14) records();
    }
    if (n > 0) sink(p, n);
  });

  // EMR_EOF: no palette entries.
  Out eof;
  eof.U32(EMR_EOF);
  eof.U32(kEofSize);
  eof.U32(0);
  eof.U32(16);  // offPalEntries
  eof.U32(kEofSize);
  sink(eof.bytes.data(), eof.bytes.size());
}

}  // namespace quendra
