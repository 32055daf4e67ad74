#include <gtest/gtest.h>

#include <cstring>

#include "base/errors.h"
#include "formats/targa_graphic.h"
#include "formats/targa_rle.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using namespace testing;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<uint8_t> Header(int type, int width, int height, int bits, int descriptor,
                            int mapType = 0, int mapFirst = 0, int mapLength = 0, int mapBits = 0,
                            int idLength = 0) {
  return {uint8_t(idLength),
          uint8_t(mapType),
          uint8_t(type),
          uint8_t(mapFirst),
          uint8_t(mapFirst >> 8),
          uint8_t(mapLength),
          uint8_t(mapLength >> 8),
          uint8_t(mapBits),
          0,
          0,
          0,
          0,
          uint8_t(width),
          uint8_t(width >> 8),
          uint8_t(height),
          uint8_t(height >> 8),
          uint8_t(bits),
          uint8_t(descriptor)};
}

Bitmap Load(const std::vector<uint8_t>& file) {
  TTargaGraphic g;
  g.LoadFromMemory(file);
  return g.Image();
}

// 3 x 2 picture, 24-bit, pixels (blue, green, red) = (10 * n, n, 255 - n), n = 0..5 row-major.
Bitmap Small24() {
  Bitmap b(3, 2, PixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      int n = y * 3 + x;
      uint8_t* p = b.Row(y) + 3 * x;
      p[0] = uint8_t(10 * n);
      p[1] = uint8_t(n);
      p[2] = uint8_t(255 - n);
    }
  return b;
}

TEST(TargaRead, TopDownAndBottomUpStoredAndRunLengthGiveTheSamePicture) {
  const Bitmap want = Small24();
  auto rowBytes = [&](int y) { return std::vector<uint8_t>(want.Row(y), want.Row(y) + 9); };

  std::vector<uint8_t> top = Header(2, 3, 2, 24, 0x20), bottom = Header(2, 3, 2, 24, 0);
  for (int y : {0, 1}) {
    auto r = rowBytes(y);
    top.insert(top.end(), r.begin(), r.end());
  }
  for (int y : {1, 0}) {
    auto r = rowBytes(y);
    bottom.insert(bottom.end(), r.begin(), r.end());
  }
  // Run-length, bottom row first, one raw packet of 4 pixels running across the row end.
  std::vector<uint8_t> rle = Header(10, 3, 2, 24, 0);
  rle.push_back(3);
  for (int y : {1, 0}) {
    auto r = rowBytes(y);
    if (y == 1)
      rle.insert(rle.end(), r.begin(), r.end());
    else
      rle.insert(rle.end(), r.begin(), r.begin() + 3);
  }
  rle.push_back(1);
  rle.insert(rle.end(), want.Row(0) + 3, want.Row(0) + 9);

  EXPECT_EQ(Load(top), want);
  EXPECT_EQ(Load(bottom), want);
  EXPECT_EQ(Load(rle), want);
  EXPECT_EQ(Load(rle).Format(), PixelFormat::pf24bit);
}

TEST(TargaRead, RunPacketsRepeatAcrossRowsAndRightToLeftRowsAreMirrored) {
  // 2 x 2, 8-bit grey run of 3 then a raw pixel; descriptor: top first.
  std::vector<uint8_t> f = Header(11, 2, 2, 8, 0x20);
  Append(f, {0x82, 7, 0x00, 9});
  Bitmap b = Load(f);
  EXPECT_EQ(b.Row(0)[0], 7);
  EXPECT_EQ(b.Row(0)[1], 7);
  EXPECT_EQ(b.Row(1)[0], 7);
  EXPECT_EQ(b.Row(1)[1], 9);
  EXPECT_EQ(b.Palette()[200], (RGBQuad{200, 200, 200, 0}));

  std::vector<uint8_t> mirrored = Header(3, 3, 1, 8, 0x30);
  Append(mirrored, {1, 2, 3});
  Bitmap m = Load(mirrored);
  EXPECT_EQ(m.Row(0)[0], 3);
  EXPECT_EQ(m.Row(0)[2], 1);
}

