// The HEIF reader against files written by heif-enc and decoded by heif-convert.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "base/errors.h"
#include "formats/format_table.h"
#include "formats/heif_graphic.h"
#include "formats/load_cancel.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using namespace testing;

using Loaded = LoadedRgba;
// Read as the viewer reads a file of that name, alpha from the fourth byte.
Loaded Load(const std::string& path) {
  return LoadRgbaThroughFormats(path);
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  return RefusalOf<THeifGraphic>(bytes);
}

class HeifRead : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveCommand("heif-enc") || !HaveCommand("heif-convert") || !HavePillow())
      GTEST_SKIP() << "needs heif-enc, heif-convert and Pillow";
  }
  // heif-enc's file of `png` with the options, and heif-convert's decoding of it.
  std::string Encode(const std::string& png, const std::string& name, const std::string& opts) {
    const std::string out = dir.File(name);
    EXPECT_EQ(quendra::testing::Run("heif-enc " + opts + " -o " + ShellQuote(out) + " " +
                                    ShellQuote(png)),
              0);
    return out;
  }
  RgbaImage Reference(const std::string& heic) {
    const std::string png = heic + ".png";
    EXPECT_EQ(quendra::testing::Run("heif-convert " + ShellQuote(heic) + " " + ShellQuote(png)), 0);
    std::optional<RgbaImage> img = DecodeWithPillow(png);
    EXPECT_TRUE(img.has_value());
    return img ? *img : RgbaImage{};
  }
  // An odd-sized photo-like picture; with alpha, a ramp over its columns and rows.
  std::string Source(bool alpha) {
    RgbaImage img = PhotoLike(97, 61, 3);
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        img.rgba[(size_t(y) * img.width + x) * 4 + 3] = alpha ? uint8_t(x * 2 + y) : 255;
    const std::string pam = dir.File(alpha ? "a.rgba" : "s.rgba"), png = pam + ".png";
    WriteFileBytes(pam, {img.rgba.begin(), img.rgba.end()});
    EXPECT_EQ(RunPython("from PIL import Image; import sys\n"
                        "im = Image.frombytes('RGBA', (97, 61), open(sys.argv[1], 'rb').read())\n"
                        "(im if im.getextrema()[3][0] < 255 else im.convert('RGB'))"
                        ".save(sys.argv[2])",
                        {pam, png}),
              0);
    return png;
  }
  TempDir dir;
};

TEST_F(HeifRead, LossyLosslessAndAlphaMatchHeifConvert) {
  const std::string src = Source(false), withAlpha = Source(true);
  // A 16-bit PNG (netpbm's) for a 10-bit file, which the reader takes as 8 bits.
  const RgbaImage photo = PhotoLike(97, 61, 3);
  std::string ppm = "P6\n97 61\n65535\n";
  for (size_t i = 0; i < photo.rgba.size(); ++i)
    if (i % 4 != 3) ppm += {char(photo.rgba[i]), char(i * 37)};
  const std::string deep = dir.File("deep.png");
  ASSERT_EQ(quendra::testing::Run("pnmtopng > " + ShellQuote(deep) + " < " +
                                  ShellQuote(dir.Write("deep.ppm", ppm))),
            0);
  const struct {
    std::string file;
    int tolerance;
  } cases[] = {
      {Encode(src, "lossy.heic", "-q 60"), 0},
      {Encode(src, "lossless.heic", "-L -p chroma=444 --matrix_coefficients=0"), 0},
      {Encode(withAlpha, "alpha.heic", "-q 80"), 0},
      {Encode(deep, "deep.heic", "-b 10 -q 80"), 1},
  };
  for (const auto& c : cases) {
    const Loaded got = Load(c.file);
    const Difference d = CompareRgb(got.rgba, quendra::testing::ShownOverWhite(Reference(c.file)));
    EXPECT_LE(d.Max(true), c.tolerance) << c.file << " mean " << d.meanDiff;
    EXPECT_EQ(got.rgba.width, 97) << c.file;
  }
  // The lossless file is the source within libheif's own rounding of a step; the alpha file
  // keeps its ramp (alpha is coded apart, lossy too).
  EXPECT_LE(CompareRgb(Load(cases[1].file).rgba, *DecodeWithPillow(src)).Max(true), 1);
  const RgbaImage alpha = Load(cases[2].file).rgba;
  EXPECT_NEAR(alpha.At(0, 0)[3], 0, 4);
  EXPECT_NEAR(alpha.At(90, 50)[3], (90 * 2 + 50) & 255, 8);
  EXPECT_EQ(Load(cases[0].file).rgba.At(5, 5)[3], 255);
}

