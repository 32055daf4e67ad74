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

}  // namespace

void TTargaGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  image_ = Bitmap();
  if (data.size() < kHeaderSize) Fail("the file is shorter than its header");
  const uint8_t* h = data.data();
  const unsigned idLength = h[0];
  const unsigned mapType = h[1];
  const unsigned imageType = h[2];
  const unsigned mapFirst = Word(h + 3);
  const unsigned mapLength = Word(h + 5);
  const unsigned mapEntryBits = h[7];
  const int width = Word(h + 12);
  const int height = Word(h + 14);
  const int pixelBits = h[16];
  const bool topFirst = (h[17] & 0x20) != 0;
  const bool rightToLeft = (h[17] & 0x10) != 0;
  const bool grey = imageType == 3 || imageType == 11;

  // Types 32 and 33 (colour-mapped data in Huffman, delta and run-length coding, or in
  // quadtree order) have no reader; showing them as a blank picture would be made up.
  if (imageType == 32 || imageType == 33)
    Fail("compressed colour-mapped pictures (image type " + std::to_string(imageType) +
         ") are not supported");
  if (pixelBits != 8 && pixelBits != 15 && pixelBits != 16 && pixelBits != 24 && pixelBits != 32)
    Fail("unsupported pixel size " + std::to_string(pixelBits));
  // The pixel size decides the layout: a grey image type with 15, 24 or 32-bit pixels is read
  // like the colour types. Only 8-bit grey pictures get the grey ramp, and 16-bit ones are a
  // grey level and an alpha byte, as every program that writes them means them.
  const bool greyAlpha = grey && pixelBits == 16;
  const bool hasPixels =
      imageType == 1 || imageType == 2 || grey || imageType == 9 || imageType == 10;
  // A picture without area is not a picture, whatever its image type.
  if (width == 0 || height == 0) Fail("the picture has no pixels");
  CheckDimensions(width, height);

  size_t pos = kHeaderSize + idLength;
  if (pos > data.size()) Fail("the identification field is truncated");

  std::vector<RGBQuad> palette;
  if (mapType == 1) {
    if (mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32)
      Fail("unsupported colour map entry size " + std::to_string(mapEntryBits));
    const size_t entryBytes = (mapEntryBits + 7) / 8;
    const size_t mapBytes = size_t(mapLength) * entryBytes;
    if (data.size() - pos < mapBytes) Fail("the colour map is truncated");
    // Entries are numbered from the first index on: pixel value mapFirst + i is entry i.
    palette.assign(256, RGBQuad{});
    for (size_t i = 0; i < mapLength && mapFirst + i < 256; ++i)
      palette[mapFirst + i] = MapEntry(data.data() + pos + i * entryBytes, int(mapEntryBits));
    pos += mapBytes;  // the whole map, however long
  }

  PixelFormat pf = PixelFormat::pf8bit;
  if (greyAlpha || pixelBits == 32)
    pf = PixelFormat::pf32bit;
  else if (pixelBits == 15 || pixelBits == 16)
    pf = PixelFormat::pf15bit;
  else if (pixelBits == 24)
    pf = PixelFormat::pf24bit;

  const size_t b = size_t(pixelBits + 7) / 8;
  const size_t rowBytes = size_t(width) * b;
  const size_t remaining = data.size() - pos;
  const bool rle = imageType >= 9 && imageType <= 11;
  if (hasPixels) {
    // Refuse before allocating when the data cannot hold the picture: stored rows need every
    // byte, a packet gives at most 128 pixels for a header byte and one pixel.
    const size_t pixels = size_t(width) * size_t(height);
    if (!rle && remaining / rowBytes < size_t(height)) Fail("the pixel data is truncated");
    if (rle && remaining / (1 + b) < (pixels + 127) / 128) Fail("the pixel data is truncated");
  }

  Bitmap bmp(width, height, pf);
  if (pf == PixelFormat::pf8bit) {
    if (grey) {
      for (int i = 0; i < 256; ++i) bmp.Palette()[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    } else if (mapType == 1) {
      bmp.Palette() = palette;
    }
  }

  if (hasPixels) {
    std::vector<uint8_t> greyRow(greyAlpha ? rowBytes : 0);
    TTargaRLEDecoder rleDecoder(pixelBits);
    const uint8_t* src = data.data() + pos;
    size_t left = remaining;
    for (int y = 0; y < height; ++y) {
      uint8_t* row = bmp.Row(topFirst ? y : height - 1 - y);
      uint8_t* target = greyAlpha ? greyRow.data() : row;
      if (rle) {
        size_t used = rleDecoder.Decode(src, left, target, size_t(width));
        src += used;
        left -= used;
      } else {
        std::memcpy(target, src, rowBytes);
        src += rowBytes;
        left -= rowBytes;
      }
      if (greyAlpha) GreyAlphaTo32(greyRow.data(), row, width);
    }
    if (rightToLeft) {
      // Rows stored right to left are mirrored so the picture reads as it was drawn.
      const size_t pb = pf == PixelFormat::pf32bit ? 4 : b;
      std::vector<uint8_t> tmp(pb);
      for (int y = 0; y < height; ++y) {
        uint8_t* row = bmp.Row(y);
        for (int l = 0, r = width - 1; l < r; ++l, --r) {
          std::memcpy(tmp.data(), row + l * pb, pb);
          std::memcpy(row + l * pb, row + r * pb, pb);
          std::memcpy(row + r * pb, tmp.data(), pb);
        }
      }
    }
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