TEST(TargaRead, ColourMaps) {
  // A 300-entry 24-bit map: the first 256 entries form the palette, pixels follow the whole map.
  std::vector<uint8_t> f = Header(1, 2, 1, 8, 0x20, 1, 0, 300, 24);
  for (int i = 0; i < 300; ++i) Append(f, {i & 0xFF, 1, 2});
  Append(f, {5, 255});
  Bitmap b = Load(f);
  ASSERT_EQ(b.Format(), PixelFormat::pf8bit);
  EXPECT_EQ(b.Row(0)[0], 5);
  EXPECT_EQ(b.Row(0)[1], 255);
  EXPECT_EQ(b.Palette().size(), 256u);
  EXPECT_EQ(b.Palette()[5], (RGBQuad{5, 1, 2, 0}));
  EXPECT_EQ(b.Palette()[255], (RGBQuad{255, 1, 2, 0}));

  // 16-bit entries are 5-5-5 words shifted up by 3; a map that starts at index 2 fills from 2.
  std::vector<uint8_t> g = Header(1, 1, 1, 8, 0x20, 1, 2, 2, 16);
  Append(g, {0x1F, 0x00, 0x00, 0x7C});  // blue 31, then red 31
  Append(g, {3});
  Bitmap c = Load(g);
  EXPECT_EQ(c.Palette()[2], (RGBQuad{248, 0, 0, 0}));
  EXPECT_EQ(c.Palette()[3], (RGBQuad{0, 0, 248, 0}));
  EXPECT_EQ(c.Palette()[0], (RGBQuad{0, 0, 0, 0}));

  // Grey pictures use the ramp whatever their map holds, and find pixels after the map.
  std::vector<uint8_t> grey = Header(3, 1, 1, 8, 0x20, 1, 0, 2, 32);
  Append(grey, {1, 2, 3, 4, 5, 6, 7, 8, 100});
  Bitmap gr = Load(grey);
  EXPECT_EQ(gr.Row(0)[0], 100);
  EXPECT_EQ(gr.Palette()[100], (RGBQuad{100, 100, 100, 0}));
}

TEST(TargaRead, PixelSizesAndTheirFormats) {
  std::vector<uint8_t> f15 = Header(2, 1, 1, 16, 0x21);
  Append(f15, {0x34, 0x92});
  Bitmap b15 = Load(f15);
  EXPECT_EQ(b15.Format(), PixelFormat::pf15bit);
  EXPECT_EQ(b15.Row(0)[0], 0x34);
  EXPECT_EQ(b15.Row(0)[1], 0x92);

  std::vector<uint8_t> f32 = Header(2, 1, 1, 32, 0x28);
  Append(f32, {1, 2, 3, 4});
  Bitmap b32 = Load(f32);
  EXPECT_EQ(b32.Format(), PixelFormat::pf32bit);
  EXPECT_EQ(std::memcmp(b32.Row(0), "\x01\x02\x03\x04", 4), 0);

  // Grey image types with wider pixels are read by their pixel size, bytes as stored; 16-bit
  // grey is a level and an alpha byte.
  for (int type : {3, 11}) {
    for (auto [bits, pf] : {std::pair{15, PixelFormat::pf15bit},
                            {16, PixelFormat::pf32bit},
                            {24, PixelFormat::pf24bit},
                            {32, PixelFormat::pf32bit}}) {
      std::vector<uint8_t> f = Header(type, 1, 1, bits, 0x28);
      if (type == 11) f.push_back(0);  // one raw pixel
      Append(f, {90, 200, 7, 9});
      f.resize(f.size() - (4 - size_t(bits + 7) / 8));
      Bitmap g = Load(f);
      ASSERT_EQ(g.Format(), pf) << type << " " << bits;
      const char* want = bits == 16 ? "\x5a\x5a\x5a\xc8" : "\x5a\xc8\x07\x09";
      EXPECT_EQ(std::memcmp(g.Row(0), want, bits == 16 ? 4 : size_t(bits + 7) / 8), 0);
    }
  }

  // An image type without pixel data keeps the header's size and reads nothing.
  Bitmap none = Load(Header(0, 4, 3, 24, 0));
  EXPECT_EQ(none.Width(), 4);
  EXPECT_EQ(none.Height(), 3);
  // ... but a 36-byte file may not claim a huge blank canvas.
  TTargaGraphic huge;
  EXPECT_THROW(huge.LoadFromMemory(Header(0, 65533, 2561, 24, 0)), EInvalidGraphic);
}

