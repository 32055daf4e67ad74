// Loading and fitting arithmetic: the JPEG scale choice, the fitted target and the area-averaging
// resampler.
#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "app/loader.h"
#include "formats/jpeg_image.h"
#include "formats/tbitmap.h"
#include "support/temp_dir.h"

namespace quendra {
namespace {

TEST(FitRect, FollowsTheDestinationWidthAndCorrectsARoundedHeight) {
  // 1000 x 800 shown 431 wide in a rectangle from top 0 to bottom 345.
  EXPECT_EQ(FitRect({63, 0, 494, 345}, {0, 0, 1000, 800}, 431), (TRect{0, 0, 431, 345}));
  // 500 x 375 (a 4000 x 3000 JPEG at 1/8) shown 460 wide.
  EXPECT_EQ(FitRect({48, 0, 508, 345}, {0, 0, 500, 375}, 460), (TRect{0, 0, 460, 345}));
  // A height that rounding made one larger than the bottom edge is pulled back.
  EXPECT_EQ(FitRect({0, 0, 3, 2}, {0, 0, 2, 3}, 3), (TRect{0, 0, 1, 2}));
  // The bottom edge, not the height, is the limit: a rectangle starting at 10 allows 110.
  EXPECT_EQ(FitRect({0, 10, 100, 110}, {0, 0, 100, 110}, 100), (TRect{0, 0, 100, 110}));
}

std::string SolidJpeg(const testing::TempDir& dir, int w, int h) {
  Bitmap b(w, h, PixelFormat::pf24bit);
  auto bytes = EncodeJpeg(b, 75);
  std::string p = dir / (std::to_string(w) + "x" + std::to_string(h) + ".jpg");
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return p;
}

TEST(ChooseJpegScale, SmallestDecodeThatStillCoversTheDisplay) {
  testing::TempDir dir;
  TJPEGImage j;
  j.LoadFromFile(SolidJpeg(dir, 4000, 3000));
  int changes = 0;
  j.OnChange = [&] { ++changes; };
  struct Case {
    int displayMax;
    JpegScale want;
  } cases[] = {
      {4000, JpegScale::jsFullSize}, {2001, JpegScale::jsFullSize}, {2000, JpegScale::jsHalf},
      {1026, JpegScale::jsHalf},     {1000, JpegScale::jsQuarter},  {501, JpegScale::jsQuarter},
      {500, JpegScale::jsEighth},    {460, JpegScale::jsEighth},    {1, JpegScale::jsEighth}};
  for (auto c : cases) {
    ChooseJpegScale(j, c.displayMax);
    EXPECT_EQ(j.Scale(), c.want) << c.displayMax;
  }
  EXPECT_EQ(changes, 3);  // only real changes announce themselves
  // The size is the decoder's at its scale; the choice always starts from the full size.
  EXPECT_EQ(j.Width(), 500);
  EXPECT_EQ(j.FullWidth(), 4000);
  EXPECT_THROW(ChooseJpegScale(j, 0), std::exception);
}

TEST(ChooseJpegScale, ScaledDecodesRoundEachSideUp) {
  testing::TempDir dir;
  TJPEGImage j;
  j.LoadFromFile(SolidJpeg(dir, 1001, 75));
  j.SetScale(JpegScale::jsEighth);
  Bitmap b;
  j.AssignTo(b);
  EXPECT_EQ(b.Width(), 126);
  EXPECT_EQ(b.Height(), 10);
}

// A new scale changes the picture's size, and the zoomer's destination follows it before the
// fitted target is computed: 867 x 696 decodes at one half to 434 x 348, whose rectangle in
// 557 x 345 is 430 x 345 (the full size's is 429 x 345, which gave a 429 x 344 copy).
TEST(ChooseJpegScale, TheDestinationIsRecomputedForTheScaledSize) {
  testing::TempDir dir;
  TZoomer z;
  z.SetCenter(true);
  z.SetStretch(true);
  z.SetProportional(true);
  z.SetClientSize(557, 345);
  LoadIntoZoomer(z, SolidJpeg(dir, 867, 696));
  EXPECT_EQ(z.Picture().Width(), 430);
  EXPECT_EQ(z.Picture().Height(), 345);
}

Bitmap Filled(int w, int h, uint8_t b, uint8_t g, uint8_t r) {
  Bitmap m(w, h, PixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = m.Row(y) + 3 * x;
      p[0] = b, p[1] = g, p[2] = r;
    }
  return m;
}

TEST(ResampleHalftone, FlatColoursStayExactInEitherDirection) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 3}, {431, 345}, {2000, 3}}) {
    Bitmap m = Filled(997, 13, 10, 200, 255);
    ResampleHalftone(m, {0, 0, w, h});
    ASSERT_EQ(m.Width(), w);
    ASSERT_EQ(m.Format(), PixelFormat::pf32bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(m.PixelColor(x, y), (RGBQuad{10, 200, 255, 0})) << w << "x" << h;
  }
}

