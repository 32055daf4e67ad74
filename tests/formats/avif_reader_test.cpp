// The AVIF reader against files avifenc writes, checked with avifdec's own decode (read back by
// Pillow); the rotation and mirror boxes against Pillow's turns; colour boxes; hostile files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/errors.h"
#include "formats/avif_graphic.h"
#include "formats/tbitmap.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using namespace testing;

bool HaveAvifTools() {
  return HaveCommand("avifenc") && HaveCommand("avifdec") && HaveCommand("convert") && HavePillow();
}

// A photo-like PNG (made from a PAM by ImageMagick, which avifenc cannot read); with alpha, a
// ramp from fully transparent (left) to opaque (right).
std::string SourcePng(const TempDir& dir, const std::string& name, int w, int h, bool alpha) {
  RgbaImage img = PhotoLike(w, h, 11);
  if (alpha)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        img.rgba[(size_t(y) * w + x) * 4 + 3] = uint8_t(x * 255 / (w - 1));
  const std::string pam = dir.File(name + ".pam"), png = dir.File(name + ".png");
  WritePam(pam, img);
  EXPECT_EQ(testing::Run("convert " + ShellQuote(pam) + (alpha ? "" : " -alpha off") + " " +
                         ShellQuote(png)),
            0);
  return png;
}

std::string Encode(const std::string& png, const std::string& options) {
  const std::string out = png + ".avif";
  EXPECT_EQ(testing::Run("avifenc -s 9 " + options + " " + ShellQuote(png) + " " + ShellQuote(out)),
            0)
      << options;
  return out;
}

TAvifGraphic Load(const std::string& path) {
  TAvifGraphic g;
  g.LoadFromFile(path);
  return g;
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  return RefusalOf<TAvifGraphic>(bytes);
}

TEST(AvifRead, EightTenBitLosslessAndAlphaMatchAvifdec) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc, avifdec, convert or Pillow missing";
  TempDir dir;
  struct Case {
    const char* name;
    bool alpha;
    const char* options;
    int tolerance;
  } cases[] = {{"8bit", false, "--min 10 --max 30 -y 420", 1},
               // Ten bits to eight: libyuv's path (ours, to four bytes a pixel) rounds apart
               // from libavif's own (avifdec's, to PNG) by up to 2.
               {"10bit", false, "--min 10 --max 30 -d 10 -y 422", 2},
               {"lossless", false, "--lossless", 0},
               {"alpha", true, "--min 10 --max 30 --minalpha 0 --maxalpha 10", 1}};
  for (const Case& c : cases) {
    const std::string png = SourcePng(dir, c.name, 93, 57, c.alpha);
    const std::string avif = Encode(png, c.options);
    TAvifGraphic g = Load(avif);
    Bitmap b;
    g.AssignTo(b);
    ASSERT_EQ(b.Format(), PixelFormat::pf32bit) << c.name;
    const std::string ref = dir.File(std::string(c.name) + "-avifdec.png");
    ASSERT_EQ(testing::Run("avifdec -d 8 " + ShellQuote(avif) + " " + ShellQuote(ref)), 0);
    auto want = DecodeWithPillow(ref);
    ASSERT_TRUE(want.has_value());
    // Shown over white, as PNG's alpha is, with the alpha itself kept in the fourth byte.
    RgbaImage blended = *want;
    BlendOverWhite(blended);
    for (size_t i = 3; i < blended.rgba.size(); i += 4) blended.rgba[i] = want->rgba[i];
    RgbaImage got = ToRgba(b, true);
    if (!c.alpha) {  // the fourth byte of opaque pictures is 0, as everywhere in the program
      for (size_t i = 3; i < got.rgba.size(); i += 4) EXPECT_EQ(std::exchange(got.rgba[i], 255), 0);
    }
    const Difference d = CompareRgb(got, blended);
    EXPECT_EQ(d.compared, size_t(93 * 57)) << c.name;
    EXPECT_LE(d.Max(true), c.tolerance) << c.name;
    if (c.tolerance == 0) {
      EXPECT_EQ(CompareRgb(got, *DecodeWithPillow(png)).Max(), 0) << c.name;
    }
  }
}