TEST(TargaRead, BadFilesFailCleanly) {
  auto fails = [](const std::vector<uint8_t>& f) {
    TTargaGraphic g;
    EXPECT_THROW(g.LoadFromMemory(f), EInvalidGraphic);
  };
  fails({0, 0, 2});                          // shorter than the header
  fails(Header(2, 2, 2, 12, 0));             // pixel size 12
  fails(Header(2, 0, 5, 24, 0));             // no width
  fails(Header(1, 1, 1, 8, 0, 1, 0, 4, 8));  // map entries of 8 bits
  auto shortMap = Header(1, 1, 1, 8, 0, 1, 0, 300, 24);
  shortMap.resize(shortMap.size() + 600);
  fails(shortMap);
  auto stored = Header(2, 2, 2, 24, 0);
  stored.resize(stored.size() + 11);  // one byte short
  fails(stored);
  auto run = Header(10, 100, 1, 32, 0);
  Append(run, {0xFF, 1, 2});  // run pixel cut off
  fails(run);
  auto raw = Header(10, 2, 1, 24, 0);
  Append(raw, {0x01, 1, 2, 3, 4});  // raw packet of 2 pixels, 4 bytes
  fails(raw);
  // A huge picture with no data is refused before anything is allocated.
  fails(Header(10, 65535, 65535, 32, 0));
  // Huffman/delta and quadtree colour-mapped types are refused by name, not shown blank.
  for (int type : {32, 33}) {
    auto f = Header(type, 2, 2, 8, 0, 1, 0, 2, 24);
    f.resize(f.size() + 6 + 64);
    TTargaGraphic g;
    try {
      g.LoadFromMemory(f);
      ADD_FAILURE() << "type " << type << " loaded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_PRED2(Contains, e.what(), ("image type " + std::to_string(type)));
    }
  }
}

TEST(TargaWrite, PacketRule) {
  TTargaRLEDecoder rle(8);
  auto encode = [&](std::vector<uint8_t> px) {
    std::vector<uint8_t> out;
    rle.Encode(px.data(), px.size(), out);
    return out;
  };
  EXPECT_EQ(encode({4, 5, 5, 6}), (std::vector<uint8_t>{0x00, 4, 0x81, 5, 0x00, 6}));
  EXPECT_EQ(encode({7}), (std::vector<uint8_t>{0x00, 7}));
  EXPECT_EQ(encode({1, 2, 3}), (std::vector<uint8_t>{0x02, 1, 2, 3}));

  std::vector<uint8_t> same(300, 9);
  EXPECT_EQ(encode(same), (std::vector<uint8_t>{0xFF, 9, 0xFF, 9, 0x80 | 43, 9}));

  std::vector<uint8_t> different(300);
  for (int i = 0; i < 300; ++i) different[size_t(i)] = uint8_t(i * 7 % 251);
  auto out = encode(different);
  ASSERT_EQ(out.size(), 303u);
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[129], 127);
  EXPECT_EQ(out[258], 43);

  // Multi-byte pixels compare whole pixels.
  TTargaRLEDecoder rle24(24);
  std::vector<uint8_t> px = {1, 2, 3, 1, 2, 3, 1, 2, 4};
  std::vector<uint8_t> packed;
  rle24.Encode(px.data(), 3, packed);
  EXPECT_EQ(packed, (std::vector<uint8_t>{0x81, 1, 2, 3, 0x00, 1, 2, 4}));
}

TEST(TargaWrite, HeaderAndPalette) {
  Bitmap b(2, 1, PixelFormat::pf8bit);
  b.Palette().resize(3);
  b.Palette()[1] = {10, 20, 30, 0};
  b.Row(0)[0] = 1;
  b.Row(0)[1] = 1;
  auto f = EncodeTarga(b);
  ASSERT_EQ(f.size(), 18u + 768u + 2u);
  EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 18),
            Header(9, 2, 1, 8, 0x20, 1, 0, 256, 24));
  EXPECT_EQ(f[18 + 3], 10);
  EXPECT_EQ(f[18 + 5], 30);
  EXPECT_EQ(f[18 + 3 * 255], 0);  // missing entries are zero
  EXPECT_EQ(f[786], 0x81);
  EXPECT_EQ(f[787], 1);

  Bitmap t(5, 4, PixelFormat::pf32bit);
  t.Row(2)[7] = 0x77;
  auto g = EncodeTarga(t);
  EXPECT_EQ(std::vector<uint8_t>(g.begin(), g.begin() + 18), Header(10, 5, 4, 32, 0x20));
  Bitmap back = Load(g);
  EXPECT_EQ(back, t);
  EXPECT_EQ(back.Row(2)[7], 0x77);

  EXPECT_TRUE(EncodeTarga(Bitmap()).empty());
}