// A fitted load reduces the decoder's 4:2:0 planes before converting them: the result must be
// the full decode's block means, for both ranges, two matrices and alpha, odd sizes included.
TEST_F(HeifRead, ReducedScalesAreTheBlockMeansOfTheFullPicture) {
  const std::string src = Source(false), withAlpha = Source(true);
  const std::string files[] = {
      Encode(src, "default.heic", "-q 70"),
      Encode(src, "709-limited.heic", "-q 70 --matrix_coefficients=1 --full_range_flag=0"),
      Encode(src, "444.heic", "-q 70 -p chroma=444"), Encode(withAlpha, "alpha.heic", "-q 70")};
  for (const std::string& file : files) {
    THeifGraphic g;
    g.LoadFromFile(file);
    Bitmap full;
    g.AssignTo(full);
    for (JpegScale s : {JpegScale::jsHalf, JpegScale::jsQuarter}) {
      g.SetScale(s);
      const int denom = 1 << int(s);
      Bitmap reduced;
      g.AssignTo(reduced);
      EXPECT_EQ(reduced.Width(), (97 + denom - 1) / denom) << file;
      EXPECT_EQ(reduced.Height(), (61 + denom - 1) / denom) << file;
      const Difference d = CompareRgb(ToRgba(reduced, true), BlockMeans(ToRgba(full, true), denom));
      EXPECT_LE(d.Max(true), 3) << file << " at 1/" << denom << ", mean " << d.meanDiff;
    }
  }
}

TEST_F(HeifRead, TurnsByTheFileItselfAndIgnoresExifOrientation) {
  const std::string src = Source(false);
  // A rotation property (irot, a quarter turn counter-clockwise) in place of the 16-byte
  // pixi property heif-enc writes, padded to the same size: libheif turns the picture.
  std::vector<uint8_t> bytes = ReadFileBytes(Encode(src, "plain.heic", "-q 60"));
  const uint8_t pixi[] = {0, 0, 0, 16, 'p', 'i', 'x', 'i'};
  auto at = std::search(bytes.begin(), bytes.end(), std::begin(pixi), std::end(pixi));
  ASSERT_NE(at, bytes.end()) << "heif-enc wrote no 16-byte pixi box";
  const uint8_t irot[16] = {0, 0, 0, 16, 'i', 'r', 'o', 't', 1};
  std::copy(std::begin(irot), std::end(irot), at);
  WriteFileBytes(dir.File("turned.heic"), bytes);
  const Loaded turned = Load(dir.File("turned.heic"));
  EXPECT_EQ(turned.rgba.width, 61);
  EXPECT_EQ(turned.rgba.height, 97);
  EXPECT_EQ(CompareRgb(turned.rgba, Reference(dir.File("turned.heic"))).Max(), 0);
  EXPECT_EQ(turned.look.orientation, Orientation::Normal);  // nothing for the loader to turn

  // heif-enc carries a JPEG's EXIF (orientation 6) into the file; libheif does not apply it
  // and neither does the reader.
  const std::string jpg = dir.File("exif.jpg");
  ASSERT_EQ(RunPython("from PIL import Image; import sys\n"
                      "e = Image.Exif(); e[274] = 6\n"
                      "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2], quality=95,"
                      " exif=e.tobytes())",
                      {src, jpg}),
            0);
  const std::string exif = Encode(jpg, "exif.heic", "-q 60");
  ASSERT_EQ(quendra::testing::Run("grep -q Exif " + ShellQuote(exif)), 0)
      << "heif-enc dropped the EXIF";
  const Loaded got = Load(exif);
  EXPECT_EQ(got.look.orientation, Orientation::Normal);
  EXPECT_EQ(got.rgba.width, 97);
  EXPECT_EQ(CompareRgb(got.rgba, Reference(exif)).Max(), 0);
}