// A fitted load reduces the 8-bit planes before converting them: the result must be the full
// decode's block means, for each chroma layout, range, matrix and alpha, odd sizes included.
TEST(AvifRead, ReducedScalesAreTheBlockMeansOfTheFullPicture) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc, avifdec, convert or Pillow missing";
  TempDir dir;
  const struct {
    const char* name;
    bool alpha;
    const char* options;
    int tolerance;
  } cases[] = {{"420", false, "--min 10 --max 30 -y 420", 3},
               {"601-limited", false, "--min 10 --max 30 -y 420 -r limited", 3},
               // libyuv's fixed-point constants for BT.709 studio range, which libavif's own
               // conversion uses, round further apart.
               {"709-limited", false, "--min 10 --max 30 -y 420 --cicp 1/13/1 -r limited", 10},
               {"422", false, "--min 10 --max 30 -y 422", 3},
               {"444-2020", false, "--min 10 --max 30 -y 444 --cicp 9/13/9", 3},
               {"grey", false, "--min 10 --max 30 -y 400", 3},
               {"alpha", true, "--min 10 --max 30 -y 420 --minalpha 0 --maxalpha 10", 3}};
  for (const auto& c : cases) {
    const std::string avif = Encode(SourcePng(dir, c.name, 93, 141, c.alpha), c.options);
    TAvifGraphic g = Load(avif);
    Bitmap full;
    g.AssignTo(full);
    for (JpegScale s : {JpegScale::jsHalf, JpegScale::jsEighth}) {
      g.SetScale(s);
      const int denom = 1 << int(s);
      Bitmap reduced;
      g.AssignTo(reduced);
      ASSERT_EQ(reduced.Width(), g.Width()) << c.name;
      EXPECT_EQ(reduced.Width(), (93 + denom - 1) / denom) << c.name;
      EXPECT_EQ(reduced.Height(), (141 + denom - 1) / denom) << c.name;
      const Difference d =
          CompareRgb(ToRgba(reduced, c.alpha), BlockMeans(ToRgba(full, c.alpha), denom));
      EXPECT_LE(d.Max(c.alpha), c.tolerance) << c.name << " at 1/" << denom;
      EXPECT_LE(d.meanDiff, 1.5) << c.name << " at 1/" << denom;
    }
  }
}

TEST(AvifRead, ASequenceShowsItsFirstFrame) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc, avifdec, convert or Pillow missing";
  TempDir dir;
  const std::string first = SourcePng(dir, "first", 40, 30, false), second = dir.File("second.png");
  ASSERT_EQ(testing::Run("convert " + ShellQuote(first) + " -flip " + ShellQuote(second)), 0);
  const std::string avif = dir.File("sequence.avif");
  ASSERT_EQ(testing::Run("avifenc -s 9 --lossless " + ShellQuote(first) + " " + ShellQuote(second) +
                         " " + ShellQuote(avif)),
            0);
  Bitmap b;
  Load(avif).AssignTo(b);
  EXPECT_EQ(CompareRgb(ToRgba(b), *DecodeWithPillow(first)).Max(), 0);
}

TEST(AvifRead, RotationAndMirrorBoxesShowUpright) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc, avifdec, convert or Pillow missing";
  TempDir dir;
  // Pillow turns the stored picture counter-clockwise by the quarter turns, then mirrors it
  // (mode 0: top and bottom exchanged, 1: left and right), the order the boxes apply in.
  ASSERT_EQ(RunPillow(R"(
import os
src = card(24, 16)
src.save(os.path.join(out, 'src.png'))
for angle in range(4):
    for mode in ('none', '0', '1'):
        im = src.rotate(90 * angle, expand=True)
        if mode == '0': im = im.transpose(Image.FLIP_TOP_BOTTOM)
        if mode == '1': im = im.transpose(Image.FLIP_LEFT_RIGHT)
        im.save(os.path.join(out, 'want-%d-%s.png' % (angle, mode)))
)",
                      dir.Path()),
            0);
  std::vector<std::string> wanted, shown;
  for (int angle = 0; angle < 4; ++angle)
    for (const std::string mode : {"none", "0", "1"}) {
      const std::string name = std::to_string(angle) + "-" + mode;
      const std::string avif = dir.File(name + ".avif");
      ASSERT_EQ(testing::Run("avifenc -s 9 --lossless --irot " + std::to_string(angle) +
                             (mode == "none" ? "" : " --imir " + mode) + " " +
                             ShellQuote(dir.File("src.png")) + " " + ShellQuote(avif)),
                0);
      // The viewer's load (quendra-convert) turns the picture upright.
      shown.push_back(dir.File(name + "-shown.png"));
      ASSERT_EQ(testing::Run(std::string(QUENDRA_CONVERT) + " " + ShellQuote(avif) + " " +
                             ShellQuote(shown.back())),
                0);
      wanted.push_back(dir.File("want-" + name + ".png"));
    }
  std::vector<std::string> all = wanted;
  all.insert(all.end(), shown.begin(), shown.end());
  const auto images = DecodeAllWithPillow(all);
  for (size_t i = 0; i < wanted.size(); ++i) {
    ASSERT_TRUE(images[i] && images[i + wanted.size()]) << shown[i];
    EXPECT_EQ(CompareRgb(*images[i + wanted.size()], *images[i]).Max(), 0) << shown[i];
  }

  // An EXIF orientation inside the file does not count: the boxes say as stored.
  const std::string exif = dir.File("exif6");
  WriteFileBytes(
      exif, {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0});
  const std::string tagged = dir.File("tagged.avif");
  ASSERT_EQ(testing::Run("avifenc -s 9 --exif " + ShellQuote(exif) + " --irot 0 " +
                         ShellQuote(dir.File("src.png")) + " " + ShellQuote(tagged)),
            0);
  EXPECT_EQ(Load(tagged).Metadata().orientation, Orientation::Normal);
}