TEST(TargaWrite, NarrowAndSixteenBitPicturesKeepTheirColours) {
  Bitmap mono(9, 2, PixelFormat::pf1bit);
  mono.Palette() = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  mono.Row(1)[1] = 0x80;  // pixel (8, 1)
  TTargaGraphic g;
  g.SetImage(mono);
  auto bytes = g.SaveToMemory();
  EXPECT_EQ(g.Image().Format(), PixelFormat::pf8bit);
  Bitmap back = Load(bytes);
  EXPECT_EQ(back.Format(), PixelFormat::pf8bit);
  EXPECT_EQ(back.PixelColor(8, 1), (RGBQuad{255, 255, 255, 0}));
  EXPECT_EQ(back.PixelColor(7, 1), (RGBQuad{0, 0, 0, 0}));

  Bitmap nibble(3, 1, PixelFormat::pf4bit);
  nibble.Row(0)[0] = 0x5A;
  nibble.Row(0)[1] = 0xF0;
  Bitmap n8 = Load(EncodeTarga(nibble));
  EXPECT_EQ(n8.Row(0)[0], 5);
  EXPECT_EQ(n8.Row(0)[1], 10);
  EXPECT_EQ(n8.Row(0)[2], 15);

  // 5-6-5 pixels are repacked as 5-5-5: pure red, green and blue stay pure.
  Bitmap b16(3, 1, PixelFormat::pf16bit);
  const uint16_t px[3] = {0xF800, 0x07E0, 0x001F};
  std::memcpy(b16.Row(0), px, 6);
  Bitmap b15 = Load(EncodeTarga(b16));
  EXPECT_EQ(b15.Format(), PixelFormat::pf15bit);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(b15.PixelColor(x, 0), b16.PixelColor(x, 0)) << x;
}

Bitmap ToBitmap24(const RgbaImage& img) {
  Bitmap b(img.width, img.height, PixelFormat::pf24bit);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint8_t* s = img.At(x, y);
      uint8_t* d = b.Row(y) + 3 * x;
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  return b;
}

// A picture with flat areas (runs) and noisy areas (raw packets).
RgbaImage Mixed(int w, int h) {
  RgbaImage img = PhotoLike(w, h, 7);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w / 3; ++x)
      std::memcpy(img.rgba.data() + (size_t(y) * w + x) * 4, "\x20\x40\x60\xff", 4);
  return img;
}

TEST(TargaInterop, OurFilesReadBackIdenticallyHereAndInOtherReaders) {
  const RgbaImage src = Mixed(131, 47);
  const Bitmap bmp = ToBitmap24(src);
  const auto bytes = EncodeTarga(bmp);
  EXPECT_EQ(Load(bytes), bmp);
  TempDir dir;
  WriteFileBytes(dir.File("ours.tga"), bytes);
  if (HaveCommand("convert")) {
    auto im = DecodeWithImageMagick(dir.File("ours.tga"), true);
    ASSERT_TRUE(im);
    EXPECT_EQ(CompareRgb(*im, src).maxDiff, 0);
  }
  if (HaveCommand("/usr/bin/python3")) {
    auto pil = DecodeWithPillow(dir.File("ours.tga"));
    ASSERT_TRUE(pil);
    EXPECT_EQ(CompareRgb(*pil, src).maxDiff, 0);
  }
}

TEST(TargaInterop, FilesOfOtherWritersReadWithTheirPixels) {
  if (!HaveCommand("convert") || !HaveCommand("ppmtotga"))
    GTEST_SKIP() << "ImageMagick or netpbm missing";
  TempDir dir;
  const RgbaImage src = Mixed(77, 33);
  WritePpm(dir.File("src.ppm"), src);
  const std::string in = ShellQuote(dir.File("src.ppm"));
  struct Case {
    const char* name;
    std::string command;
  } cases[] = {
      // ImageMagick 6 stores rows top first whatever it declares; -orient makes it declare so.
      {"im-rle.tga", "convert " + in + " -orient TopLeft -compress RLE "},
      {"im-raw.tga", "convert " + in + " -orient TopLeft -compress None "},
      {"netpbm-rgb.tga", "ppmtotga -rgb -norle " + in + " > "},
      {"netpbm-rle.tga", "ppmtotga -rgb " + in + " > "},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(testing::Run(c.command + ShellQuote(dir.File(c.name)) + " 2>/dev/null"), 0) << c.name;
    TTargaGraphic g;
    g.LoadFromFile(dir.File(c.name));
    EXPECT_EQ(CompareRgb(ToRgba(g.Image(), true), src).maxDiff, 0) << c.name;
  }
  // Grey and colour-mapped pictures of ImageMagick.
  ASSERT_EQ(testing::Run("convert " + in + " -orient TopLeft -colorspace Gray -type Grayscale " +
                         ShellQuote(dir.File("grey.tga"))),
            0);
  ASSERT_EQ(testing::Run("convert " + in + " -orient TopLeft +dither -colors 50 -type Palette " +
                         ShellQuote(dir.File("pal.tga"))),
            0);
  for (const char* name : {"grey.tga", "pal.tga"}) {
    TTargaGraphic g;
    g.LoadFromFile(dir.File(name));
    EXPECT_EQ(g.Image().Format(), PixelFormat::pf8bit) << name;
    auto im = DecodeWithImageMagick(dir.File(name), true);
    ASSERT_TRUE(im);
    EXPECT_EQ(CompareRgb(ToRgba(g.Image(), true), *im).maxDiff, 0) << name;
  }
}

}  // namespace
}  // namespace quendra
