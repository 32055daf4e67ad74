#include "formats/pcx_graphic.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/errors.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTPCXGraphic() {
  return std::make_unique<TPCXGraphic>();
}
const GraphicClass TPCXGraphic::kClass{"TPCXGraphic", &TGraphicExGraphic::kClass, &NewTPCXGraphic};

// blue, green, red: black, maroon, green, olive, navy, purple, teal, silver, grey, red, lime,
// yellow, blue, fuchsia, aqua, white.
const RGBQuad kSystemPalette16[16] = {
    {0, 0, 0, 0},       {0, 0, 128, 0},   {0, 128, 0, 0},   {0, 128, 128, 0},
    {128, 0, 0, 0},     {128, 0, 128, 0}, {128, 128, 0, 0}, {192, 192, 192, 0},
    {128, 128, 128, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {0, 255, 255, 0},
    {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0}};

namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kClosingPaletteSize = 769;  // marker byte 12 and 256 red-green-blue triples

uint16_t Word(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}

[[noreturn]] void Invalid(const std::string& why) {
  throw EInvalidGraphic("Invalid PCX, PCC or SCR image: " + why);
}

std::vector<RGBQuad> GreyScale(int n) {
  std::vector<RGBQuad> pal(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    auto v = uint8_t(i * 255 / (n - 1));
    pal[size_t(i)] = {v, v, v, 0};
  }
  return pal;
}

// PCX run-length decoding, one line at a time; a run may go on into the next line. Counts are
// cut to what is still wanted and nothing past the data is read.
struct RleReader {
  const uint8_t* src;
  size_t size, pos = 0;
  size_t runLeft = 0;
  uint8_t runValue = 0;

  // Fills out; returns how many bytes the data reached (the rest is left alone).
  size_t Read(uint8_t* out, size_t want) {
    size_t d = 0;
    while (d < want) {
      if (runLeft > 0) {
        size_t n = std::min(runLeft, want - d);
        std::memset(out + d, runValue, n);
        d += n;
        runLeft -= n;
        continue;
      }
      if (pos >= size) break;
      uint8_t v = src[pos++];
      if (v >= 192) {
        if (pos >= size) break;
        runLeft = v & 0x3F;
        runValue = src[pos++];
      } else {
        out[d++] = v;
      }
    }
    return d;
  }
};

// The header's fields as stored; only the length and the manufacturer byte are checked here.
struct PcxHeader {
  const uint8_t* raw;  // the 128 header bytes (the 16-colour palette lives in them)
  int version;
  bool compressed;
  int bitsPerSample;
  int xMin, yMin, xMax, yMax;
  uint16_t xResolution, yResolution;
  int planes;
  size_t bytesPerLine;
  int paletteInfo;
};

PcxHeader ReadPcxHeader(std::span<const uint8_t> data) {
  if (data.size() < kHeaderSize) Invalid("the file is shorter than its header");
  const uint8_t* h = data.data();
  if (h[0] != 10 && h[0] != 205) Invalid("wrong manufacturer byte");
  return {.raw = h,
          .version = h[1],
          .compressed = h[2] == 1,
          .bitsPerSample = h[3],
          .xMin = Word(h + 4),
          .yMin = Word(h + 6),
          .xMax = Word(h + 8),
          .yMax = Word(h + 10),
          .xResolution = Word(h + 12),
          .yResolution = Word(h + 14),
          .planes = h[65],
          .bytesPerLine = Word(h + 66),
          .paletteInfo = Word(h + 68)};
}

// What the rows need, every size checked against the data before the bitmap is allocated.
struct PcxLayout {
  int width, height;
  PixelFormat pf;
  size_t lineSize;  // all planes of one line
  bool closingPalette;
  size_t dataSize;  // the pixel data's bytes after the header
};

PcxLayout CheckPcxLayout(const PcxHeader& hd, std::span<const uint8_t> data) {
  if (hd.xMax < hd.xMin || hd.yMax < hd.yMin)
    Invalid("the picture's right or bottom edge lies before its left or top");
  PcxLayout l{};
  l.width = hd.xMax - hd.xMin + 1;
  l.height = hd.yMax - hd.yMin + 1;

  // Layouts with a pixel format; everything else (3 planes of 1 bit, 4 planes of 8 bits, ...)
  // is refused.
  const int bits = hd.bitsPerSample, planes = hd.planes;
  if (bits == 1 && planes == 1)
    l.pf = PixelFormat::pf1bit;
  else if ((bits == 1 && (planes == 2 || planes == 4)) || (bits == 2 && planes == 1) ||
           (bits == 4 && planes == 1))
    l.pf = PixelFormat::pf4bit;
  else if (bits == 8 && planes == 1)
    l.pf = PixelFormat::pf8bit;
  else if (bits == 8 && planes == 3)
    l.pf = PixelFormat::pf24bit;
  else
    throw EInvalidGraphic("Unsupported PCX image format: " + std::to_string(bits) +
                          " bits per sample in " + std::to_string(planes) + " planes");

  // A plane line must hold the picture's width, else rows would be read past their bytes.
  if (hd.bytesPerLine == 0 || hd.bytesPerLine * 8 < size_t(l.width) * size_t(bits))
    Invalid("the plane lines are shorter than the picture is wide");
  CheckDimensions(l.width, l.height);
  l.lineSize = size_t(planes) * hd.bytesPerLine;

  const size_t size = data.size();
  l.closingPalette = l.pf == PixelFormat::pf8bit && size >= kHeaderSize + kClosingPaletteSize &&
                     data[size - kClosingPaletteSize] == 12;
  l.dataSize = size - kHeaderSize;
  if (!hd.compressed && l.closingPalette) l.dataSize -= kClosingPaletteSize;
  // Data that ends early loads as far as it goes (the rest stays zero), but data that could
  // not fill the picture even at the best run-length ratio (63 bytes a pair) claims a picture
  // that is not there: refused before anything is allocated.
  const size_t reachable = hd.compressed ? l.dataSize / 2 * 63 + l.dataSize % 2 : l.dataSize;
  if (reachable / l.lineSize < size_t(l.height)) Invalid("the pixel data is truncated");
  return l;
}

// Palette, by the bitmap's pixel format.
void FillPcxPalette(const PcxHeader& hd, const PcxLayout& l, std::span<const uint8_t> data,
                    Bitmap& bmp) {
  auto& pal = bmp.Palette();
  const PixelFormat pf = l.pf;
  if (hd.version == 3 && pf != PixelFormat::pf1bit) {
    pal.assign(kSystemPalette16, kSystemPalette16 + 16);
    if (pf == PixelFormat::pf8bit) pal.resize(256);
  } else if (pf == PixelFormat::pf1bit) {
    pal = GreyScale(2);
  } else if (pf == PixelFormat::pf4bit) {
    if (hd.paletteInfo == 2) {
      pal = GreyScale(16);
    } else {
      const uint8_t* h = hd.raw;
      pal.resize(16);
      for (int i = 0; i < 16; ++i)
        pal[size_t(i)] = {h[16 + 3 * i + 2], h[16 + 3 * i + 1], h[16 + 3 * i], 0};
    }
  } else if (pf == PixelFormat::pf8bit) {
    if (l.closingPalette) {
      const uint8_t* p = data.data() + data.size() - 768;
      for (int i = 0; i < 256; ++i) pal[size_t(i)] = {p[3 * i + 2], p[3 * i + 1], p[3 * i], 0};
    } else if (hd.paletteInfo == 2) {
      pal = GreyScale(256);
    }  // else the bitmap's default palette stays
  }
}

// One line of planes (zero-filled past the data) into one bitmap row.
void ConvertPcxLine(const uint8_t* line, const PcxHeader& hd, const PcxLayout& l, uint8_t* row,
                    size_t stride) {
  const size_t bytesPerLine = hd.bytesPerLine;
  const int width = l.width, planes = hd.planes;
  if (l.pf == PixelFormat::pf24bit) {
    const uint8_t *r = line, *g = r + bytesPerLine, *b = r + 2 * bytesPerLine;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = b[x];
      row[3 * x + 1] = g[x];
      row[3 * x + 2] = r[x];
    }
  } else if (l.pf == PixelFormat::pf4bit && hd.bitsPerSample == 1) {
    // Planes give bits 0, 1 (, 2, 3) of each index; the first pixel goes to the high nibble.
    std::memset(row, 0, stride);
    for (int x = 0; x < width; ++x) {
      const int shift = 7 - (x & 7);
      unsigned v = 0;
      for (int p = 0; p < planes; ++p)
        v |= unsigned((line[size_t(p) * bytesPerLine + size_t(x >> 3)] >> shift) & 1) << p;
      row[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
    }
  } else if (l.pf == PixelFormat::pf4bit && hd.bitsPerSample == 2) {
    // Each two-bit sample becomes a four-bit index of the same value.
    std::memset(row, 0, stride);
    for (int x = 0; x < width; ++x) {
      unsigned v = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3;
      row[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
    }
  } else {
    // 1, 4 and 8-bit single planes already have the bitmap's layout.
    std::memcpy(row, line, (size_t(width) * size_t(hd.bitsPerSample) + 7) / 8);
  }
}

void DecodePcxRows(const PcxHeader& hd, const PcxLayout& l, std::span<const uint8_t> data,
                   Bitmap& bmp) {
  const size_t lineSize = l.lineSize, dataSize = l.dataSize;
  std::vector<uint8_t> line(lineSize);
  RleReader rle{data.data() + kHeaderSize, dataSize};
  size_t storedPos = kHeaderSize;
  FileReadOnce file(data.data() + kHeaderSize);
  for (int y = 0; y < l.height; ++y) {
    file.ReadUpTo(data.data() + (hd.compressed ? kHeaderSize + rle.pos : storedPos));
    size_t got;
    if (hd.compressed) {
      got = rle.Read(line.data(), lineSize);
    } else {
      got = std::min(lineSize, kHeaderSize + dataSize - storedPos);
      std::memcpy(line.data(), data.data() + storedPos, got);
      storedPos += got;
    }
    if (got == 0) break;  // the rows left stay as allocated: zero
    std::fill(line.begin() + std::ptrdiff_t(got), line.end(), uint8_t(0));
    ConvertPcxLine(line.data(), hd, l, bmp.Row(y), bmp.Stride());
  }
}

}  // namespace

void TPCXGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  image_ = Bitmap();
  const PcxHeader hd = ReadPcxHeader(data);
  XResolution = hd.xResolution;
  YResolution = hd.yResolution;
  const PcxLayout layout = CheckPcxLayout(hd, data);
  Bitmap bmp(layout.width, layout.height, layout.pf);
  FillPcxPalette(hd, layout, data, bmp);
  DecodePcxRows(hd, layout, data, bmp);
  image_ = std::move(bmp);
}

namespace {
constexpr std::string_view kPcxListed[] = {".pcx"};
}  // namespace

// The general format module registers the class; there is no writer.
const FormatRecord kPcxFormat{&TPCXGraphic::kClass, {}, {}, kPcxListed, false, nullptr};

}  // namespace quendra
