#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "base/errors.h"
#include "formats/jpeg2000_bitmap.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using namespace testing;

constexpr uint8_t kSizMarker[2] = {0xFF, 0x51};

Bitmap LoadFile(const std::string& path) {
  TJpeg2000Bitmap g;
  g.LoadFromFile(path);
  return g.Image();
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  try {
    TJpeg2000Bitmap g;
    g.LoadFromMemory(bytes);
  } catch (const EJpeg2000Error& e) {
    return e.what();
  }
  return "";
}

Bitmap FromRgba(const RgbaImage& img, bool withAlpha) {
  Bitmap b(img.width, img.height, withAlpha ? PixelFormat::pf32bit : PixelFormat::pf24bit);
  const int step = withAlpha ? 4 : 3;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint8_t* s = img.At(x, y);
      uint8_t* d = b.Row(y) + step * x;
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      if (withAlpha) d[3] = s[3];
    }
  return b;
}

// A single-component PGX file (big-endian samples of 2 bytes above 8 bits).
void WritePgx(const std::string& path, int depth, bool sgnd, int w, int h,
              const std::vector<int>& v) {
  std::string head = "PG ML " + std::string(sgnd ? "-" : "+") + std::to_string(depth) + " " +
                     std::to_string(w) + " " + std::to_string(h) + "\n";
  std::vector<uint8_t> bytes(head.begin(), head.end());
  for (int s : v) {
    if (depth > 8) bytes.push_back(uint8_t(uint16_t(s) >> 8));
    bytes.push_back(uint8_t(s));
  }
  WriteFileBytes(path, bytes);
}

bool HaveOpenJpegTools() {
  return HaveCommand("opj_compress") && HaveCommand("opj_decompress");
}

TEST(Jpeg2000Read, DetectionGoesByContentNotByName) {
  EXPECT_EQ(ErrorOf({1, 2, 3, 4, 5, 6, 7, 8, 9}), "Unknown JPEG 2000 file type");
  EXPECT_EQ(ErrorOf({}), "Unknown JPEG 2000 file type");
  EXPECT_EQ(ErrorOf({0, 0, 0, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0, 0}),
            "JPEG 2000 image decoding failed");
  EXPECT_EQ(ErrorOf({0xFF, 0x4F, 0xFF, 0x51, 0, 0}), "JPEG 2000 image decoding failed");

  if (!HaveOpenJpegTools()) GTEST_SKIP() << "OpenJPEG tools missing";
  TempDir dir;
  const RgbaImage src = PhotoLike(64, 40, 5);
  WritePpm(dir.File("src.ppm"), src);
  ASSERT_EQ(testing::Run("opj_compress -i " + ShellQuote(dir.File("src.ppm")) + " -o " +
                         ShellQuote(dir.File("cs.j2k"))),
            0);
  ASSERT_EQ(testing::Run("opj_compress -i " + ShellQuote(dir.File("src.ppm")) + " -o " +
                         ShellQuote(dir.File("box.jp2"))),
            0);
  // Swap the names: a codestream called .jp2 and a JP2 file called .j2k.
  std::filesystem::rename(dir.File("cs.j2k"), dir.File("codestream.jp2"));
  std::filesystem::rename(dir.File("box.jp2"), dir.File("boxed.j2k"));
  for (const char* name : {"codestream.jp2", "boxed.j2k"}) {
    Bitmap b = LoadFile(dir.File(name));
    EXPECT_EQ(b.Format(), PixelFormat::pf24bit) << name;
    EXPECT_EQ(CompareRgb(ToRgba(b, true), src).maxDiff, 0)
        << name;  // opj_compress is lossless by default
  }
}

