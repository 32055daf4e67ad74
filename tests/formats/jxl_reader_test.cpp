// The JPEG XL reader against files written by cjxl and decoded by djxl.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/errors.h"
#include "formats/format_table.h"
#include "formats/jxl_graphic.h"
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
  return RefusalOf<TJxlGraphic>(bytes);
}

class JxlRead : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveCommand("cjxl") || !HaveCommand("djxl") || !HavePillow())
      GTEST_SKIP() << "needs cjxl, djxl and Pillow";
  }
  std::string Encode(const std::string& src, const std::string& name, const std::string& opts) {
    const std::string out = dir.File(name);
    EXPECT_EQ(quendra::testing::Run("cjxl " + ShellQuote(src) + " " + ShellQuote(out) + " " + opts),
              0);
    return out;
  }
  RgbaImage Reference(const std::string& jxl) {
    const std::string png = jxl + ".png";
    EXPECT_EQ(quendra::testing::Run("djxl " + ShellQuote(jxl) + " " + ShellQuote(png)), 0);
    std::optional<RgbaImage> img = DecodeWithPillow(png);
    EXPECT_TRUE(img.has_value());
    return img ? *img : RgbaImage{};
  }
  // A Pillow PNG (no gAMA chunk, so sRGB) of an odd-sized photo-like picture, alpha a ramp
  // when asked; `python` may change `im` before it is saved.
  std::string Source(const std::string& name, bool alpha, const std::string& python = "") {
    RgbaImage img = PhotoLike(97, 61, 4);
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        img.rgba[(size_t(y) * img.width + x) * 4 + 3] = alpha ? uint8_t(x * 2 + y) : 255;
    const std::string pam = dir.File(name + ".rgba"), png = dir.File(name);
    WriteFileBytes(pam, {img.rgba.begin(), img.rgba.end()});
    EXPECT_EQ(RunPython("from PIL import Image; import sys\n"
                        "im = Image.frombytes('RGBA', (97, 61), open(sys.argv[1], 'rb').read())\n"
                        "im = im if im.getextrema()[3][0] < 255 else im.convert('RGB')\n"
                        "kw = {}\n" +
                            python + "\nim.save(sys.argv[2], **kw)",
                        {pam, png}),
              0);
    return png;
  }
  TempDir dir;
};

TEST_F(JxlRead, LosslessLossyAndAlphaMatchDjxl) {
  const std::string src = Source("s.png", false);
  const std::string withAlpha = Source("a.png", true);
  const std::string lossless = Encode(src, "lossless.jxl", "-d 0");
  const std::string lossy = Encode(src, "lossy.jxl", "-d 1.5");
  const std::string alpha = Encode(withAlpha, "alpha.jxl", "-d 0");
  const std::string lossyAlpha = Encode(withAlpha, "lossy-alpha.jxl", "-d 1");
  // Lossless files are their source, alpha included; lossy ones are djxl's pixels.
  EXPECT_EQ(CompareRgb(Load(lossless).rgba, *DecodeWithPillow(src)).Max(true), 0);
  EXPECT_EQ(
      CompareRgb(Load(alpha).rgba, quendra::testing::ShownOverWhite(*DecodeWithPillow(withAlpha)))
          .Max(true),
      0);
  for (const std::string& f : {lossy, lossyAlpha}) {
    const Loaded got = Load(f);
    const Difference d = CompareRgb(got.rgba, quendra::testing::ShownOverWhite(Reference(f)));
    EXPECT_LE(d.Max(true), 2) << f << " mean " << d.meanDiff;
    EXPECT_FALSE(got.look.colour.Known()) << f;  // asked for in sRGB
  }
  EXPECT_EQ(Load(lossy).rgba.At(3, 3)[3], 255);
  EXPECT_FALSE(Load(lossless).look.colour.Known());
}

