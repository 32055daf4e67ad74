// JPEG reader: reduced-scale decoding against djpeg from the same libjpeg, greyscale and CMYK
// colours, damaged files, and the writer read back by Pillow.
#include <gtest/gtest.h>

#include <cstring>

#include "base/errors.h"
#include "formats/jpeg_image.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::TempDir;

TJPEGImage Load(const std::string& path) {
  TJPEGImage j;
  j.LoadFromFile(path);
  return j;
}

class JpegScales : public ::testing::TestWithParam<JpegScale> {};

// 333 x 201 is odd in both directions, so every reduced size is rounded up.
TEST_P(JpegScales, DecodesAtTheScaleLikeDjpeg) {
  if (!testing::HavePillow() || !testing::HaveCommand("djpeg"))
    GTEST_SKIP() << "needs Pillow and djpeg";
  TempDir tmp;
  const std::string jpg = tmp.File("card.jpg");
  ASSERT_EQ(testing::RunPillow("card(333, 201).save(out, quality=85)", jpg), 0);
  TJPEGImage j = Load(jpg);
  j.SetScale(GetParam());
  const int d = 1 << int(GetParam());
  Bitmap b;
  j.AssignTo(b);
  EXPECT_EQ(j.FullWidth(), 333);
  EXPECT_EQ(j.Width(), b.Width());  // the size at the chosen scale
  EXPECT_EQ(b.Width(), (333 + d - 1) / d);
  EXPECT_EQ(b.Height(), (201 + d - 1) / d);
  EXPECT_EQ(b.Width(), j.ScaledWidth());
  EXPECT_EQ(b.Format(), PixelFormat::pf24bit);

  const std::string ppm = tmp.File("ref.ppm");
  ASSERT_EQ(testing::Run("djpeg -scale 1/" + std::to_string(d) + " -outfile " + ppm + " " + jpg),
            0);
  auto ref = testing::ReadPnm(ppm);
  ASSERT_TRUE(ref);
  EXPECT_EQ(testing::CompareRgb(testing::ToRgba(b), *ref).maxDiff, 0);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegScales,
                         ::testing::Values(JpegScale::jsFullSize, JpegScale::jsHalf,
                                           JpegScale::jsQuarter, JpegScale::jsEighth));

TEST(JpegReader, ScaleChangesAnnounceThemselvesOnce) {
  TJPEGImage j;
  int changes = 0;
  j.OnChange = [&] { ++changes; };
  j.SetScale(JpegScale::jsFullSize);
  j.SetScale(JpegScale::jsQuarter);
  j.SetScale(JpegScale::jsQuarter);
  EXPECT_EQ(changes, 1);
}

TEST(JpegReader, GreyscaleExpandsToEqualChannels) {
  if (!testing::HavePillow() || !testing::HaveCommand("djpeg"))
    GTEST_SKIP() << "needs Pillow and djpeg";
  TempDir tmp;
  const std::string jpg = tmp.File("grey.jpg");
  ASSERT_EQ(testing::RunPillow("card(40, 30).convert('L').save(out)", jpg), 0);
  Bitmap b;
  Load(jpg).AssignTo(b);
  ASSERT_EQ(testing::Run("djpeg -outfile " + tmp.File("g.pgm") + " " + jpg), 0);
  auto ref = testing::ReadPnm(tmp.File("g.pgm"));
  ASSERT_TRUE(ref);
  EXPECT_EQ(testing::CompareRgb(testing::ToRgba(b), *ref).maxDiff, 0);
}

TEST(JpegReader, AdobeCmykShowsItsInksAsColours) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  const std::string jpg = tmp.File("cmyk.jpg");
  // Four 16x16 blocks: cyan ink, magenta + yellow ink (red), full black, no ink (white).
  ASSERT_EQ(testing::RunPillow(R"(
im = Image.new('CMYK', (64, 16))
for i, ink in enumerate([(255, 0, 0, 0), (0, 255, 255, 0), (0, 0, 0, 255), (0, 0, 0, 0)]):
    im.paste(ink, (16 * i, 0, 16 * i + 16, 16))
im.save(out, quality=100)
)",
                               jpg),
            0);
  Bitmap b;
  Load(jpg).AssignTo(b);
  const RGBQuad expected[4] = {{255, 255, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 0}, {255, 255, 255, 0}};
  for (int i = 0; i < 4; ++i) {
    RGBQuad c = b.PixelColor(16 * i + 8, 8);
    EXPECT_NEAR(c.red, expected[i].red, 8) << "block " << i;
    EXPECT_NEAR(c.green, expected[i].green, 8) << "block " << i;
    EXPECT_NEAR(c.blue, expected[i].blue, 8) << "block " << i;
  }
}

