// A folder of the files phones, cameras and the web give today, made by their reference
// encoders, stepped through as a user does: each is listed, shown (not the fallback picture)
// and upright.
#include <gtest/gtest.h>

#include "formats/tbitmap.h"
#include "support/image_tools.h"
#include "support/test_host.h"

namespace quendra {
namespace {

using testing::HaveCommand;

using testing::ShellQuote;
using testing::TempDir;

int Sh(const std::string& command) {
  return testing::Run(command);
}

TEST(ModernFormats, AFolderOfThemIsListedAndSteppedThroughUpright) {
  if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
  for (const char* tool : {"cwebp", "avifenc", "heif-enc", "cjxl", "convert"})
    if (!HaveCommand(tool)) GTEST_SKIP() << tool << " missing (scripts/setup.sh installs it)";
  TempDir dir;
  // Landscape sources; the JPEG is stored landscape and tagged to be shown turned right.
  const std::string wide = ShellQuote(dir / "wide.png"), tall = ShellQuote(dir / "tall.png");
  ASSERT_EQ(Sh("convert -size 90x60 gradient:red-blue " + wide), 0);
  ASSERT_EQ(Sh("convert -size 60x90 gradient:green-yellow " + tall), 0);
  ASSERT_EQ(Sh("cwebp -quiet " + wide + " -o " + ShellQuote(dir / "a.webp")), 0);
  ASSERT_EQ(Sh("avifenc -s 10 " + tall + " " + ShellQuote(dir / "b.avif")), 0);
  ASSERT_EQ(Sh("heif-enc " + wide + " -o " + ShellQuote(dir / "c.HEIC")), 0);
  ASSERT_EQ(Sh("cjxl " + tall + " " + ShellQuote(dir / "d.jxl")), 0);
  ASSERT_EQ(
      testing::RunPython("import sys\nfrom PIL import Image\nexif = Image.Exif()\n"
                         "exif[274] = 6\nImage.open(sys.argv[1]).save(sys.argv[2], exif=exif)",
                         {dir / "wide.png", dir / "e.jpeg"}),
      0);
  ASSERT_EQ(Sh("convert " + tall + " " + ShellQuote(dir / "f.tiff")), 0);

  testing::Viewer v;
  v.form.FormCreate({dir.Path()}, "/x/quendra");
  const struct {
    const char* name;
    bool portrait;
  } want[] = {{"a.webp", false}, {"b.avif", true}, {"c.HEIC", false},
              {"d.jxl", true},   {"e.jpeg", true}, {"f.tiff", true}};
  ASSERT_EQ(v.form.FileList.Count(), 6 + 2);  // the two sources are listed too
  for (int i = 0; i < 6; ++i) {
    if (i > 0) v.form.KeyDown(VK_DOWN, {});
    v.form.SettleStep();
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(v.form.CurrentFile, dir / want[i].name);
    EXPECT_FALSE(v.form.ShowingFallback());
    const Bitmap& shown = dynamic_cast<TBitmap&>(*v.form.IMG.Picture().Graphic()).Image();
    EXPECT_EQ(shown.Width() < shown.Height(), want[i].portrait);
    EXPECT_EQ(v.host.status, "[" + std::to_string(i + 1) + "/8] " + want[i].name);
  }
}

}  // namespace
}  // namespace quendra