TEST_F(HeifRead, ColourSpaceFromProfileOrWideGamutNclx) {
  const std::string src = Source(false);
  const std::string plain = Encode(src, "plain.heic", "-q 50");
  // heif-enc writes no nclx box (libheif leaves it out for macOS's sake): one is added.
  auto colourOf = [&](int primaries, int transfer) {
    const std::string f = dir.File(std::to_string(primaries) + "-" + std::to_string(transfer));
    EXPECT_EQ(quendra::testing::Run("/usr/bin/python3 " QUENDRA_SOURCE_DIR
                                    "/tests/formats/heif_add_nclx.py " +
                                    ShellQuote(plain) + " " + ShellQuote(f) + ".heic " +
                                    std::to_string(primaries) + " " + std::to_string(transfer)),
              0);
    return Load(f + ".heic").look.colour;
  };
  // Display P3 (12) with the sRGB curve: its primaries, for the loader to convert from.
  const ColourSpace p3 = colourOf(12, 13);
  ASSERT_TRUE(p3.calibrated.has_value());
  EXPECT_NEAR(p3.calibrated->red[0], 0.680, 1e-3);
  EXPECT_NEAR(p3.calibrated->green[1], 0.690, 1e-3);
  EXPECT_NEAR(p3.calibrated->white[0], 0.3127, 1e-3);
  EXPECT_EQ(p3.calibrated->curve, CalibratedRgb::Curve::Srgb);
  // BT.2020 (9) with a linear curve.
  const ColourSpace lin = colourOf(9, 8);
  ASSERT_TRUE(lin.calibrated.has_value());
  EXPECT_NEAR(lin.calibrated->red[0], 0.708, 1e-3);
  EXPECT_EQ(lin.calibrated->curve, CalibratedRgb::Curve::Linear);
  // sRGB's primaries under a plain gamma of 2.2 (4).
  const ColourSpace gamma = colourOf(1, 4);
  ASSERT_TRUE(gamma.calibrated.has_value());
  EXPECT_NEAR(gamma.calibrated->red[0], 0.64, 1e-3);
  EXPECT_EQ(gamma.calibrated->curve, CalibratedRgb::Curve::Gamma);
  EXPECT_NEAR(gamma.calibrated->gamma, 2.2, 1e-9);
  // sRGB's own primaries and curve, and PQ (shown as decoded): nothing to convert.
  EXPECT_FALSE(colourOf(1, 13).Known());
  EXPECT_FALSE(colourOf(9, 16).Known());

  // An ICC profile in the PNG travels into the file and out of the reader byte for byte.
  const std::string icc = "/usr/share/color/icc/colord/AdobeRGB1998.icc";
  if (!std::filesystem::exists(icc)) GTEST_SKIP() << "needs colord-data's profiles";
  const std::string tagged = dir.File("tagged.png");
  ASSERT_EQ(RunPython("from PIL import Image; import sys\n"
                      "Image.open(sys.argv[1]).save(sys.argv[2], icc_profile="
                      "open(sys.argv[3], 'rb').read())",
                      {src, tagged, icc}),
            0);
  EXPECT_EQ(Load(Encode(tagged, "icc.heic", "-q 50")).look.colour.icc, ReadFileBytes(icc));
}

TEST_F(HeifRead, DamagedFilesFailClearly) {
  const std::vector<uint8_t> good = ReadFileBytes(Encode(Source(false), "good.heic", "-q 60"));
  for (size_t keep : {size_t(0), size_t(12), size_t(200), good.size() / 2, good.size() - 40}) {
    const std::string e = ErrorOf({good.begin(), good.begin() + std::ptrdiff_t(keep)});
    EXPECT_EQ(e.rfind("HEIF: ", 0), 0u) << keep << ": " << e;
  }
  EXPECT_EQ(ErrorOf(std::vector<uint8_t>(4096, 'x')).rfind("HEIF: ", 0), 0u);
  // Damaged picture data: libde265 may conceal it, but nothing is read out of bounds.
  std::vector<uint8_t> damaged = good;
  for (size_t i = 500; i < damaged.size(); i += 7) damaged[i] ^= 0x5A;
  (void)ErrorOf(damaged);
  // An ispe within libheif's own bounds but over the pixel limit: refused before decoding.
  EXPECT_NE(ErrorOf(ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/heif/"
                                                     "ispe-20000x20000.heic"))
                .find("exceed"),
            std::string::npos);
  // A 2.5 KB file whose alpha image is a grid of a canvas far beyond its 48 x 36 primary:
  // libheif would allocate 2.1 GB for it.
  EXPECT_EQ(
      ErrorOf(ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/heif/"
                                               "second-grid-canvas-larger-than-primary.heic")),
      "HEIF: the file holds a canvas larger than its primary image");
  EXPECT_EQ(ErrorOf(ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/heif/"
                                                     "ispe-65535x65535.heic"))
                .rfind("HEIF: ", 0),
            0u);
  // A parameter set that codes 96 x 64 luma samples under an ispe that claims 16 x 16 (an
  // even size, so heif-enc writes one plain image and no grid): refused before libde265
  // allocates the coded picture.
  const std::string even = dir.File("even.png");
  ASSERT_EQ(quendra::testing::Run("convert -size 96x64 gradient:red-blue " + ShellQuote(even)), 0);
  std::vector<uint8_t> shrunk = ReadFileBytes(Encode(even, "even.heic", "-q 60"));
  ASSERT_EQ(ErrorOf(shrunk), "");
  const auto ispe = std::search(shrunk.begin(), shrunk.end(), "ispe", "ispe" + 4);
  ASSERT_NE(ispe, shrunk.end());
  for (int i = 4; i < 12; ++i) ispe[i + 4] = i == 7 || i == 11 ? 16 : 0;  // width, height
  EXPECT_EQ(ErrorOf(shrunk), "HEIF: the file codes a picture larger than its primary image");
  // A load given up on stops as cancelled, before the file is parsed or before it is decoded.
  THeifGraphic held;
  held.LoadFromMemory(good);
  CancelToken token;
  token.Cancel();
  CancelScope scope(token);
  THeifGraphic g;
  EXPECT_THROW(g.LoadFromMemory(good), ELoadCancelled);
  Bitmap b;
  EXPECT_THROW(held.AssignTo(b), ELoadCancelled);
}

}  // namespace
}  // namespace quendra
