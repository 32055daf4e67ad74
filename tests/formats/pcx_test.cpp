#include <gtest/gtest.h>

#include <cstring>

#include "base/errors.h"
#include "formats/pcx_graphic.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using namespace testing;

std::vector<uint8_t> Header(int version, int encoding, int bits, int planes, int width, int height,
                            int bytesPerLine, int paletteInfo = 1) {
  std::vector<uint8_t> h(128, 0);
  h[0] = 10;
  h[1] = uint8_t(version);
  h[2] = uint8_t(encoding);
  h[3] = uint8_t(bits);
  h[8] = uint8_t(width - 1);
  h[9] = uint8_t((width - 1) >> 8);
  h[10] = uint8_t(height - 1);
  h[11] = uint8_t((height - 1) >> 8);
  h[12] = 72;
  h[14] = 72;
  for (int i = 0; i < 48; ++i) h[16 + size_t(i)] = uint8_t(i * 5);  // entry i: 15i, 15i+5, 15i+10
  h[65] = uint8_t(planes);
  h[66] = uint8_t(bytesPerLine);
  h[67] = uint8_t(bytesPerLine >> 8);
  h[68] = uint8_t(paletteInfo);
  return h;
}

Bitmap Load(const std::vector<uint8_t>& f) {
  TPCXGraphic g;
  g.LoadFromMemory(f);
  return g.Image();
}

TEST(PcxRead, PlaneLayouts) {
  // Four one-bit planes: index bit p from plane p, first pixel in the high nibble.
  auto f = Header(5, 0, 1, 4, 3, 1, 1);
  Append(f, {0b10100000, 0b01100000, 0b00000000, 0b11000000});
  Bitmap four = Load(f);
  ASSERT_EQ(four.Format(), PixelFormat::pf4bit);
  EXPECT_EQ(four.Row(0)[0], 0x9A);  // pixel 0: 1 + 8, pixel 1: 2 + 8
  EXPECT_EQ(four.Row(0)[1] >> 4, 3);
  EXPECT_EQ(four.Palette()[1], (RGBQuad{25, 20, 15, 0}));  // the header's entries

  // Three planes of 8 bits: red, green, blue lines, with bytes per line beyond the width.
  auto rgb = Header(5, 0, 8, 3, 2, 1, 3);
  Append(rgb, {10, 11, 99, 20, 21, 99, 30, 31, 99});
  Bitmap b24 = Load(rgb);
  ASSERT_EQ(b24.Format(), PixelFormat::pf24bit);
  EXPECT_EQ(std::memcmp(b24.Row(0), "\x1e\x14\x0a\x1f\x15\x0b", 6), 0);

  // One bit: black and white whatever the header palette says.
  auto mono = Header(5, 0, 1, 1, 10, 1, 2);
  Append(mono, {0x81, 0x40});
  Bitmap b1 = Load(mono);
  ASSERT_EQ(b1.Format(), PixelFormat::pf1bit);
  EXPECT_EQ(b1.Palette(), (std::vector<RGBQuad>{{0, 0, 0, 0}, {255, 255, 255, 0}}));
  EXPECT_EQ(b1.Row(0)[0], 0x81);
  EXPECT_EQ(b1.Row(0)[1] & 0xC0, 0x40);

  // Two bits per pixel, either layout, become four-bit indexes of the same value.
  auto packed = Header(5, 0, 2, 1, 4, 1, 2);
  Append(packed, {0b00011011, 0});
  auto planar = Header(5, 0, 1, 2, 4, 1, 2);
  Append(planar, {0b01010000, 0, 0b00110000, 0});
  for (const auto& file : {packed, planar}) {
    Bitmap b2 = Load(file);
    ASSERT_EQ(b2.Format(), PixelFormat::pf4bit);
    EXPECT_EQ(b2.Row(0)[0], 0x01);
    EXPECT_EQ(b2.Row(0)[1], 0x23);
  }
}

TEST(PcxRead, Palettes) {
  // 8-bit with the closing palette at size - 769.
  auto f = Header(5, 0, 8, 1, 2, 1, 2);
  Append(f, {1, 2});
  f.push_back(12);
  for (int i = 0; i < 256; ++i) Append(f, {i, 255 - i, 7});
  Bitmap b = Load(f);
  EXPECT_EQ(b.Row(0)[1], 2);
  EXPECT_EQ(b.Palette()[2], (RGBQuad{7, 253, 2, 0}));

  // Without the marker: grey when the header says so, the default palette otherwise.
  auto grey = Header(5, 0, 8, 1, 2, 1, 2, 2);
  Append(grey, {1, 2});
  EXPECT_EQ(Load(grey).Palette()[9], (RGBQuad{9, 9, 9, 0}));
  auto plain = Header(5, 0, 8, 1, 2, 1, 2, 1);
  Append(plain, {1, 2});
  EXPECT_EQ(Load(plain).Palette(), Bitmap(1, 1, PixelFormat::pf8bit).Palette());

  // Version 3 has no palette information: the 16-colour system palette.
  auto v3 = Header(3, 0, 1, 4, 2, 1, 1);
  Append(v3, {0, 0, 0, 0});
  Bitmap b3 = Load(v3);
  EXPECT_EQ(b3.Palette()[9], (RGBQuad{0, 0, 255, 0}));
  EXPECT_EQ(b3.Palette()[7], (RGBQuad{192, 192, 192, 0}));

  auto grey4 = Header(5, 0, 4, 1, 2, 1, 1, 2);
  Append(grey4, {0x0F});
  EXPECT_EQ(Load(grey4).Palette()[15], (RGBQuad{255, 255, 255, 0}));
}