TEST(Jpeg2000Read, SamplePrecisionsAndOffsets) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "OpenJPEG tools missing";
  TempDir dir;
  // 12 bits unsigned: 4095 is white, other values scale down; 12 bits signed: offset first.
  WritePgx(dir.File("u12.pgx"), 12, false, 4, 1, {4095, 2048, 1, 0});
  WritePgx(dir.File("s12.pgx"), 12, true, 3, 1, {2047, 0, -2048});
  WritePgx(dir.File("u8.pgx"), 8, false, 3, 1, {255, 128, 3});
  for (const char* n : {"u12", "s12", "u8"})
    ASSERT_EQ(testing::Run("opj_compress -n 1 -i " + ShellQuote(dir.File(std::string(n) + ".pgx")) +
                           " -o " + ShellQuote(dir.File(std::string(n) + ".j2k"))),
              0)
        << n;
  Bitmap u12 = LoadFile(dir.File("u12.j2k"));
  ASSERT_EQ(u12.Format(), PixelFormat::pf8bit);
  EXPECT_EQ(std::memcmp(u12.Row(0), "\xff\x7f\x00\x00", 4), 0);
  EXPECT_EQ(u12.Palette()[77], (RGBQuad{77, 77, 77, 0}));
  Bitmap s12 = LoadFile(dir.File("s12.j2k"));
  EXPECT_EQ(std::memcmp(s12.Row(0), "\xff\x7f\x00", 3), 0);
  Bitmap u8 = LoadFile(dir.File("u8.j2k"));
  EXPECT_EQ(std::memcmp(u8.Row(0), "\xff\x80\x03", 3), 0);
}

TEST(Jpeg2000Read, SubsampledComponentsRepeatOverTheirBlocks) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "OpenJPEG tools missing";
  TempDir dir;
  std::vector<int> v(16);
  for (int i = 0; i < 16; ++i) v[size_t(i)] = 10 + 15 * i;
  WritePgx(dir.File("g.pgx"), 8, false, 4, 4, v);
  // Subsampled by 2 both ways: a 4 x 4 component on a 7 x 7 grid.
  ASSERT_EQ(testing::Run("opj_compress -s 2,2 -n 2 -i " + ShellQuote(dir.File("g.pgx")) + " -o " +
                         ShellQuote(dir.File("g.j2k"))),
            0);
  Bitmap b = LoadFile(dir.File("g.j2k"));
  ASSERT_EQ(b.Width(), 7);
  ASSERT_EQ(b.Height(), 7);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(b.Row(y)[x], v[size_t(y / 2 * 4 + x / 2)]) << x << "," << y;
}

TEST(Jpeg2000Read, SyccFourTwoZeroMatchesTheReferenceDecoder) {
  const std::string root = TestDataDir();
  if (root.empty()) GTEST_SKIP() << "conformance corpus ../shared/testdata not found; skipping";
  const std::string file = root + "/jp2/openjpeg-nr/issue411-ycc420.jp2";
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "OpenJPEG tools missing";
  TempDir dir;
  ASSERT_EQ(testing::Run("opj_decompress -i " + ShellQuote(file) + " -o " +
                         ShellQuote(dir.File("ref.png")) + " 2>&1"),
            0);
  auto ref = DecodeWithImageMagick(dir.File("ref.png"), true);
  ASSERT_TRUE(ref);
  Bitmap b = LoadFile(file);
  ASSERT_EQ(b.Format(), PixelFormat::pf24bit);
  // The reference truncates where we round, and rounds its coefficients to three places.
  EXPECT_LE(CompareRgb(ToRgba(b, true), *ref).maxDiff, 2);
}

TEST(Jpeg2000Read, GreyWithAlphaLoadsTheGreyComponent) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "OpenJPEG tools missing";
  TempDir dir;
  const std::string head =
      "P7\nWIDTH 16\nHEIGHT 8\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n";
  std::vector<uint8_t> pam(head.begin(), head.end());
  for (int i = 0; i < 128; ++i) {
    pam.push_back(uint8_t(i * 2));
    pam.push_back(uint8_t(255 - i));
  }
  WriteFileBytes(dir.File("ga.pam"), pam);
  ASSERT_EQ(testing::Run("opj_compress -n 2 -i " + ShellQuote(dir.File("ga.pam")) + " -o " +
                         ShellQuote(dir.File("ga.jp2"))),
            0);
  Bitmap b = LoadFile(dir.File("ga.jp2"));
  ASSERT_EQ(b.Format(), PixelFormat::pf8bit);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(b.Row(y)[x], (y * 16 + x) * 2);
}

