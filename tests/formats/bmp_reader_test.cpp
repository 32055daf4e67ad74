// BMP reader and writer against files written by ImageMagick and Pillow, decoded by Pillow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/errors.h"
#include "formats/tbitmap.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::TempDir;

struct Variant {
  const char* name;
  const char* convertArgs;  // ImageMagick options between source and target
  const char* target;       // with its format prefix
  PixelFormat expected;
};

class BmpVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(BmpVariants, DecodesLikePillowInTheFilesPixelFormat) {
  if (!testing::HavePillow() || !testing::HaveCommand("/usr/bin/convert"))
    GTEST_SKIP() << "needs Pillow and ImageMagick";
  const Variant& v = GetParam();
  TempDir tmp;
  ASSERT_EQ(testing::RunPillow("card(61, 37).save(out)", tmp.File("card.png")), 0);
  const std::string bmp = tmp.File(v.name);
  ASSERT_EQ(testing::Run("/usr/bin/convert " + tmp.File("card.png") + " " + v.convertArgs + " " +
                         v.target + bmp),
            0);

  Bitmap decoded = DecodeBmp(testing::ReadFileBytes(bmp));
  EXPECT_EQ(decoded.Format(), v.expected);
  auto ref = testing::DecodeWithPillow(bmp);
  ASSERT_TRUE(ref);
  auto diff = testing::CompareRgb(testing::ToRgba(decoded), *ref);
  EXPECT_LE(diff.maxDiff, 1) << "mean " << diff.meanDiff;  // 5-bit channels may widen differently

  // Written back in its own format, the picture reads back unchanged (the writer's plain 32-bit
  // header has no alpha, so only colours count), and Pillow agrees.
  std::vector<uint8_t> again = EncodeBmp(decoded);
  Bitmap reread = DecodeBmp(again);
  EXPECT_EQ(reread.Format(), decoded.Format());
  EXPECT_EQ(testing::CompareRgb(testing::ToRgba(reread), testing::ToRgba(decoded)).maxDiff, 0);
  testing::WriteFileBytes(tmp.File("again.bmp"), again);
  auto ref2 = testing::DecodeWithPillow(tmp.File("again.bmp"));
  ASSERT_TRUE(ref2);
  EXPECT_LE(testing::CompareRgb(testing::ToRgba(decoded), *ref2).maxDiff, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Bmp, BmpVariants,
    ::testing::Values(
        Variant{"mono.bmp", "-monochrome -type bilevel", "BMP3:", PixelFormat::pf1bit},
        Variant{"pal4.bmp", "-colors 16 -type palette -depth 4", "BMP3:", PixelFormat::pf4bit},
        Variant{"pal8.bmp", "-colors 200 -type palette", "BMP3:", PixelFormat::pf8bit},
        Variant{"rle8.bmp", "-colors 200 -type palette -compress RLE",
                "BMP3:", PixelFormat::pf8bit},
        Variant{"os2.bmp", "-colors 200 -type palette", "BMP2:", PixelFormat::pf8bit},
        Variant{"rgb555.bmp", "-define bmp:subtype=RGB555", "BMP:", PixelFormat::pf15bit},
        Variant{"rgb565.bmp", "-define bmp:subtype=RGB565", "BMP:", PixelFormat::pf16bit},
        Variant{"rgb24.bmp", "-type truecolor", "BMP3:", PixelFormat::pf24bit},
        Variant{"argb.bmp", "-alpha set -channel A -evaluate set 50% +channel",
                "BMP:", PixelFormat::pf32bit}),
    [](const auto& p) {
      std::string n = p.param.name;
      return n.substr(0, n.find('.'));
    });

// A minimal 8-bit BMP built by hand: 4x2, `colors` palette entries, rows as given (bottom-up
// unless `topDown`).
std::vector<uint8_t> TinyPal8(uint32_t colors, bool topDown, const std::vector<uint8_t>& pixels) {
  Bitmap b(4, 2, PixelFormat::pf8bit);
  b.Palette().resize(colors);
  for (uint32_t i = 0; i < colors; ++i) b.Palette()[i] = {uint8_t(i * 40), 0, 0, 0};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) b.Row(y)[x] = pixels[size_t(y) * 4 + x];
  auto file = EncodeBmp(b);
  if (topDown) {  // negative height, rows stored top-down
    int32_t h = -2;
    std::memcpy(&file[22], &h, 4);
    const size_t at = file.size() - 8;
    std::swap_ranges(file.begin() + long(at), file.begin() + long(at) + 4,
                     file.begin() + long(at) + 4);
  }
  return file;
}