TEST(PcxRead, RunLengthDataAndShortData) {
  // A run longer than the picture fills only what remains; runs continue across lines.
  auto f = Header(5, 1, 8, 1, 3, 2, 3);
  Append(f, {0xC4, 5, 0xC5, 6});
  Bitmap b = Load(f);
  EXPECT_EQ(std::memcmp(b.Row(0), "\x05\x05\x05", 3), 0);
  EXPECT_EQ(std::memcmp(b.Row(1), "\x05\x06\x06", 3), 0);

  // Data that ends early: the rows it reaches load, the rest is index 0.
  auto cut = Header(5, 1, 8, 1, 2, 3, 2);
  Append(cut, {0xC3, 9, 0xC1});
  Bitmap c = Load(cut);
  EXPECT_EQ(std::memcmp(c.Row(0), "\x09\x09", 2), 0);
  EXPECT_EQ(std::memcmp(c.Row(1), "\x09\x00", 2), 0);
  EXPECT_EQ(c.Row(2)[0], 0);
}

TEST(PcxRead, BadFilesFailCleanly) {
  auto fails = [](std::vector<uint8_t> f, const char* names) {
    TPCXGraphic g;
    try {
      g.LoadFromMemory(f);
      ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(std::string(e.what()).find(names), std::string::npos) << e.what();
    }
  };
  auto wrongMaker = Header(5, 1, 8, 1, 2, 2, 2);
  wrongMaker[0] = 11;
  fails(wrongMaker, "PCX, PCC or SCR");
  fails(std::vector<uint8_t>(100, 10), "PCX, PCC or SCR");
  auto threePlanes = Header(5, 1, 1, 3, 8, 8, 1);
  threePlanes.resize(400);
  fails(threePlanes, "PCX");
  auto rgba = Header(5, 1, 8, 4, 8, 8, 8);
  rgba.resize(400);
  fails(rgba, "PCX");
  auto narrowLines = Header(5, 0, 8, 1, 88, 2, 12);
  narrowLines.resize(400);
  fails(narrowLines, "PCX, PCC or SCR");
  auto noData = Header(5, 0, 8, 3, 20000, 10000, 20000);
  fails(noData, "PCX, PCC or SCR");
  auto inverted = Header(5, 0, 8, 1, 4, 4, 4);
  inverted[4] = 9;  // XMin beyond XMax
  inverted.resize(200);
  fails(inverted, "PCX, PCC or SCR");
}

TEST(PcxInterop, FilesOfOtherWritersReadWithTheirPixels) {
  if (!HaveCommand("convert") || !HaveCommand("ppmtopcx"))
    GTEST_SKIP() << "ImageMagick or netpbm missing";
  TempDir dir;
  RgbaImage src = PhotoLike(53, 21, 3);
  WritePpm(dir.File("src.ppm"), src);
  const std::string in = ShellQuote(dir.File("src.ppm"));
  // 24-bit in three planes, 8-bit with the closing palette, 16 colours in four planes, 1 bit.
  ASSERT_EQ(testing::Run("ppmtopcx -24bit " + in + " > " + ShellQuote(dir.File("rgb.pcx")) +
                         " 2>/dev/null"),
            0);
  ASSERT_EQ(
      testing::Run("convert " + in + " +dither -colors 200 " + ShellQuote(dir.File("p8.pcx"))), 0);
  ASSERT_EQ(testing::Run("convert " + in + " +dither -colors 16 ppm:- | ppmtopcx -planes 4 > " +
                         ShellQuote(dir.File("p4.pcx")) + " 2>/dev/null"),
            0);
  ASSERT_EQ(testing::Run("convert " + in + " -monochrome pbm:- | ppmtopcx > " +
                         ShellQuote(dir.File("bw.pcx")) + " 2>/dev/null"),
            0);
  const std::pair<const char*, PixelFormat> files[] = {{"rgb.pcx", PixelFormat::pf24bit},
                                                       {"p8.pcx", PixelFormat::pf8bit},
                                                       {"p4.pcx", PixelFormat::pf4bit},
                                                       {"bw.pcx", PixelFormat::pf1bit}};
  for (const auto& [name, pf] : files) {
    TPCXGraphic g;
    g.LoadFromFile(dir.File(name));
    EXPECT_EQ(g.Image().Format(), pf) << name;
    auto pil = DecodeWithPillow(dir.File(name));
    ASSERT_TRUE(pil) << name;
    EXPECT_EQ(CompareRgb(ToRgba(g.Image(), true), *pil).maxDiff, 0) << name;
  }
}

}  // namespace
}  // namespace quendra