TEST(ResampleHalftone, AveragesTheCoveredArea) {
  // Halving a 2 x 2 checker of black and white gives the mean grey.
  Bitmap c(2, 2, PixelFormat::pf32bit);
  for (int i : {0, 3}) std::memset(c.Row(i / 2) + 4 * (i % 2), 255, 3);
  ResampleHalftone(c, {0, 0, 1, 1});
  EXPECT_EQ(c.PixelColor(0, 0), (RGBQuad{128, 128, 128, 0}));
  // Three source columns into two: the middle one is split half and half.
  Bitmap row(3, 1, PixelFormat::pf24bit);
  row.Row(0)[0] = 0, row.Row(0)[3] = 90, row.Row(0)[6] = 180;
  ResampleHalftone(row, {0, 0, 2, 1});
  EXPECT_EQ(row.PixelColor(0, 0).blue, 30);   // (0 * 2/3 + 90 * 1/3)
  EXPECT_EQ(row.PixelColor(1, 0).blue, 150);  // (90 * 1/3 + 180 * 2/3)
  // Palette pictures are read through their palette.
  Bitmap pal(4, 4, PixelFormat::pf8bit);
  pal.Palette()[0] = {0, 0, 250, 0};
  ResampleHalftone(pal, {0, 0, 2, 2});
  EXPECT_EQ(pal.PixelColor(1, 1), (RGBQuad{0, 0, 250, 0}));
}

}  // namespace
}  // namespace quendra

namespace quendra {
namespace {

// The viewer streams a JPEG's rows into the resampler; the result must be exactly what decoding
// the whole picture and resampling it gives.
TEST(ResampleHalftone, StreamingAJpegMatchesDecodingItWhole) {
  testing::TempDir dir;
  Bitmap photo(1203, 797, PixelFormat::pf24bit);
  for (int y = 0; y < photo.Height(); ++y)
    for (int x = 0; x < photo.Width(); ++x) {
      uint8_t* p = photo.Row(y) + 3 * x;
      p[0] = uint8_t(x * 3 + y), p[1] = uint8_t((x ^ y) * 5), p[2] = uint8_t(y * 2);
    }
  auto bytes = EncodeJpeg(photo, 85);
  const std::string path = dir / "photo.jpg";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  for (auto [cw, ch] : {std::pair{557, 345}, {280, 200}, {2000, 1500}}) {
    TZoomer z;
    z.SetCenter(true);
    z.SetStretch(true);
    z.SetProportional(true);
    z.SetClientSize(cw, ch);
    LoadIntoZoomer(z, path);
    const Bitmap& streamed = dynamic_cast<TBitmap&>(*z.Picture().Graphic()).Image();

    TJPEGImage j;
    j.LoadFromFile(path);
    ChooseJpegScale(j, std::max(z.DestWidth(), z.DestHeight()));
    Bitmap whole;
    j.AssignTo(whole);
    ResampleHalftone(whole, {0, 0, streamed.Width(), streamed.Height()});
    EXPECT_TRUE(whole == streamed) << cw << "x" << ch;
  }
}

}  // namespace
}  // namespace quendra
