// Photos shown upright: every EXIF orientation in JPEG, PNG and TIFF files written by Pillow,
// against the upright pictures Pillow itself makes of them (ImageOps.exif_transpose).
#include <gtest/gtest.h>

#include <memory>

#include "app/loader.h"
#include "controls/zoomer.h"
#include "formats/exif_orientation.h"
#include "formats/format_table.h"
#include "formats/tbitmap.h"
#include "support/image_tools.h"
#include "support/test_host.h"

namespace quendra {
namespace {

using testing::CompareRgb;
using testing::DecodeWithPillow;
using testing::RgbaImage;
using testing::TempDir;
using testing::ToRgba;

class Orientations : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testing::HavePillow()) return;
    dir_ = new TempDir;
    // Each orientation tag on the same stored picture; the wanted picture is Pillow's upright
    // one. A saved copy is read back to see that it carries no tag.
    const int rc = testing::RunPillow(R"(
import sys
from PIL import ImageOps
out = sys.argv[1]
src = card(160, 96)
for o in range(1, 9):
    exif = Image.Exif()
    exif[274] = o
    src.save(f"{out}/o{o}.jpg", quality=95, exif=exif.tobytes())
    src.save(f"{out}/o{o}.png", exif=exif.tobytes())
    src.save(f"{out}/o{o}.tif", tiffinfo={274: o})
    for ext in ("jpg", "png"):
        ImageOps.exif_transpose(Image.open(f"{out}/o{o}.{ext}")).convert("RGB").save(
            f"{out}/o{o}.{ext}.want.png")
    # Pillow's TIFF reader turns the picture itself before exif_transpose turns it again; the
    # lossless PNG of the same picture and tag is the reference.
    ImageOps.exif_transpose(Image.open(f"{out}/o{o}.png")).save(f"{out}/o{o}.tif.want.png")
    # Big enough for the fitted load to turn its rows while it decodes.
    card(1200, 900).save(f"{out}/b{o}.jpg", quality=95, exif=exif.tobytes())
    ImageOps.exif_transpose(Image.open(f"{out}/b{o}.jpg")).convert("RGB").save(
        f"{out}/b{o}.jpg.want.png")
)",
                                      dir_->Path());
    if (rc != 0) {
      delete dir_;
      dir_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (dir_ == nullptr) GTEST_SKIP() << "needs Pillow (scripts/setup.sh installs it)";
    FileFormats();
  }
  static std::string File(int o, const char* ext) {
    return dir_->Path() + "/o" + std::to_string(o) + "." + ext;
  }
  // Loaded as the viewer loads it: at full size, or fitted into width x height.
  static Bitmap Load(const std::string& path, int width = 0, int height = 0) {
    TZoomer img;
    img.SetCenter(true);
    img.SetStretch(width > 0);
    img.SetProportional(width > 0);
    if (width > 0) img.SetClientSize(width, height);
    LoadIntoZoomer(img, path);
    return dynamic_cast<TBitmap&>(*img.Picture().Graphic()).Image();
  }
  static TempDir* dir_;
};
TempDir* Orientations::dir_ = nullptr;

// Fitted into a wide area, a turned portrait is fitted as a portrait: resampled as stored and
// turned after, it must match the upright picture fitted. The JPEG is decoded at 1/8 scale.
TEST_F(Orientations, EveryTagShowsUprightAtFullSizeAndFitted) {
  for (const char* ext : {"jpg", "png", "tif"}) {
    for (int o = 1; o <= 8; ++o) {
      SCOPED_TRACE(File(o, ext));
      const std::optional<RgbaImage> want = DecodeWithPillow(File(o, ext) + ".want.png");
      ASSERT_TRUE(want.has_value());
      const RgbaImage full = ToRgba(Load(File(o, ext)));
      EXPECT_EQ(CompareRgb(full, *want).maxDiff, 0);

      // The same as an upright file of the same picture, fitted.
      const Bitmap fitted = Load(File(o, ext), 40, 20);
      const Bitmap plain = Load(File(o, ext) + ".want.png", 40, 20);
      ASSERT_EQ(fitted.Width(), plain.Width());
      ASSERT_EQ(fitted.Height(), plain.Height());
      EXPECT_EQ(fitted.Width() < fitted.Height(), o >= 5);
      const testing::Difference d = CompareRgb(ToRgba(fitted), ToRgba(plain));
      // A JPEG fitted this small is decoded at 1/8 scale, from its blocks' averages.
      const bool jpeg = ext == std::string("jpg");
      EXPECT_LE(d.maxDiff, jpeg ? 64 : 24);
      EXPECT_LE(d.meanDiff, jpeg ? 6.0 : 4.0);
    }
  }
}