TEST(AvifRead, ColourBoxesAndProfilesNameTheColourSpace) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc, avifdec, convert or Pillow missing";
  TempDir dir;
  const std::string png = SourcePng(dir, "c", 16, 16, false);
  auto load = [&](const std::string& options) {
    return Load(Encode(png, options + " --min 20 --max 30")).Metadata().colour;
  };
  EXPECT_FALSE(load("--cicp 1/13/6").Known());  // sRGB
  EXPECT_FALSE(load("--cicp 2/2/6").Known());   // unspecified: sRGB
  EXPECT_FALSE(load("--cicp 9/16/9").Known());  // PQ: no tone mapping, shown as sRGB
  EXPECT_FALSE(load("--cicp 9/18/9").Known());  // HLG
  const ColourSpace p3 = load("--cicp 12/13/6");
  ASSERT_TRUE(p3.calibrated.has_value());
  EXPECT_EQ(p3.calibrated->curve, CalibratedRgb::Curve::Srgb);
  EXPECT_NEAR(p3.calibrated->red[0], 0.680, 1e-3);
  EXPECT_NEAR(p3.calibrated->green[1], 0.690, 1e-3);
  EXPECT_NEAR(p3.calibrated->white[0], 0.3127, 1e-3);
  const ColourSpace linear = load("--cicp 9/8/9");
  ASSERT_TRUE(linear.calibrated.has_value());
  EXPECT_EQ(linear.calibrated->curve, CalibratedRgb::Curve::Linear);
  EXPECT_NEAR(linear.calibrated->red[0], 0.708, 1e-3);
  const ColourSpace gamma = load("--cicp 1/5/6");
  ASSERT_TRUE(gamma.calibrated.has_value());
  EXPECT_EQ(gamma.calibrated->curve, CalibratedRgb::Curve::Gamma);
  EXPECT_DOUBLE_EQ(gamma.calibrated->gamma, 2.8);
  EXPECT_NEAR(gamma.calibrated->blue[1], 0.06, 1e-3);
  // A profile wins over the boxes.
  const std::vector<uint8_t> icc = {0, 0, 0, 12, 'n', 'o', 't', ' ', 'r', 'e', 'a', 'l'};
  WriteFileBytes(dir.File("icc"), icc);
  const ColourSpace profiled = load("--cicp 12/13/6 --icc " + ShellQuote(dir.File("icc")));
  EXPECT_EQ(profiled.icc, icc);
  EXPECT_FALSE(profiled.calibrated.has_value());
}

TEST(AvifRead, HostileFilesAreRefusedWithAClearMessage) {
  std::vector<uint8_t> garbage(3000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 7919 >> 3);
  EXPECT_EQ(ErrorOf(garbage).rfind("AVIF: not an AVIF file", 0), 0u) << ErrorOf(garbage);
  EXPECT_EQ(ErrorOf({}).rfind("AVIF: ", 0), 0u);

  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc, avifdec, convert or Pillow missing";
  TempDir dir;
  const std::vector<uint8_t> whole =
      ReadFileBytes(Encode(SourcePng(dir, "h", 64, 48, true), "--min 20 --max 30"));
  for (size_t keep : {size_t(12), size_t(100), whole.size() / 2, whole.size() - 1}) {
    const std::string e = ErrorOf({whole.begin(), whole.begin() + long(keep)});
    EXPECT_EQ(e.rfind("AVIF: ", 0), 0u) << keep << ": " << e;
  }
  // The header claims 16383 x 16383 (within the pixel limit) for a 64 x 48 picture of a few
  // hundred bytes: refused before libavif would scale it up to that.
  std::vector<uint8_t> lying = whole;
  const uint8_t ispe[] = {'i', 's', 'p', 'e'};
  int patched = 0;
  for (auto at = lying.begin();
       (at = std::search(at, lying.end(), std::begin(ispe), std::end(ispe))) != lying.end();
       ++at, ++patched)
    for (size_t i = 0; i < 2; ++i) {
      uint8_t* side = &*at + 8 + 4 * i;  // after the type, the version and the flags
      side[0] = 0, side[1] = 0, side[2] = 0x3F, side[3] = 0xFF;
    }
  ASSERT_GE(patched, 1);  // one box, which the alpha picture may share
  EXPECT_EQ(ErrorOf(lying), "AVIF: the header claims a larger picture than the file codes");
}

}  // namespace
}  // namespace quendra
