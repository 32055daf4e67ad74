// GIF reader: first frame, the logical-screen rule, clipping, interlacing and transparency, on
// files written by Pillow and ImageMagick and compared with Pillow's decode.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "formats/gif_image.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::TempDir;

Bitmap Read(const std::string& path) {
  return testing::ReadWith<TGIFImage>(path);
}

// Offset of the first image descriptor (0x2C) of a GIF, skipping the colour table and extensions.
size_t FirstDescriptor(const std::vector<uint8_t>& f) {
  size_t p = 13 + ((f[10] & 0x80) ? 3u << ((f[10] & 7) + 1) : 0);
  while (p < f.size() && f[p] == 0x21) {
    p += 2;
    while (p < f.size() && f[p]) p += f[p] + 1u;
    ++p;
  }
  return p;
}

TEST(GifReader, FullScreenFirstFrameIsThePictureItself) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  const std::string gif = tmp.File("a.gif");
  // Two frames; only the first may show.
  ASSERT_EQ(testing::RunPillow("a = card(45, 31).convert('P'); b = Image.new('P', (45, 31), 3); "
                               "a.save(out, save_all=True, append_images=[b])",
                               gif),
            0);
  Bitmap b = Read(gif);
  EXPECT_EQ(b.Format(), PixelFormat::pf8bit);
  auto ref = testing::DecodeWithPillow(gif);
  ASSERT_TRUE(ref);
  EXPECT_EQ(testing::CompareRgb(testing::ToRgba(b), *ref).maxDiff, 0);
  EXPECT_FALSE(b.Transparent);
}

TEST(GifReader, SmallFrameIsDrawnOnTheLogicalScreenAndClipped) {
  if (!testing::HaveCommand("/usr/bin/convert")) GTEST_SKIP() << "needs ImageMagick";
  TempDir tmp;
  const std::string gif = tmp.File("p.gif");
  // A 10x8 red frame at (5,7) on a 40x30 screen whose background is blue (colour 0).
  ASSERT_EQ(
      testing::Run("/usr/bin/convert -size 10x8 xc:red -background blue -page 40x30+5+7 " + gif),
      0);
  auto bytes = testing::ReadFileBytes(gif);
  ASSERT_TRUE(bytes[10] & 0x80);
  const size_t last = (2u << (bytes[10] & 7)) - 1;
  bytes[11] = uint8_t(last);  // background: the last colour of the global table, made blue
  bytes[13 + 3 * last] = 0, bytes[14 + 3 * last] = 0, bytes[15 + 3 * last] = 255;
  const size_t d = FirstDescriptor(bytes);
  ASSERT_EQ(bytes[d], 0x2C);
  ASSERT_FALSE(bytes[d + 9] & 0x80);  // the frame uses the global table
  testing::WriteFileBytes(gif, bytes);
  Bitmap b = Read(gif);
  ASSERT_EQ(b.Width(), 40);
  ASSERT_EQ(b.Height(), 30);
  EXPECT_EQ(b.PixelColor(5, 7), (RGBQuad{0, 0, 255, 0}));    // frame corner: red
  EXPECT_EQ(b.PixelColor(14, 14), (RGBQuad{0, 0, 255, 0}));  // frame's far corner
  EXPECT_EQ(b.PixelColor(4, 7), (RGBQuad{255, 0, 0, 0}));    // background: blue
  EXPECT_EQ(b.PixelColor(15, 15), (RGBQuad{255, 0, 0, 0}));

  // Moved to (35,27) the frame sticks out of the screen: the part inside shows, nothing breaks.
  bytes[d + 1] = 35, bytes[d + 2] = 0, bytes[d + 3] = 27, bytes[d + 4] = 0;
  testing::WriteFileBytes(gif, bytes);
  b = Read(gif);
  EXPECT_EQ(b.PixelColor(39, 29), (RGBQuad{0, 0, 255, 0}));
  EXPECT_EQ(b.PixelColor(34, 29), (RGBQuad{255, 0, 0, 0}));
  // Entirely outside: just the screen.
  bytes[d + 1] = 0, bytes[d + 2] = 1;
  testing::WriteFileBytes(gif, bytes);
  b = Read(gif);
  EXPECT_EQ(b.Width(), 40);
  EXPECT_EQ(b.PixelColor(39, 29), (RGBQuad{255, 0, 0, 0}));
}

TEST(GifReader, InterlacedFramesAreDeinterlaced) {
  if (!testing::HavePillow() || !testing::HaveCommand("/usr/bin/convert"))
    GTEST_SKIP() << "needs Pillow and ImageMagick";
  TempDir tmp;
  ASSERT_EQ(
      testing::RunPillow("card(37, 29).convert('P').save(out, interlace=False)", tmp.File("a.gif")),
      0);
  ASSERT_EQ(testing::Run("/usr/bin/convert " + tmp.File("a.gif") + " -interlace GIF " +
                         tmp.File("i.gif")),
            0);
  auto bytes = testing::ReadFileBytes(tmp.File("i.gif"));
  ASSERT_TRUE(bytes[FirstDescriptor(bytes) + 9] & 0x40);
  EXPECT_EQ(testing::CompareRgb(testing::ToRgba(Read(tmp.File("a.gif"))),
                                testing::ToRgba(Read(tmp.File("i.gif"))))
                .maxDiff,
            0);
}

TEST(GifReader, TransparentIndexMarksTheBitmap) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  ASSERT_EQ(
      testing::RunPillow(
          "im = Image.new('P', (6, 4), 1); im.putpalette([1, 2, 3, 200, 100, 50] + [0] * 762); "
          "im.putpixel((1, 1), 0); im.save(out, transparency=0)",
          tmp.File("t.gif")),
      0);
  Bitmap b = Read(tmp.File("t.gif"));
  EXPECT_TRUE(b.Transparent);
  EXPECT_EQ(b.TransparentColor, RGB(1, 2, 3));
}

TEST(GifReader, BrokenFilesFailCleanly) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  ASSERT_EQ(testing::RunPillow("card(50, 40).convert('P').save(out)", tmp.File("a.gif")), 0);
  const auto good = testing::ReadFileBytes(tmp.File("a.gif"));
  TGIFImage g;
  EXPECT_THROW(g.LoadFromMemory(std::span(good.data(), good.size() / 2)),
               EInvalidGraphic);  // inside the frame
  EXPECT_THROW(g.LoadFromMemory(std::span(good.data(), 20)), EInvalidGraphic);
  EXPECT_THROW(g.LoadFromMemory(
                   std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B}),
               EInvalidGraphic);
  EXPECT_THROW(g.LoadFromMemory(std::vector<uint8_t>{'X', 'Y', 'Z'}), EInvalidGraphic);
}

}  // namespace
}  // namespace quendra
