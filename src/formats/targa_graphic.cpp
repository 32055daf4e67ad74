#include "formats/targa_graphic.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "formats/targa_rle.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTTargaGraphic() {
  return std::make_unique<TTargaGraphic>();
}
const GraphicClass TTargaGraphic::kClass{"TTargaGraphic", &TGraphicExGraphic::kClass,
                                         &NewTTargaGraphic};

namespace {

// The largest blank canvas a file without pixel data gets (16 megapixels).
constexpr uint64_t kMaxBlankPixels = uint64_t(16) << 20;

constexpr size_t kHeaderSize = 18;

uint16_t Word(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
void PutWord(std::vector<uint8_t>& out, size_t at, unsigned v) {
  out[at] = uint8_t(v & 0xFF);
  out[at + 1] = uint8_t((v >> 8) & 0xFF);
}

[[noreturn]] void Fail(const std::string& what) {
  throw EInvalidGraphic("Targa: " + what);
}

RGBQuad MapEntry(const uint8_t* p, int bits) {
  if (bits == 15 || bits == 16) {
    unsigned w = Word(p);
    return {uint8_t((w & 0x1F) << 3), uint8_t((w & 0x3E0) >> 2), uint8_t((w & 0x7C00) >> 7), 0};
  }
  return {p[0], p[1], p[2], 0};  // 24 and 32 bits: blue, green, red (alpha dropped)
}

// 16-bit grey pixels are a grey byte and an alpha byte; they become 32-bit pixels.
void GreyAlphaTo32(const uint8_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    dst[4 * x] = dst[4 * x + 1] = dst[4 * x + 2] = src[2 * x];
    dst[4 * x + 3] = src[2 * x + 1];
  }
}

// The header's fields and the layout they decide, checked before anything is allocated.
struct TargaHeader {
  unsigned idLength, mapType, imageType, mapFirst, mapLength, mapEntryBits;
  int width, height, pixelBits;
  bool topFirst, rightToLeft, grey, greyAlpha, hasPixels, rle;
  PixelFormat pf;
  size_t pixelBytes, rowBytes;
};

TargaHeader ReadTargaHeader(std::span<const uint8_t> data) {
  if (data.size() < kHeaderSize) Fail("the file is shorter than its header");
  const uint8_t* h = data.data();
  TargaHeader t{};
  t.idLength = h[0];
  t.mapType = h[1];
  t.imageType = h[2];
  t.mapFirst = Word(h + 3);
  t.mapLength = Word(h + 5);
  t.mapEntryBits = h[7];
  t.width = Word(h + 12);
  t.height = Word(h + 14);
  t.pixelBits = h[16];
  t.topFirst = (h[17] & 0x20) != 0;
  t.rightToLeft = (h[17] & 0x10) != 0;
  t.grey = t.imageType == 3 || t.imageType == 11;

  // Types 32 and 33 (colour-mapped data in Huffman, delta and run-length coding, or in
  // quadtree order) have no reader; showing them as a blank picture would be made up.
  if (t.imageType == 32 || t.imageType == 33)
    Fail("compressed colour-mapped pictures (image type " + std::to_string(t.imageType) +
         ") are not supported");
  const int bits = t.pixelBits;
  if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32)
    Fail("unsupported pixel size " + std::to_string(bits));
  // The pixel size decides the layout: a grey image type with 15, 24 or 32-bit pixels is read
  // like the colour types. Only 8-bit grey pictures get the grey ramp, and 16-bit ones are a
  // grey level and an alpha byte, as every program that writes them means them.
  t.greyAlpha = t.grey && bits == 16;
  t.hasPixels =
      t.imageType == 1 || t.imageType == 2 || t.grey || t.imageType == 9 || t.imageType == 10;
  // A file without pixels (image type 0, or a type no writer uses) reads as a blank canvas of
  // its header's size; beyond what a real picture of that kind could want, 36 bytes would
  // claim 168 megapixels of memory for nothing.
  if (!t.hasPixels && uint64_t(t.width) * t.height > kMaxBlankPixels)
    Fail("a picture without pixel data (image type " + std::to_string(t.imageType) + ") of " +
         std::to_string(t.width) + " x " + std::to_string(t.height));
  t.rle = t.imageType >= 9 && t.imageType <= 11;
  // A picture without area is not a picture, whatever its image type.
  if (t.width == 0 || t.height == 0) Fail("the picture has no pixels");
  CheckDimensions(t.width, t.height);

