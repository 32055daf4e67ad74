// Every writer on every pixel format it takes, read back by an independent reader: Pillow for
// BMP, PNG, GIF and Targa, djpeg for JPEG, opj_decompress for JPEG 2000, and for EMF a parser of
// the records written here. Lossless formats must come back exactly, lossy ones within a PSNR.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "base/errors.h"
#include "formats/emf_writer.h"
#include "formats/gif_image.h"
#include "formats/metafile.h"
#include "formats/octree_quantizer.h"
#include "formats/png_object.h"
#include "formats/png_writer.h"
#include "saving/save_by_extension.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::RgbaImage;
using testing::TempDir;

const PixelFormat kAllFormats[] = {PixelFormat::pf1bit,  PixelFormat::pf4bit,  PixelFormat::pf8bit,
                                   PixelFormat::pf15bit, PixelFormat::pf16bit, PixelFormat::pf24bit,
                                   PixelFormat::pf32bit};

// A picture in the given format with varied pixels; odd width, so packed rows end mid-byte.
Bitmap Sample(PixelFormat pf, int w = 37, int h = 23) {
  Bitmap b(w, h, pf);
  const int bits = BitsPerPixel(pf);
  if (bits <= 8) {
    const int n = 1 << bits;
    b.Palette().resize(size_t(n));
    for (int i = 0; i < n; ++i)
      b.Palette()[size_t(i)] = {uint8_t(i * 37 % 256), uint8_t(255 - i), uint8_t(i * 91 % 256), 0};
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* r = b.Row(y);
    for (int x = 0; x < w; ++x) {
      const unsigned v = unsigned(x * 13 + y * 29 + (x * y) % 7);
      switch (pf) {
        case PixelFormat::pf1bit:
          if ((v >> 2) & 1) r[x >> 3] |= uint8_t(0x80 >> (x & 7));
          break;
        case PixelFormat::pf4bit:
          r[x >> 1] |= uint8_t((v & 15) << ((x & 1) ? 0 : 4));
          break;
        case PixelFormat::pf8bit:
          r[x] = uint8_t(v);
          break;
        case PixelFormat::pf15bit:
        case PixelFormat::pf16bit: {
          const unsigned word = (v * 2654435761u >> 7) & 0xFFFF;
          r[2 * x] = uint8_t(word), r[2 * x + 1] = uint8_t(word >> 8);
          break;
        }
        case PixelFormat::pf24bit:
        case PixelFormat::pf32bit: {
          const int step = bits / 8;
          r[step * x] = uint8_t(x * 7), r[step * x + 1] = uint8_t(y * 11),
                   r[step * x + 2] = uint8_t(v);
          if (step == 4) r[4 * x + 3] = 0;
          break;
        }
      }
    }
  }
  return b;
}

// A smooth picture in the given format, the kind lossy writers are made for: gradients, and
// for palette formats a ramp of the palette's colours across the picture.
Bitmap Smooth(PixelFormat pf, int w, int h) {
  Bitmap b(w, h, pf);
  const int bits = BitsPerPixel(pf);
  if (bits <= 8) {
    const int n = 1 << bits;
    b.Palette().resize(size_t(n));
    for (int i = 0; i < n; ++i)
      b.Palette()[size_t(i)] = {uint8_t(i * 255 / (n - 1)), uint8_t(128 + i * 127 / (n - 1)), 60,
                                0};
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* r = b.Row(y);
    for (int x = 0; x < w; ++x) {
      const int red = x * 255 / (w - 1), green = y * 255 / (h - 1), blue = (x + y) * 255 / (w + h);
      switch (pf) {
        case PixelFormat::pf1bit:
          if (x >= w / 2) r[x >> 3] |= uint8_t(0x80 >> (x & 7));
          break;
        case PixelFormat::pf4bit:
          r[x >> 1] |= uint8_t((x * 16 / w) << ((x & 1) ? 0 : 4));
          break;
        case PixelFormat::pf8bit:
          r[x] = uint8_t(x * 256 / w);
          break;
        case PixelFormat::pf15bit:
        case PixelFormat::pf16bit: {
          const bool six = pf == PixelFormat::pf16bit;
          const unsigned word = six ? (red >> 3) << 11 | (green >> 2) << 5 | blue >> 3
                                    : (red >> 3) << 10 | (green >> 3) << 5 | blue >> 3;
          r[2 * x] = uint8_t(word), r[2 * x + 1] = uint8_t(word >> 8);
          break;
        }
        default: {
          const int step = bits / 8;
          r[step * x] = uint8_t(blue), r[step * x + 1] = uint8_t(green),
                   r[step * x + 2] = uint8_t(red);
          if (step == 4) r[4 * x + 3] = 0;
        }
      }
    }
  }
  return b;
}