TEST(BmpReader, TopDownRowsAndOutOfPaletteIndexes) {
  const std::vector<uint8_t> px = {0, 1, 2, 3, 3, 2, 1, 200};
  Bitmap up = DecodeBmp(TinyPal8(4, false, px));
  Bitmap down = DecodeBmp(TinyPal8(4, true, px));
  EXPECT_EQ(up, down);
  EXPECT_EQ(up.Row(1)[3], 200);
  EXPECT_EQ(up.Palette().size(), 4u);  // palette size from the colours-used field
  EXPECT_EQ(up.PixelColor(3, 1),
            (RGBQuad{0, 0, 0, 0}));  // index 200 lies beyond it: black, no overread
}

TEST(BmpReader, RejectsBrokenFilesCleanly) {
  auto good = TinyPal8(4, false, {0, 1, 2, 3, 3, 2, 1, 0});
  auto truncated = good;
  truncated.resize(truncated.size() - 3);
  EXPECT_THROW(DecodeBmp(truncated), EInvalidGraphic);
  EXPECT_THROW(DecodeBmp(std::vector<uint8_t>(good.begin(), good.begin() + 20)), EInvalidGraphic);
  auto badSig = good;
  badSig[0] = 'X';
  EXPECT_THROW(DecodeBmp(badSig), EInvalidGraphic);
  auto huge = good;  // 1,000,000 x 1,000,000 must hit the pixel limit before any allocation
  int32_t big = 1000000;
  std::memcpy(&huge[18], &big, 4);
  std::memcpy(&huge[22], &big, 4);
  EXPECT_THROW(DecodeBmp(huge), EInvalidGraphic);
  auto bits = good;
  bits[28] = 7;
  EXPECT_THROW(DecodeBmp(bits), EInvalidGraphic);
}

TEST(BmpReader, RleRunsPastTheRowAreClipped) {
  // 4x1 RLE8: a run of 9 pixels (only 4 fit), then a literal block of 6, then end of bitmap.
  std::vector<uint8_t> f = {
      'B', 'M', 0, 0, 0,   0,   0,   0, 0, 0, 62, 0, 0, 0,  // file header, data at 62
      40,  0,   0, 0, 4,   0,   0,   0, 1, 0, 0,  0, 1, 0, 8, 0, 1, 0, 0, 0,  // RLE8
      0,   0,   0, 0, 0,   0,   0,   0, 0, 0, 0,  0, 2, 0, 0, 0, 0, 0, 0, 0,  // 2 colours
      0,   0,   0, 0, 255, 255, 255, 0,                                       // palette
      9,   1,   0, 6, 1,   1,   1,   1, 1, 1, 0,  1};
  Bitmap b = DecodeBmp(f);
  ASSERT_EQ(b.Width(), 4);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Row(0)[x], 1);
}

TEST(BmpReader, RleDeltasMoveRightAndUp) {
  // 4x3 RLE8, rows bottom up: a delta of 1 right and 2 up from the bottom row, then a run of 2.
  std::vector<uint8_t> f = {
      'B', 'M', 0, 0, 0,   0,   0,   0, 0, 0, 62, 0, 0, 0,  // file header, data at 62
      40,  0,   0, 0, 4,   0,   0,   0, 3, 0, 0,  0, 1, 0, 8, 0, 1, 0, 0, 0,  // RLE8
      0,   0,   0, 0, 0,   0,   0,   0, 0, 0, 0,  0, 2, 0, 0, 0, 0, 0, 0, 0,  // 2 colours
      0,   0,   0, 0, 255, 255, 255, 0,                                       // palette
      0,   2,   1, 2, 2,   1,   0,   1};
  Bitmap b = DecodeBmp(f);
  ASSERT_EQ(b.Height(), 3);
  const uint8_t top[] = {0, 1, 1, 0}, other[] = {0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(b.Row(0), top, 4), 0);  // the top row is the third from the bottom
  EXPECT_EQ(std::memcmp(b.Row(1), other, 4), 0);
  EXPECT_EQ(std::memcmp(b.Row(2), other, 4), 0);
}

TEST(BmpWriter, SixteenBitsUseBitFieldsAndRowsGoBottomUp) {
  Bitmap b(3, 2, PixelFormat::pf16bit);
  b.Row(0)[0] = 0x1F;  // top-left pure blue in 5-6-5
  auto file = EncodeBmp(b);
  EXPECT_EQ(file[30], 3);  // BI_BITFIELDS
  uint32_t red = 0;
  std::memcpy(&red, &file[54], 4);
  EXPECT_EQ(red, 0xF800u);
  EXPECT_EQ(file[66 + 8], 0x1F);  // second stored row (stride 8) is the top row
  EXPECT_EQ(DecodeBmp(file), b);
}

}  // namespace
}  // namespace quendra