TEST(JpegReader, YcckFromTheCorpusMatchesImageMagick) {
  const std::string root = testing::TestDataDir();
  if (root.empty()) GTEST_SKIP() << "conformance corpus ../shared/testdata not found";
  const std::string path = root + "/jpg/pillow/pil_sample_cmyk.jpg";
  auto ref = testing::DecodeWithImageMagick(path);
  if (!ref) GTEST_SKIP() << "needs ImageMagick";
  Bitmap b;
  Load(path).AssignTo(b);
  auto diff = testing::CompareRgb(testing::ToRgba(b), *ref);
  EXPECT_LE(diff.meanDiff, 3.0);
  EXPECT_LE(diff.maxDiff, 48);
}

TEST(JpegReader, DamagedFilesFailOrDegradeWithoutCrashing) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  ASSERT_EQ(testing::RunPillow("card(120, 90).save(out, quality=90)", tmp.File("c.jpg")), 0);
  const auto bytes = testing::ReadFileBytes(tmp.File("c.jpg"));

  // Cut inside the coded data: the size is known, the picture shows what arrived.
  TJPEGImage half;
  half.LoadFromMemory(std::span(bytes.data(), bytes.size() / 2));
  Bitmap b;
  EXPECT_NO_THROW(half.AssignTo(b));
  EXPECT_EQ(b.Width(), 120);

  // Cut inside the header, garbage, another format, nothing at all: clean errors.
  TJPEGImage j;
  EXPECT_THROW(j.LoadFromMemory(std::span(bytes.data(), 100)), EInvalidGraphic);
  EXPECT_THROW(j.LoadFromMemory(std::vector<uint8_t>(500, 0xFF)), EInvalidGraphic);
  EXPECT_THROW(j.LoadFromMemory(std::vector<uint8_t>{0x89, 'P', 'N', 'G', 13, 10, 26, 10}),
               EInvalidGraphic);
  EXPECT_THROW(j.LoadFromMemory({}), EInvalidGraphic);
  EXPECT_THROW(j.AssignTo(b), EInvalidGraphic);

  // A corrupted Huffman table (DHT lengths) is reported as an invalid graphic.
  auto bad = bytes;
  for (size_t i = 0; i + 20 < bad.size(); ++i)
    if (bad[i] == 0xFF && bad[i + 1] == 0xC4) {
      std::fill(bad.begin() + long(i) + 5, bad.begin() + long(i) + 21, 0xFF);
      break;
    }
  EXPECT_THROW(
      {
        TJPEGImage k;
        k.LoadFromMemory(bad);
        k.AssignTo(b);
      },
      EInvalidGraphic);
}

TEST(JpegWriter, EveryPixelFormatEncodesReadably) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  ASSERT_EQ(testing::RunPillow("card(64, 48).save(out)", tmp.File("c.png")), 0);
  auto src = testing::DecodeWithPillow(tmp.File("c.png"));
  ASSERT_TRUE(src);
  Bitmap rgb(64, 48, PixelFormat::pf24bit);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      for (int c = 0; c < 3; ++c) rgb.Row(y)[3 * x + c] = src->At(x, y)[2 - c];
  Bitmap pal8(64, 48, PixelFormat::pf8bit);  // default grey palette: a vertical grey ramp
  for (int y = 0; y < 48; ++y) std::memset(pal8.Row(y), y * 5, 64);

  const Bitmap rgb32 = rgb.To32();
  for (const Bitmap* b : std::vector<const Bitmap*>{&rgb, &pal8, &rgb32}) {
    auto jpg = EncodeJpeg(*b, 95);
    testing::WriteFileBytes(tmp.File("w.jpg"), jpg);
    auto back = testing::DecodeWithPillow(tmp.File("w.jpg"));
    ASSERT_TRUE(back);
    auto diff = testing::CompareRgb(testing::ToRgba(*b), *back);
    EXPECT_LT(diff.meanDiff, 8.0) << BitsPerPixel(b->Format()) << " bits";
  }
  EXPECT_LT(EncodeJpeg(rgb, 20).size(), EncodeJpeg(rgb, 95).size());
  EXPECT_THROW(EncodeJpeg(Bitmap(), 90), EInvalidGraphic);
}

}  // namespace
}  // namespace quendra