const char* Name(PixelFormat pf) {
  static const std::map<PixelFormat, const char*> names{
      {PixelFormat::pf1bit, "1"},   {PixelFormat::pf4bit, "4"},   {PixelFormat::pf8bit, "8"},
      {PixelFormat::pf15bit, "15"}, {PixelFormat::pf16bit, "16"}, {PixelFormat::pf24bit, "24"},
      {PixelFormat::pf32bit, "32"}};
  return names.at(pf);
}

double Psnr(const RgbaImage& a, const RgbaImage& b) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i) {
    if (i % 4 == 3) continue;
    const double d = double(a.rgba[i]) - double(b.rgba[i]);
    sum += d * d;
    ++n;
  }
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

std::string Write(const TempDir& dir, const Bitmap& b, SaveFormat f, const std::string& name) {
  const std::string path = dir / name;
  WritePictureFile(b, f, path);
  return path;
}

TEST(Writers, LosslessFormatsComeBackExactlyInPillow) {
  if (!testing::HavePillow()) GTEST_SKIP() << "Pillow is not installed";
  TempDir dir;
  struct Item {
    std::string path;
    RgbaImage expected;
    int tolerance;
  };
  std::vector<Item> items;
  for (PixelFormat pf : kAllFormats) {
    const Bitmap b = Sample(pf);
    const RgbaImage want = testing::ToRgba(b);
    // 5-bit channels: readers widen them by their own rule (shift, or scale and round).
    const int wide = pf == PixelFormat::pf15bit || pf == PixelFormat::pf16bit ? 7 : 0;
    const std::string n = Name(pf);
    items.push_back({Write(dir, b, SaveFormat::Bmp, n + ".bmp"), want, wide});
    items.push_back({Write(dir, b, SaveFormat::Png, n + ".png"), want, 0});
    items.push_back({Write(dir, b, SaveFormat::Targa, n + ".tga"), want, wide});
    items.push_back({Write(dir, b, SaveFormat::Emf, n + ".emf"), want, wide});
    // GIF is exact for palette pictures and for deep ones of at most 236 colours.
    if (BitsPerPixel(pf) <= 8) {
      items.push_back({Write(dir, b, SaveFormat::Gif, n + ".gif"), want, 0});
    } else if (pf != PixelFormat::pf15bit && pf != PixelFormat::pf16bit) {
      Bitmap few = b;
      const int step = BitsPerPixel(pf) / 8;
      for (int y = 0; y < few.Height(); ++y)
        for (int x = 0; x < few.Width(); ++x)
          for (int c = 0; c < 3; ++c)
            few.Row(y)[step * x + c] = uint8_t((few.Row(y)[step * x + c] % 6) * 51);
      items.push_back({Write(dir, few, SaveFormat::Gif, n + ".gif"), testing::ToRgba(few), 0});
    }
  }
  std::vector<std::string> paths;
  for (auto& i : items) {
    // EMF: Pillow reads no EMF here; the DIB of its one record is checked as a BMP instead.
    if (i.path.ends_with(".emf")) {
      const auto emf = testing::ReadFileBytes(i.path);
      const auto le = [&](size_t o) {
        return uint32_t(emf[o] | emf[o + 1] << 8 | emf[o + 2] << 16 | uint32_t(emf[o + 3]) << 24);
      };
      const size_t rec = le(4);
      const uint32_t offBmi = le(rec + 48), cbBmi = le(rec + 52), offBits = le(rec + 56),
                     cbBits = le(rec + 60);
      std::vector<uint8_t> bmp(14, 0);
      bmp[0] = 'B', bmp[1] = 'M';
      const uint32_t size = 14 + cbBmi + cbBits, at = 14 + cbBmi;
      std::memcpy(bmp.data() + 2, &size, 4);
      std::memcpy(bmp.data() + 10, &at, 4);
      bmp.insert(bmp.end(), emf.begin() + long(rec + offBmi),
                 emf.begin() + long(rec + offBmi + cbBmi));
      bmp.insert(bmp.end(), emf.begin() + long(rec + offBits),
                 emf.begin() + long(rec + offBits + cbBits));
      i.path += ".dib.bmp";
      testing::WriteFileBytes(i.path, bmp);
    }
    paths.push_back(i.path);
  }
  const auto decoded = testing::DecodeAllWithPillow(paths);
  for (size_t k = 0; k < items.size(); ++k) {
    const Item& i = items[k];
    ASSERT_TRUE(decoded[k]) << i.path;
    ASSERT_EQ(decoded[k]->width, i.expected.width) << i.path;
    ASSERT_EQ(decoded[k]->height, i.expected.height) << i.path;
    EXPECT_LE(testing::CompareRgb(*decoded[k], i.expected).maxDiff, i.tolerance) << i.path;
  }
}