  t.pf = PixelFormat::pf8bit;
  if (t.greyAlpha || bits == 32)
    t.pf = PixelFormat::pf32bit;
  else if (bits == 15 || bits == 16)
    t.pf = PixelFormat::pf15bit;
  else if (bits == 24)
    t.pf = PixelFormat::pf24bit;
  t.pixelBytes = size_t(bits + 7) / 8;
  t.rowBytes = size_t(t.width) * t.pixelBytes;
  return t;
}

// Skips the identification field and reads the colour map; returns where the pixels start.
size_t ReadTargaMap(const TargaHeader& t, std::span<const uint8_t> data,
                    std::vector<RGBQuad>& palette) {
  size_t pos = kHeaderSize + t.idLength;
  if (pos > data.size()) Fail("the identification field is truncated");
  if (t.mapType != 1) return pos;
  const unsigned entryBits = t.mapEntryBits;
  if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32)
    Fail("unsupported colour map entry size " + std::to_string(entryBits));
  const size_t entryBytes = (entryBits + 7) / 8;
  const size_t mapBytes = size_t(t.mapLength) * entryBytes;
  if (data.size() - pos < mapBytes) Fail("the colour map is truncated");
  // Entries are numbered from the first index on: pixel value mapFirst + i is entry i.
  palette.assign(256, RGBQuad{});
  for (size_t i = 0; i < t.mapLength && t.mapFirst + i < 256; ++i)
    palette[t.mapFirst + i] = MapEntry(data.data() + pos + i * entryBytes, int(entryBits));
  return pos + mapBytes;  // the whole map, however long
}

// Refuses before allocating when the data cannot hold the picture: stored rows need every
// byte, a packet gives at most 128 pixels for a header byte and one pixel.
void CheckTargaPixels(const TargaHeader& t, size_t remaining) {
  if (!t.hasPixels) return;
  const size_t pixels = size_t(t.width) * size_t(t.height);
  if (!t.rle && remaining / t.rowBytes < size_t(t.height)) Fail("the pixel data is truncated");
  if (t.rle && remaining / (1 + t.pixelBytes) < (pixels + 127) / 128)
    Fail("the pixel data is truncated");
}

void DecodeTargaRows(const TargaHeader& t, const uint8_t* src, size_t left, Bitmap& bmp) {
  std::vector<uint8_t> greyRow(t.greyAlpha ? t.rowBytes : 0);
  TTargaRLEDecoder rleDecoder(t.pixelBits);
  FileReadOnce file(src);
  for (int y = 0; y < t.height; ++y) {
    file.ReadUpTo(src);
    uint8_t* row = bmp.Row(t.topFirst ? y : t.height - 1 - y);
    uint8_t* target = t.greyAlpha ? greyRow.data() : row;
    if (t.rle) {
      size_t used = rleDecoder.Decode(src, left, target, size_t(t.width));
      src += used;
      left -= used;
    } else {
      std::memcpy(target, src, t.rowBytes);
      src += t.rowBytes;
      left -= t.rowBytes;
    }
    if (t.greyAlpha) GreyAlphaTo32(greyRow.data(), row, t.width);
  }
}

// Rows stored right to left are mirrored so the picture reads as it was drawn.
void MirrorRows(const TargaHeader& t, Bitmap& bmp) {
  const size_t pb = t.pf == PixelFormat::pf32bit ? 4 : t.pixelBytes;
  std::vector<uint8_t> tmp(pb);
  for (int y = 0; y < t.height; ++y) {
    uint8_t* row = bmp.Row(y);
    for (int l = 0, r = t.width - 1; l < r; ++l, --r) {
      std::memcpy(tmp.data(), row + l * pb, pb);
      std::memcpy(row + l * pb, row + r * pb, pb);
      std::memcpy(row + r * pb, tmp.data(), pb);
    }
  }
}

}  // namespace

void TTargaGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  image_ = Bitmap();
  const TargaHeader t = ReadTargaHeader(data);
  std::vector<RGBQuad> palette;
  const size_t pos = ReadTargaMap(t, data, palette);
  const size_t remaining = data.size() - pos;
  CheckTargaPixels(t, remaining);

  Bitmap bmp(t.width, t.height, t.pf);
  if (t.pf == PixelFormat::pf8bit) {
    if (t.grey) {
      for (int i = 0; i < 256; ++i) bmp.Palette()[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    } else if (t.mapType == 1) {
      bmp.Palette() = palette;
    }
  }
  if (t.hasPixels) {
    DecodeTargaRows(t, data.data() + pos, remaining, bmp);
    if (t.rightToLeft) MirrorRows(t, bmp);
  }
  image_ = std::move(bmp);
}