// A fitted load from a quarter megapixel up places its rows upright a band at a time on the
// resampler's thread.
TEST_F(Orientations, BigFittedJpegIsTurnedAsItDecodes) {
  for (int o = 1; o <= 8; ++o) {
    const std::string file = dir_->Path() + "/b" + std::to_string(o) + ".jpg";
    SCOPED_TRACE(file);
    const Bitmap fitted = Load(file, 600, 600);  // decoded at 1/2: 600 x 450
    const Bitmap plain = Load(file + ".want.png", 600, 600);
    ASSERT_EQ(fitted.Width(), plain.Width());
    ASSERT_EQ(fitted.Height(), plain.Height());
    const testing::Difference d = CompareRgb(ToRgba(fitted), ToRgba(plain));
    EXPECT_LE(d.maxDiff, 64);
    EXPECT_LE(d.meanDiff, 3.0);
  }
}

// The window shows the upright picture, a quarter turn turns that, and a save holds upright
// pixels with no tag left to turn them again.
TEST_F(Orientations, TurnsAndSavesStartFromTheUprightPicture) {
  testing::Viewer v;
  v.form.FormCreate({File(6, "png")}, "/x/quendra");
  auto shown = [&] { return dynamic_cast<TBitmap&>(*v.form.IMG.Picture().Graphic()).Image(); };
  const Bitmap upright = shown();
  ASSERT_LT(upright.Width(), upright.Height());
  v.form.KeyDown(VK_RIGHT, {});
  EXPECT_EQ(shown().Width(), upright.Height());
  EXPECT_EQ(shown().PixelColor(0, 0), upright.PixelColor(0, upright.Height() - 1));

  const std::string saved = dir_->Path() + "/saved.png";
  ASSERT_EQ(testing::Run(std::string(QUENDRA_CONVERT) + " " + File(8, "tif") + " " + saved), 0);
  EXPECT_EQ(testing::RunPython("import sys\nfrom PIL import Image\n"
                               "sys.exit(Image.open(sys.argv[1]).getexif().get(274, 1) != 1)",
                               {saved}),
            0);
  const std::optional<RgbaImage> back = DecodeWithPillow(saved);
  const std::optional<RgbaImage> want = DecodeWithPillow(File(8, "tif") + ".want.png");
  ASSERT_TRUE(back && want);
  EXPECT_EQ(CompareRgb(*back, *want).maxDiff, 0);
}

// The tag is found in either byte order and with or without JPEG's prefix; a block that lies
// about its sizes or offsets gives the stored orientation, without reading past its end.
TEST(ExifOrientation, ReadsTheTagAndNothingOutsideTheBlock) {
  const std::vector<uint8_t> little = {'I',  'I', 42, 0, 8, 0, 0, 0, 1, 0,  // one entry
                                       0x12, 1,   3,  0, 1, 0, 0, 0, 6, 0, 0, 0};
  const std::vector<uint8_t> big = {'M',  'M', 0, 42, 0, 0, 0, 8, 0, 1, 1,
                                    0x12, 0,   3, 0,  0, 0, 1, 0, 8, 0, 0};
  EXPECT_EQ(ExifOrientation(little), Orientation::TurnRight);
  EXPECT_EQ(ExifOrientation(big), Orientation::TurnLeft);
  std::vector<uint8_t> prefixed = {'E', 'x', 'i', 'f', 0, 0};
  prefixed.insert(prefixed.end(), little.begin(), little.end());
  EXPECT_EQ(ExifOrientation(prefixed), Orientation::TurnRight);

  std::vector<uint8_t> lying = little;
  lying[8] = 0xFF, lying[9] = 0xFF;                           // 65535 entries in 22 bytes
  EXPECT_EQ(ExifOrientation(lying), Orientation::TurnRight);  // the first one is still whole
  lying = little;
  lying[4] = 0xF0;  // the directory beyond the block
  EXPECT_EQ(ExifOrientation(lying), Orientation::Normal);
  lying = little;
  lying[18] = 9;  // no such orientation
  EXPECT_EQ(ExifOrientation(lying), Orientation::Normal);
  EXPECT_EQ(ExifOrientation(std::span(little).first(21)), Orientation::Normal);  // cut short
}

}  // namespace
}  // namespace quendra