TEST(Writers, LossyFormatsStayWithinTheirPsnr) {
  const bool djpeg = testing::HaveCommand("djpeg"), opj = testing::HaveCommand("opj_decompress");
  if (!djpeg || !opj)
    GTEST_SKIP() << "djpeg and opj_decompress (libjpeg-turbo-progs, libopenjp2-tools) are needed";
  TempDir dir;
  for (PixelFormat pf : kAllFormats) {
    const Bitmap b = Smooth(pf, 120, 90);
    const RgbaImage want = testing::ToRgba(b);
    const std::string n = Name(pf);
    const std::string jpg = Write(dir, b, SaveFormat::Jpeg, n + ".jpg");
    ASSERT_EQ(testing::Run("djpeg -pnm -outfile " + testing::ShellQuote(dir / (n + "j.ppm")) + " " +
                           testing::ShellQuote(jpg)),
              0);
    const auto j = testing::ReadPnm(dir / (n + "j.ppm"));
    ASSERT_TRUE(j) << n;
    // Quality 90: 37 to 49 dB on these pictures; JPEG 2000 at quality 97 keeps small pictures
    // nearly lossless.
    EXPECT_GT(Psnr(*j, want), 36.0) << n;

    const std::string jp2 = Write(dir, b, SaveFormat::Jpeg2000, n + ".j2k");
    ASSERT_EQ(testing::Run("opj_decompress -i " + testing::ShellQuote(jp2) + " -o " +
                           testing::ShellQuote(dir / (n + "k.ppm"))),
              0)
        << "a .j2k name still holds a JP2 file";
    const auto k = testing::ReadPnm(dir / (n + "k.ppm"));
    ASSERT_TRUE(k) << n;
    EXPECT_GT(Psnr(*k, want), 45.0) << n;
  }
  // Baseline, not progressive, three components: SOF0 with 3 components.
  const auto bytes = testing::ReadFileBytes(dir / "32.jpg");
  bool sof0 = false;
  for (size_t i = 0; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) sof0 = bytes[i + 9] == 3;
  EXPECT_TRUE(sof0);
}

// The unfiltered bytes of row y of the filtered stream (undoing Sub, Up or None).
TEST(PngWriter, RowFiltersFollowTheScoreRule) {
  // Row 0: a ramp 0, 10, 20, ... Under Sub every byte becomes 10 (scores high); Up (prior row is
  // zeros) keeps the ramp (scores 0): Sub.
  // Row 1: the same ramp again. Sub scores as before, Up gives all zeros: equal scores, Sub wins.
  // Row 2: bytes that never repeat under either filter: None.
  // Row 3: equal to row 2 plus a constant of 1 in every byte: Up gives all ones and wins.
  Bitmap b(9, 4, PixelFormat::pf8bit);
  b.Palette().resize(256);
  const uint8_t scramble[9] = {98, 240, 243, 203, 77, 118, 77, 199, 7};
  for (int x = 0; x < 9; ++x) {
    b.Row(0)[x] = uint8_t(10 * x);
    b.Row(1)[x] = uint8_t(10 * x);
    b.Row(2)[x] = scramble[x];
    b.Row(3)[x] = uint8_t(scramble[x] + 1);
  }
  // Row 2 under Sub: 98, 142, 3, 216, 130, 41, 215, 122, 64; under Up (the ramp above): 98, 230,
  // 223, 173, 37, 68, 17, 129, 183 - no byte equals one of the two before it. Row 3 under Sub
  // is row 2's Sub but for its first byte; under Up all ones.
  const auto f = PngFilteredRows(b);
  ASSERT_EQ(f.size(), 4u * 10);
  EXPECT_EQ(f[0], 1);   // Sub
  EXPECT_EQ(f[10], 1);  // tie: Sub
  EXPECT_EQ(f[20], 0);  // both score 0: None
  EXPECT_EQ(f[30], 2);  // Up
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 21, f.begin() + 30),
            std::vector<uint8_t>(scramble, scramble + 9));
  EXPECT_EQ(f[31], 1);
  EXPECT_EQ(f[39], 1);
  // Sub on RGB rows steps by a whole pixel (3 bytes).
  Bitmap rgb(3, 1, PixelFormat::pf24bit);
  for (int i = 0; i < 9; ++i) rgb.Row(0)[i] = uint8_t(5 * i);  // blue, green, red order
  const auto g = PngFilteredRows(rgb);
  EXPECT_EQ(g[0], 1);
  EXPECT_EQ(std::vector<uint8_t>(g.begin() + 1, g.end()),
            (std::vector<uint8_t>{10, 5, 0, 15, 15, 15, 15, 15, 15}));
}

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