TEST_F(JxlRead, ShowsTheFirstFrameUpright) {
  // EXIF orientation 6 in the PNG becomes the codestream's orientation: libjxl turns the
  // picture, as djxl does, and the loader has nothing left to turn.
  const std::string src =
      Source("turned.png", false, "e = Image.Exif(); e[274] = 6; kw['exif'] = e.tobytes()");
  for (const std::string opts : {"-d 0", "-d 1"}) {
    const std::string f = Encode(src, "turned" + opts.substr(3) + ".jxl", opts);
    const Loaded got = Load(f);
    EXPECT_EQ(got.rgba.width, 61) << opts;
    EXPECT_EQ(got.rgba.height, 97) << opts;
    EXPECT_LE(CompareRgb(got.rgba, Reference(f)).Max(), opts == "-d 0" ? 0 : 2) << opts;
    EXPECT_EQ(got.look.orientation, Orientation::Normal);
  }
  // An animation: its first frame, whatever follows.
  const std::string gif = dir.File("anim.gif");
  ASSERT_EQ(RunPython("from PIL import Image; import sys\n"
                      "f = [Image.new('RGB', (40, 30), c) for c in ('red', 'blue', 'lime')]\n"
                      "f[0].save(sys.argv[1], save_all=True, append_images=f[1:], duration=100)",
                      {gif}),
            0);
  const RgbaImage first = Load(Encode(gif, "anim.jxl", "")).rgba;
  ASSERT_EQ(first.width, 40);
  EXPECT_EQ(first.At(20, 15)[0], 255);
  EXPECT_EQ(first.At(20, 15)[2], 0);
}

TEST_F(JxlRead, NonSrgbLosslessPicturesHandTheirProfileOver) {
  const std::string icc = "/usr/share/color/icc/colord/AdobeRGB1998.icc";
  if (!std::filesystem::exists(icc)) GTEST_SKIP() << "needs colord-data's profiles";
  const std::string src =
      Source("adobe.png", false, "kw['icc_profile'] = open('" + icc + "', 'rb').read()");
  const ColourSpace lossless = Load(Encode(src, "adobe.jxl", "-d 0")).look.colour;
  ASSERT_FALSE(lossless.icc.empty());
  EXPECT_EQ(std::string(lossless.icc.begin() + 16, lossless.icc.begin() + 20), "RGB ");
  // Lossy, the same picture comes out converted to sRGB by libjxl.
  EXPECT_FALSE(Load(Encode(src, "adobe-lossy.jxl", "-d 1")).look.colour.Known());
}

TEST_F(JxlRead, DamagedFilesFailClearly) {
  const std::string src = Source("s.png", false);
  const std::vector<uint8_t> good = ReadFileBytes(Encode(src, "good.jxl", "-d 0"));
  for (size_t keep : {size_t(0), size_t(2), size_t(20), good.size() / 2, good.size() - 1}) {
    const std::string e = ErrorOf({good.begin(), good.begin() + std::ptrdiff_t(keep)});
    EXPECT_EQ(e.rfind("JPEG XL: ", 0), 0u) << keep << ": " << e;
  }
  EXPECT_EQ(ErrorOf(std::vector<uint8_t>(4096, 'x')), "JPEG XL: not a JPEG XL file");
  std::vector<uint8_t> damaged = good;
  for (size_t i = 40; i < damaged.size(); i += 5) damaged[i] ^= 0x5A;
  (void)ErrorOf(damaged);  // garbage pixels or a refusal, never a read out of bounds
  // Twelve bytes claiming 65535 x 65535: refused at the size header.
  EXPECT_NE(
      ErrorOf(ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/jxl/65535x65535-in-12-bytes.jxl"))
          .find("exceed"),
      std::string::npos);
  CancelToken token;
  token.Cancel();
  CancelScope scope(token);
  TJxlGraphic g;
  EXPECT_THROW(g.LoadFromMemory(good), ELoadCancelled);
}

}  // namespace
}  // namespace quendra