TEST(Jpeg2000Write, RatioRule) {
  // Quality 97: the divisor of N is 324 / 100, so big pictures approach 3.24.
  EXPECT_NEAR(Jpeg2000Ratio(3'000'000, 3, 97), 3.0e6 / (3.0e6 / 3.24 + 834), 1e-4);
  EXPECT_NEAR(Jpeg2000Ratio(int64_t(1) << 40, 4, 97), 3.24, 1e-3);
  EXPECT_NEAR(Jpeg2000Ratio(4'000'000, 4, 80), 4.0e6 / (4.0e6 * 100 / 1225 + 976), 1e-3);
  // Single precision, as files written elsewhere by the same rule.
  const float n = 1234567.0f * 3;
  EXPECT_EQ(Jpeg2000Ratio(1234567 * 3, 3, 97), n / (n * 100.0f / 324.0f + 550.0f + 284.0f));
}

TEST(Jpeg2000Write, OurFilesReadBackHereAndInOtherReaders) {
  TempDir dir;
  const RgbaImage src = PhotoLike(160, 90, 9);
  const Bitmap bmp = FromRgba(src, false);

  const auto lossy = EncodeJpeg2000(bmp, 97, false);
  const auto lossless = EncodeJpeg2000(bmp, 97, true);
  ASSERT_GE(lossy.size(), 12u);
  EXPECT_EQ(std::memcmp(lossy.data(), "\0\0\0\x0cjP  ", 8), 0);  // always a JP2 file
  EXPECT_LT(lossy.size(), lossless.size());
  // About the ratio: 160 * 90 * 3 bytes over ~3.2.
  EXPECT_LT(lossy.size(), size_t(160 * 90 * 3 / 2.5));

  TJpeg2000Bitmap ours;
  ours.LoadFromMemory(lossy);
  EXPECT_LE(CompareRgb(ToRgba(ours.Image(), true), src).meanDiff, 2.0);
  EXPECT_LE(CompareRgb(ToRgba(ours.Image(), true), src).maxDiff, 40);
  ours.LoadFromMemory(lossless);
  EXPECT_EQ(CompareRgb(ToRgba(ours.Image(), true), src).maxDiff, 0);

  WriteFileBytes(dir.File("lossy.jp2"), lossy);
  WriteFileBytes(dir.File("lossless.j2k"), lossless);  // a JP2 file whatever the name
  if (HaveCommand("/usr/bin/python3")) {
    auto pil = DecodeWithPillow(dir.File("lossless.j2k"));
    ASSERT_TRUE(pil);
    EXPECT_EQ(CompareRgb(*pil, src).Max(true), 0);
    auto pilLossy = DecodeWithPillow(dir.File("lossy.jp2"));
    ASSERT_TRUE(pilLossy);
    EXPECT_LE(CompareRgb(*pilLossy, src).meanDiff, 2.0);
  }
  if (HaveOpenJpegTools()) {
    ASSERT_EQ(testing::Run("opj_decompress -i " + ShellQuote(dir.File("lossy.jp2")) + " -o " +
                           ShellQuote(dir.File("lossy.ppm")) + " 2>&1"),
              0);
    auto ref = DecodeWithImageMagick(dir.File("lossy.ppm"), true);
    ASSERT_TRUE(ref);
    ours.LoadFromMemory(lossy);
    EXPECT_EQ(CompareRgb(ToRgba(ours.Image(), true), *ref).maxDiff, 0);  // same codec, same samples
  }
}