std::vector<Chunk> Chunks(const std::vector<uint8_t>& png) {
  std::vector<Chunk> out;
  for (size_t at = 8; at + 12 <= png.size();) {
    const size_t n =
        size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 | png[at + 3];
    out.push_back(
        {std::string(png.begin() + long(at + 4), png.begin() + long(at + 8)),
         std::vector<uint8_t>(png.begin() + long(at + 8), png.begin() + long(at + 8 + n))});
    at += 12 + n;
  }
  return out;
}

TEST(PngWriter, ChunkLayoutSplitsIdatAndMarksTransparency) {
  TempDir dir;
  // Noise does not compress: several IDAT chunks of exactly 65535 bytes, the last shorter.
  Bitmap noise(300, 300, PixelFormat::pf24bit);
  uint32_t seed = 7;
  for (int y = 0; y < 300; ++y)
    for (size_t i = 0; i < 900; ++i)
      noise.Row(y)[i] = uint8_t((seed = seed * 1664525 + 1013904223) >> 24);
  noise.Transparent = true;
  noise.TransparentColor = RGB(1, 2, 3);
  const auto png = EncodePng(noise);
  const auto chunks = Chunks(png);
  std::vector<std::string> types;
  for (const auto& c : chunks) types.push_back(c.type);
  ASSERT_GE(types.size(), 6u);
  EXPECT_EQ(types.front(), "IHDR");
  EXPECT_EQ(types[1], "tRNS");
  EXPECT_EQ(types.back(), "IEND");
  for (size_t i = 2; i + 1 < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].type, "IDAT");
    if (i + 2 < chunks.size()) {
      EXPECT_EQ(chunks[i].data.size(), 65535u);
    }
  }
  EXPECT_LT(chunks[chunks.size() - 2].data.size(), 65535u);
  EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{0, 1, 0, 2, 0, 3}));
  EXPECT_EQ(chunks[0].data[9], 2);  // RGB

  // A palette picture whose pixels use indexes beyond its 4-entry palette (as BMP and GIF files
  // may): the palette is padded to the depth's 256 entries, so readers accept it; tRNS marks the
  // entry of the transparent colour and no other chunk is written.
  Bitmap pal(16, 16, PixelFormat::pf8bit);
  pal.Palette() = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {9, 9, 9, 0}};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) pal.Row(y)[x] = uint8_t(y * 16 + x);
  pal.Transparent = true;
  pal.TransparentColor = RGB(0, 255, 0);
  const auto pchunks = Chunks(EncodePng(pal));
  ASSERT_EQ(pchunks.size(), 5u);
  EXPECT_EQ(pchunks[1].type, "PLTE");
  EXPECT_EQ(pchunks[1].data.size(), 768u);
  EXPECT_EQ(pchunks[2].type, "tRNS");
  EXPECT_EQ(pchunks[2].data, (std::vector<uint8_t>{255, 0}));
  const std::string path = dir / "pal.png";
  testing::WriteFileBytes(path, EncodePng(pal));
  if (testing::HavePillow()) {
    const auto back = testing::DecodeWithPillow(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->At(0, 0)[0], 255);  // index 0: red
    EXPECT_EQ(back->At(1, 0)[3], 0);    // index 1: the transparent green
    EXPECT_EQ(back->At(5, 3)[0], 0);    // beyond the palette: black, opaque
    EXPECT_EQ(back->At(5, 3)[3], 255);
  }
}

