#include "base/bitmap.h"

#include <gtest/gtest.h>

#include "base/errors.h"

namespace quendra {

TEST(Bitmap, RowsArePaddedToFourBytes) {
  EXPECT_EQ(Bitmap::StrideFor(1, PixelFormat::pf1bit), 4u);
  EXPECT_EQ(Bitmap::StrideFor(33, PixelFormat::pf1bit), 8u);
  EXPECT_EQ(Bitmap::StrideFor(3, PixelFormat::pf24bit), 12u);
  EXPECT_EQ(Bitmap::StrideFor(5, PixelFormat::pf4bit), 4u);
  EXPECT_EQ(Bitmap::StrideFor(7, PixelFormat::pf32bit), 28u);
}

TEST(Bitmap, RefusesSizesBeyondTheLimitBeforeAllocating) {
  Bitmap b;
  EXPECT_THROW(b.Reset(65535 * 16, 65535 * 16, PixelFormat::pf32bit), EInvalidGraphic);
  EXPECT_THROW(b.Reset(-1, 5, PixelFormat::pf8bit), EInvalidGraphic);
  EXPECT_NO_THROW(b.Reset(0, 0, PixelFormat::pf8bit));
  EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, ConvertsEveryFormatTo32BitsKeepingColours) {
  Bitmap one(9, 1, PixelFormat::pf1bit);
  one.Palette() = {{0, 0, 255, 0}, {0, 255, 0, 0}};
  one.Row(0)[1] = 0x80;  // pixel 8 set
  one.ConvertTo32();
  EXPECT_EQ(one.PixelColor(0, 0), (RGBQuad{0, 0, 255, 0}));
  EXPECT_EQ(one.PixelColor(8, 0), (RGBQuad{0, 255, 0, 0}));

  Bitmap four(3, 1, PixelFormat::pf4bit);
  four.Palette()[2] = {1, 2, 3, 0};
  four.Row(0)[0] = 0x02;  // pixel 0 = 0, pixel 1 = 2 (high nibble first)
  EXPECT_EQ(four.PixelColor(1, 0), (RGBQuad{1, 2, 3, 0}));

  Bitmap w16(1, 1, PixelFormat::pf16bit);
  w16.Row(0)[0] = 0x1f;  // pure blue in 5-6-5
  EXPECT_EQ(w16.PixelColor(0, 0), (RGBQuad{255, 0, 0, 0}));
  Bitmap w15(1, 1, PixelFormat::pf15bit);
  w15.Row(0)[1] = 0x7c;  // pure red in x-5-5-5
  EXPECT_EQ(w15.PixelColor(0, 0), (RGBQuad{0, 0, 255, 0}));

  Bitmap t(2, 2, PixelFormat::pf24bit);
  t.Row(1)[3] = 7;
  t.Transparent = true;
  t.TransparentColor = RGB(1, 2, 3);
  Bitmap c = t.To32();
  EXPECT_EQ(c.Format(), PixelFormat::pf32bit);
  EXPECT_EQ(c.Row(1)[4], 7);
  EXPECT_TRUE(c.Transparent);
  EXPECT_EQ(c.TransparentColor, RGB(1, 2, 3));
}

}  // namespace quendra
