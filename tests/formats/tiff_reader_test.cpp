// TIFF reader: one picture in many layouts (strips, tiles, planar, compressions) made by tiffcp
// decodes to the same pixels as Pillow reads from the source; alpha is composed over white.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "formats/tiff_graphic.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::TempDir;

Bitmap Read(const std::string& path) {
  return testing::ReadWith<TTIFFGraphic>(path);
}

TEST(TiffReader, StripsTilesAndPlanarLayoutsAgree) {
  if (!testing::HavePillow() || !testing::HaveCommand("tiffcp"))
    GTEST_SKIP() << "needs Pillow and tiffcp";
  TempDir tmp;
  const std::string src = tmp.File("src.tif");
  ASSERT_EQ(testing::RunPillow("card(67, 45).save(out)", src), 0);
  auto ref = testing::DecodeWithPillow(src);
  ASSERT_TRUE(ref);
  const char* layouts[] = {"-s -r 7",
                           "-t -w 16 -l 16",
                           "-p separate -s -r 5",
                           "-p separate -t -w 32 -l 16",
                           "-c lzw:2 -s -r 3",
                           "-c zip -t -w 16 -l 32",
                           "-c packbits"};
  int n = 0;
  for (const char* layout : layouts) {
    const std::string out = tmp.File("l" + std::to_string(n++) + ".tif");
    ASSERT_EQ(testing::Run(std::string("tiffcp ") + layout + " " + src + " " + out), 0) << layout;
    Bitmap b = Read(out);
    EXPECT_EQ(b.Format(), PixelFormat::pf32bit);
    EXPECT_EQ(testing::CompareRgb(testing::ToRgba(b), *ref).maxDiff, 0) << layout;
  }
}

TEST(TiffReader, AlphaIsComposedOverWhite) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  const std::string tif = tmp.File("a.tif");
  ASSERT_EQ(testing::RunPillow("im = card(30, 20).convert('RGBA'); "
                               "im.putalpha(Image.linear_gradient('L').resize((30, 20))); "
                               "im.save(out)",
                               tif),
            0);
  auto ref = testing::DecodeWithPillow(tif);
  ASSERT_TRUE(ref);
  testing::BlendOverWhite(*ref);
  EXPECT_LE(testing::CompareRgb(testing::ToRgba(Read(tif)), *ref).maxDiff,
            2);  // libtiff premultiplies first
}

TEST(TiffReader, FirstPageOnlyAndCleanErrors) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  TempDir tmp;
  const std::string tif = tmp.File("m.tif");
  ASSERT_EQ(
      testing::RunPillow(
          "a = Image.new('RGB', (8, 6), (250, 0, 0)); b = Image.new('RGB', (20, 20), (0, 250, 0)); "
          "a.save(out, save_all=True, append_images=[b])",
          tif),
      0);
  Bitmap b = Read(tif);
  EXPECT_EQ(b.Width(), 8);
  EXPECT_EQ(b.PixelColor(3, 3), (RGBQuad{0, 0, 250, 0}));

  const auto good = testing::ReadFileBytes(tif);
  TTIFFGraphic t;
  EXPECT_THROW(t.LoadFromMemory(std::span(good.data(), 8)), EInvalidGraphic);
  EXPECT_THROW(t.LoadFromMemory(std::vector<uint8_t>(64, 'x')), EInvalidGraphic);
  try {
    t.LoadFromMemory(std::vector<uint8_t>{'I', 'I', 42, 0, 200, 0, 0, 0});  // IFD beyond the end
    ADD_FAILURE() << "accepted a TIFF without a directory";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("TIFF"), std::string::npos);  // libtiff's words, captured
  }
}

}  // namespace
}  // namespace quendra