TEST(GifWriter, DeepPicturesGetStockColoursAtBothEndsAndPalettesKeepTheirOrder) {
  TempDir dir;
  const Bitmap photo = [] {
    const auto rgba = testing::PhotoLike(200, 150);
    Bitmap b(rgba.width, rgba.height, PixelFormat::pf32bit);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const uint8_t* p = rgba.At(x, y);
        uint8_t* d = b.Row(y) + 4 * x;
        d[0] = p[2], d[1] = p[1], d[2] = p[0], d[3] = 0;
      }
    return b;
  }();
  const auto gif = testing::ReadFileBytes(Write(dir, photo, SaveFormat::Gif, "photo.gif"));
  // Global colour table right after the 13-byte header: 256 entries.
  ASSERT_GT(gif.size(), 13u + 768);
  EXPECT_EQ(gif[10] & 0x87, 0x87);
  std::array<PaletteEntry, 256> expected;
  const Bitmap reduced = ReduceColorsForGif(photo, &expected);
  for (size_t i = 0; i < 256; ++i) {
    const uint8_t* e = gif.data() + 13 + 3 * i;
    EXPECT_EQ(e[0], expected[i].red) << i;
    EXPECT_EQ(e[1], expected[i].green) << i;
    EXPECT_EQ(e[2], expected[i].blue) << i;
  }
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(gif[13 + 3 * i], kStockColors[i].red);
    EXPECT_EQ(gif[13 + 3 * (246 + i) + 1], kStockColors[10 + i].green);
  }
  // The pixels are the nearest-entry mapping, read back by our GIF reader.
  TGIFImage back;
  back.LoadFromFile(dir / "photo.gif");
  Bitmap b;
  back.AssignTo(b);
  ASSERT_EQ(b.Format(), PixelFormat::pf8bit);
  for (int y = 0; y < b.Height(); ++y)
    ASSERT_EQ(std::memcmp(b.Row(y), reduced.Row(y), size_t(b.Width())), 0) << y;

  // A 4-bit picture keeps its 16 entries in order; a transparent one marks its colour's entry.
  Bitmap four = Sample(PixelFormat::pf4bit);
  four.Transparent = true;
  four.TransparentColor =
      RGB(four.Palette()[5].red, four.Palette()[5].green, four.Palette()[5].blue);
  const auto g4 = testing::ReadFileBytes(Write(dir, four, SaveFormat::Gif, "four.gif"));
  EXPECT_EQ(g4[10] & 7, 3);  // 2^(3+1) = 16 entries
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(g4[13 + 3 * i + 1], four.Palette()[i].green);
  const uint8_t gce[] = {0x21, 0xF9, 4, 1, 0, 0, 5, 0};
  EXPECT_NE(std::search(g4.begin(), g4.end(), gce, gce + 8), g4.end());
}