std::vector<uint8_t> TTargaGraphic::SaveToMemory(bool compressed) {
  if (image_.Format() == PixelFormat::pf1bit || image_.Format() == PixelFormat::pf4bit) {
    Bitmap wide(image_.Width(), image_.Height(), PixelFormat::pf8bit);
    wide.Palette() = image_.Palette();
    const bool one = image_.Format() == PixelFormat::pf1bit;
    for (int y = 0; y < image_.Height(); ++y) {
      const uint8_t* s = image_.Row(y);
      uint8_t* d = wide.Row(y);
      for (int x = 0; x < image_.Width(); ++x)
        d[x] = one ? (s[x >> 3] >> (7 - (x & 7))) & 1 : (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    }
    wide.Transparent = image_.Transparent;
    wide.TransparentColor = image_.TransparentColor;
    wide.TransparentMode_ = image_.TransparentMode_;
    image_ = std::move(wide);
  }
  return EncodeTarga(image_, compressed);
}

std::vector<uint8_t> EncodeTarga(const Bitmap& src, bool compressed) {
  std::vector<uint8_t> out;
  WriteTarga(src, compressed, [&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); });
  return out;
}

void WriteTarga(const Bitmap& src, bool compressed, const ByteSink& sink) {
  if (src.Empty()) return;
  if (src.Format() == PixelFormat::pf1bit || src.Format() == PixelFormat::pf4bit) {
    TTargaGraphic widened;
    widened.SetImage(src);
    const std::vector<uint8_t> bytes = widened.SaveToMemory(compressed);
    return sink(bytes.data(), bytes.size());
  }
  const PixelFormat pf = src.Format();
  const bool indexed = pf == PixelFormat::pf8bit;
  const int b = BitsPerPixel(pf) / 8;
  const int width = src.Width(), height = src.Height();
  if (width > 0xFFFF || height > 0xFFFF)
    throw EInvalidGraphicOperation("Targa pictures are at most 65535 pixels wide and high");

  std::vector<uint8_t> out(kHeaderSize, 0);
  out[1] = indexed ? 1 : 0;
  out[2] = uint8_t(indexed ? (compressed ? 9 : 1) : (compressed ? 10 : 2));
  if (indexed) {
    PutWord(out, 5, 256);
    out[7] = 24;
  }
  PutWord(out, 12, unsigned(width));
  PutWord(out, 14, unsigned(height));
  out[16] = uint8_t(8 * b);
  out[17] = 0x20;
  if (indexed) {
    const auto& pal = src.Palette();
    for (size_t i = 0; i < 256; ++i) {
      RGBQuad q = i < pal.size() ? pal[i] : RGBQuad{};
      out.insert(out.end(), {q.blue, q.green, q.red});
    }
  }

  // Targa 16-bit pixels are 5-5-5; a 5-6-5 row is repacked so the colours survive.
  std::vector<uint8_t> repacked(pf == PixelFormat::pf16bit ? size_t(width) * 2 : 0);
  TTargaRLEDecoder encoder(8 * b);
  // Rows are encoded each by itself, so they go to the sink in batches of about a megabyte.
  constexpr size_t kBatch = size_t(1) << 20;
  for (int y = 0; y < height; ++y) {
    if (out.size() >= kBatch) {
      sink(out.data(), out.size());
      out.clear();
    }
    const uint8_t* row = src.Row(y);
    if (pf == PixelFormat::pf16bit) {
      for (int x = 0; x < width; ++x) {
        unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
        unsigned v = ((w >> 1) & 0x7FE0) | (w & 0x1F);
        repacked[2 * x] = uint8_t(v & 0xFF);
        repacked[2 * x + 1] = uint8_t(v >> 8);
      }
      row = repacked.data();
    }
    if (compressed)
      encoder.Encode(row, size_t(width), out);
    else
      out.insert(out.end(), row, row + size_t(width) * size_t(b));
  }
  sink(out.data(), out.size());
}

namespace {
constexpr std::string_view kTargaListed[] = {".tga"};
void SaveTarga(const Bitmap& bmp, const ByteSink& sink) {
  if (bmp.Empty()) throw EInvalidGraphic("Cannot save an empty picture as Targa");
  WriteTarga(bmp, true, sink);
}
const WriterRecord kTargaWriter{SaveFormat::Targa, ".tga", {}, &SaveTarga};
}  // namespace

// The general format module registers the class.
const FormatRecord kTargaFormat{&TTargaGraphic::kClass, {}, {}, kTargaListed, false, &kTargaWriter};

}  // namespace quendra