TEST(Jpeg2000Write, AlphaSmallPicturesAndOtherFormats) {
  TempDir dir;
  // Real alpha is kept as a fourth component.
  RgbaImage src = PhotoLike(33, 17, 4);
  for (size_t i = 3; i < src.rgba.size(); i += 4) src.rgba[i] = uint8_t(i * 13);
  TJpeg2000Bitmap ours;
  ours.LoadFromMemory(EncodeJpeg2000(FromRgba(src, true), 97, true));
  EXPECT_EQ(ours.Image().Format(), PixelFormat::pf32bit);
  EXPECT_EQ(CompareRgb(ToRgba(ours.Image(), true), src).Max(true), 0);

  // A fourth byte that is 0 everywhere is no alpha: other readers must see an opaque picture.
  RgbaImage clear = src;
  for (size_t i = 3; i < clear.rgba.size(); i += 4) clear.rgba[i] = 0;
  const auto bytes = EncodeJpeg2000(FromRgba(clear, true), 97, true);
  ours.LoadFromMemory(bytes);
  EXPECT_EQ(ours.Image().Format(), PixelFormat::pf24bit);
  if (HaveCommand("/usr/bin/python3")) {
    WriteFileBytes(dir.File("clear.jp2"), bytes);
    auto pil = DecodeWithPillow(dir.File("clear.jp2"));
    ASSERT_TRUE(pil);
    EXPECT_EQ(pil->At(5, 5)[3], 255);
  }

  // Pictures smaller than the resolution levels need, and palette pictures, still save.
  Bitmap tiny(5, 3, PixelFormat::pf8bit);
  tiny.Row(1)[2] = 200;
  ours.LoadFromMemory(EncodeJpeg2000(tiny, 97, true));
  EXPECT_EQ(ours.Image().Format(), PixelFormat::pf24bit);
  EXPECT_EQ(ours.Image().PixelColor(2, 1), (RGBQuad{200, 200, 200, 0}));
  ours.LoadFromMemory(EncodeJpeg2000(Bitmap(1, 1, PixelFormat::pf24bit), 50, false));
  EXPECT_EQ(ours.Image().Width(), 1);

  EXPECT_THROW(EncodeJpeg2000(Bitmap(), 97, false), EJpeg2000Error);
}

// Pictures beyond one tile go to the codec tile by tile: every sample lands in its place (lossless
// is exact here and in the reference decoder), and the rate rule still holds for the whole file.
TEST(Jpeg2000Write, TiledPicturesKeepEverySampleAndTheRate) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "OpenJPEG tools missing";
  TempDir dir;
  const int w = 1100, h = 1030;  // two by two tiles of 550 x 515
  const RgbaImage src = PhotoLike(w, h, 5);
  const Bitmap bmp = FromRgba(src, false);
  const auto lossless = EncodeJpeg2000(bmp, 97, true);
  const auto lossy = EncodeJpeg2000(bmp, 97, false);
  // The codestream's SIZ marker: the tile size after the picture's size and origin.
  const auto at = std::search(lossless.begin(), lossless.end(), kSizMarker, kSizMarker + 2);
  ASSERT_NE(at, lossless.end());
  const uint8_t* siz = &*at + 4 + 2;
  auto be32 = [](const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; };
  EXPECT_EQ(be32(siz + 16), 550u);
  EXPECT_EQ(be32(siz + 20), 515u);

  TJpeg2000Bitmap ours;
  ours.LoadFromMemory(lossless);
  EXPECT_EQ(CompareRgb(ToRgba(ours.Image(), true), src).maxDiff, 0);
  WriteFileBytes(dir.File("lossless.jp2"), lossless);
  ASSERT_EQ(testing::Run("opj_decompress -i " + ShellQuote(dir.File("lossless.jp2")) + " -o " +
                         ShellQuote(dir.File("lossless.ppm")) + " 2>&1"),
            0);
  auto ref = DecodeWithImageMagick(dir.File("lossless.ppm"), true);
  ASSERT_TRUE(ref);
  EXPECT_EQ(CompareRgb(*ref, src).maxDiff, 0);

  // The same rule in one untiled piece, by the reference encoder: the sizes agree within 2 %.
  WriteFileBytes(dir.File("src.bmp"), EncodeBmp(bmp));
  const float ratio = Jpeg2000Ratio(int64_t(w) * h * 3, 3, 97);
  ASSERT_EQ(testing::Run("opj_compress -i " + ShellQuote(dir.File("src.bmp")) + " -o " +
                         ShellQuote(dir.File("ref.jp2")) + " -n 6 -r " + std::to_string(ratio) +
                         " >/dev/null 2>&1"),
            0);
  const double refSize = double(std::filesystem::file_size(dir.File("ref.jp2")));
  EXPECT_NEAR(double(lossy.size()) / refSize, 1.0, 0.02);
  ours.LoadFromMemory(lossy);
  EXPECT_LE(CompareRgb(ToRgba(ours.Image(), true), src).meanDiff, 2.0);
}

}  // namespace
}  // namespace quendra