TEST(EmfWriter, RecordsAndFrameDescribeThePictureAndOurReaderShowsIt) {
  const Bitmap pic = Sample(PixelFormat::pf24bit, 640, 480);
  const auto emf = EncodeEmf(pic);
  const auto le = [&](size_t o) {
    return int32_t(
        uint32_t(emf[o] | emf[o + 1] << 8 | emf[o + 2] << 16 | uint32_t(emf[o + 3]) << 24));
  };
  // Header: bounds in pixels, frame in 0.01 mm at 96 dpi, " EMF", size and record count.
  EXPECT_EQ(le(0), 1);
  EXPECT_EQ((std::vector<int32_t>{le(8), le(12), le(16), le(20)}),
            (std::vector<int32_t>{0, 0, 639, 479}));
  EXPECT_NEAR((le(32) + 1) * 96.0 / 2540, 640, 0.05);
  EXPECT_NEAR((le(36) + 1) * 96.0 / 2540, 480, 0.05);
  EXPECT_EQ(std::memcmp(emf.data() + 40, " EMF", 4), 0);
  EXPECT_EQ(size_t(le(48)), emf.size());
  EXPECT_EQ(le(52), 3);
  // Records: header, one EMR_STRETCHDIBITS at (0, 0) of the whole DIB, EOF.
  std::vector<int32_t> types;
  size_t at = 0;
  size_t stretch = 0;
  while (at < emf.size()) {
    types.push_back(le(at));
    if (le(at) == 81) stretch = at;
    ASSERT_GT(le(at + 4), 0);
    at += size_t(le(at + 4));
  }
  EXPECT_EQ(at, emf.size());
  EXPECT_EQ(types, (std::vector<int32_t>{1, 81, 14}));
  EXPECT_EQ((std::vector<int32_t>{le(stretch + 24), le(stretch + 28), le(stretch + 72),
                                  le(stretch + 76), le(stretch + 40), le(stretch + 44)}),
            (std::vector<int32_t>{0, 0, 640, 480, 640, 480}));
  EXPECT_EQ(uint32_t(le(stretch + 68)), 0x00CC0020u);  // SRCCOPY

  // Our reader shows it in the picture's own format, for every format.
  for (PixelFormat pf : kAllFormats) {
    const Bitmap b = Sample(pf);
    TMetafile m;
    m.LoadFromMemory(EncodeEmf(b));
    ASSERT_TRUE(m.Renderable()) << Name(pf);
    Bitmap back;
    m.AssignTo(back);
    EXPECT_TRUE(back == b) << Name(pf);
  }
}

TEST(EmfReader, VectorRecordsKeepTheFailurePathAndPartialBlitsCompose) {
  const auto original = EncodeEmf(Sample(PixelFormat::pf24bit, 8, 6));
  auto emf = original;
  const auto put = [&](size_t o, uint32_t v) { std::memcpy(emf.data() + o, &v, 4); };
  const size_t rec = 108;
  // The same blit drawn at (2, 1) in 4 x 3 pixels: composed onto a white 8 x 6 picture.
  put(rec + 24, 2), put(rec + 28, 1), put(rec + 72, 4), put(rec + 76, 3);
  TMetafile m;
  m.LoadFromMemory(emf);
  ASSERT_TRUE(m.Renderable());
  Bitmap b;
  m.AssignTo(b);
  const Bitmap src = Sample(PixelFormat::pf24bit, 8, 6);
  EXPECT_EQ(b.PixelColor(0, 0), (RGBQuad{255, 255, 255, 0}));
  EXPECT_EQ(b.PixelColor(2, 1), src.PixelColor(0, 0));
  EXPECT_EQ(b.PixelColor(3, 2), src.PixelColor(2, 2));  // every second source pixel
  EXPECT_EQ(b.PixelColor(6, 1), (RGBQuad{255, 255, 255, 0}));
  // Stretched twice over the whole picture from a 4 x 3 corner (each source row drawn twice;
  // the record counts its rows from the bottom of the bottom-up DIB, so the lower three), then
  // from a source rectangle that runs off the bitmap's right edge: the columns beyond it stay
  // white.
  for (const int xSrc : {0, 6}) {
    auto stretched = original;
    const auto set = [&](size_t o, uint32_t v) { std::memcpy(stretched.data() + o, &v, 4); };
    set(rec + 32, uint32_t(xSrc)), set(rec + 36, 0), set(rec + 40, 4), set(rec + 44, 3);
    TMetafile s;
    s.LoadFromMemory(stretched);
    Bitmap drawn;
    s.AssignTo(drawn);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) {
        const int sx = xSrc + x / 2;
        const RGBQuad want = sx < 8 ? src.PixelColor(sx, 3 + y / 2) : RGBQuad{255, 255, 255, 0};
        ASSERT_EQ(drawn.PixelColor(x, y), want) << xSrc << ": " << x << "," << y;
      }
  }
  // A line record (EMR_LINETO, 54) before the end record: not renderable.
  auto vector = original;
  const size_t eof = vector.size() - 20;
  std::vector<uint8_t> line = {54, 0, 0, 0, 16, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0};
  vector.insert(vector.begin() + long(eof), line.begin(), line.end());
  TMetafile v;
  v.LoadFromMemory(vector);
  EXPECT_FALSE(v.Renderable());
  EXPECT_EQ(v.Width(), 8);
  Bitmap none;
  EXPECT_THROW(v.AssignTo(none), EInvalidGraphicOperation);
}

}  // namespace
}  // namespace quendra
