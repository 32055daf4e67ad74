// PNG reader: the pixel format each kind of picture draws itself as, alpha over white, single
// transparent colours, interlacing and damaged files; the writer read back by Pillow.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "formats/png_object.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::TempDir;

struct Kind {
  const char* name;
  const char* make;  // Pillow program writing `out`
  PixelFormat expected;
  bool transparent;
  Color transparentColor;
};

class PngKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(PngKinds, PixelFormatColoursAndTransparency) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  const Kind& k = GetParam();
  TempDir tmp;
  const std::string png = tmp.File("k.png");
  ASSERT_EQ(testing::RunPillow(k.make, png), 0) << k.make;
  TPNGObject p;
  p.LoadFromFile(png);
  Bitmap b;
  p.AssignTo(b);
  EXPECT_EQ(b.Format(), k.expected);
  EXPECT_EQ(b.Transparent, k.transparent);
  if (k.transparent) {
    EXPECT_EQ(b.TransparentColor, k.transparentColor);
  }

  auto ref = testing::DecodeWithPillow(png);
  ASSERT_TRUE(ref);
  if (!k.transparent) testing::BlendOverWhite(*ref);
  EXPECT_LE(testing::CompareRgb(testing::ToRgba(b), *ref).maxDiff, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Png, PngKinds,
    ::testing::Values(
        Kind{"bilevel", "card(33, 20).convert('1').save(out)", PixelFormat::pf1bit, false, 0},
        Kind{"palette1",
             "card(33, 20).convert('P', palette=Image.ADAPTIVE, colors=2).save(out, bits=1)",
             PixelFormat::pf1bit, false, 0},
        Kind{"palette2",
             "card(33, 20).convert('P', palette=Image.ADAPTIVE, colors=4).save(out, bits=2)",
             PixelFormat::pf4bit, false, 0},
        Kind{"palette4",
             "card(33, 20).convert('P', palette=Image.ADAPTIVE, colors=16).save(out, bits=4)",
             PixelFormat::pf4bit, false, 0},
        Kind{"palette8", "card(33, 20).convert('P', palette=Image.ADAPTIVE, colors=200).save(out)",
             PixelFormat::pf8bit, false, 0},
        Kind{"grey8", "card(33, 20).convert('L').save(out)", PixelFormat::pf24bit, false, 0},
        Kind{"grey16", "card(33, 20).convert('L').convert('I').point(lambda v: v * 257).save(out)",
             PixelFormat::pf24bit, false, 0},
        Kind{"rgb", "card(33, 20).save(out)", PixelFormat::pf24bit, false, 0},
        Kind{"rgba",
             "im = card(33, 20).convert('RGBA'); "
             "im.putalpha(Image.linear_gradient('L').resize((33, 20))); im.save(out)",
             PixelFormat::pf24bit, false, 0},
        Kind{"greyalpha", "im = card(33, 20).convert('LA'); im.putalpha(90); im.save(out)",
             PixelFormat::pf24bit, false, 0},
        Kind{"rgbkey",
             "im = card(33, 20); im.putpixel((0, 0), (10, 20, 30)); im.save(out, transparency=(10, "
             "20, 30))",
             PixelFormat::pf24bit, true, RGB(10, 20, 30)},
        Kind{"greykey", "card(33, 20).convert('L').save(out, transparency=0)", PixelFormat::pf24bit,
             true, RGB(0, 0, 0)},
        Kind{"palettekey",
             "im = Image.new('P', (8, 8), 1); im.putpalette([9, 8, 7, 200, 100, 50] + [0] * 762); "
             "im.putpixel((2, 2), 0); im.save(out, transparency=0)",
             PixelFormat::pf8bit, true, RGB(9, 8, 7)},
        Kind{"palettealpha",
             "im = Image.new('P', (8, 8), 1); im.putpalette([9, 8, 7, 200, 100, 50] + [0] * 762); "
             "im.putpixel((2, 2), 0); im.info['transparency'] = bytes([0, 128]); im.save(out)",
             PixelFormat::pf24bit, false, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PngReader, InterlacedEqualsProgressive) {
  if (!testing::HavePillow() || !testing::HaveCommand("/usr/bin/convert"))
    GTEST_SKIP() << "needs Pillow and ImageMagick";
  TempDir tmp;
  ASSERT_EQ(testing::RunPillow("card(37, 23).save(out)", tmp.File("a.png")), 0);
  ASSERT_EQ(testing::Run("/usr/bin/convert " + tmp.File("a.png") + " -interlace PNG " +
                         tmp.File("i.png")),
            0);
  TPNGObject a, i;
  a.LoadFromFile(tmp.File("a.png"));
  i.LoadFromFile(tmp.File("i.png"));
  ASSERT_NE(testing::ReadFileBytes(tmp.File("i.png"))[28], 0);  // IHDR interlace byte
  Bitmap ba, bi;
  a.AssignTo(ba);
  i.AssignTo(bi);
  EXPECT_EQ(testing::CompareRgb(testing::ToRgba(ba), testing::ToRgba(bi)).maxDiff, 0);
}

TEST(PngReader, DamagedFilesAreRejected) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  ASSERT_EQ(testing::RunPillow("card(40, 30).save(out)", tmp.File("a.png")), 0);
  const auto good = testing::ReadFileBytes(tmp.File("a.png"));
  TPNGObject p;
  ASSERT_NO_THROW(p.LoadFromMemory(good));

  auto badCrc = good;
  badCrc[good.size() - 20] ^= 0x55;  // inside the last IDAT or its CRC
  EXPECT_THROW(p.LoadFromMemory(badCrc), EInvalidGraphic);
  EXPECT_THROW(p.LoadFromMemory(std::span(good.data(), good.size() / 2)), EInvalidGraphic);
  EXPECT_THROW(p.LoadFromMemory(std::span(good.data(), 30)), EInvalidGraphic);
  auto badSig = good;
  badSig[1] = 'X';
  EXPECT_THROW(p.LoadFromMemory(badSig), EInvalidGraphic);
}

TEST(PngWriter, TrueColourAndPaletteReadBackAlike) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  Bitmap rgb(21, 13, PixelFormat::pf24bit), pal4(21, 13, PixelFormat::pf4bit),
      rgb16(21, 13, PixelFormat::pf16bit);
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 21; ++x) {
      uint8_t* p = rgb.Row(y) + 3 * x;
      p[0] = uint8_t(x * 12), p[1] = uint8_t(y * 19), p[2] = uint8_t((x ^ y) * 9);
      pal4.Row(y)[x / 2] |= uint8_t((x + y) % 16 << ((x & 1) ? 0 : 4));
      rgb16.Row(y)[2 * x] = uint8_t(x * 11), rgb16.Row(y)[2 * x + 1] = uint8_t(y * 17);
    }
  for (const Bitmap* b : std::vector<const Bitmap*>{&rgb, &pal4, &rgb16}) {
    testing::WriteFileBytes(tmp.File("w.png"), EncodePng(*b));
    auto back = testing::DecodeWithPillow(tmp.File("w.png"));
    ASSERT_TRUE(back);
    EXPECT_EQ(testing::CompareRgb(testing::ToRgba(*b), *back).maxDiff, 0)
        << BitsPerPixel(b->Format()) << " bits";
    TPNGObject ours;
    ours.LoadFromFile(tmp.File("w.png"));
    Bitmap again;
    ours.AssignTo(again);
    EXPECT_EQ(again.Format(),
              b->Format() == PixelFormat::pf4bit ? PixelFormat::pf4bit : PixelFormat::pf24bit);
  }
}

}  // namespace
}  // namespace quendra
