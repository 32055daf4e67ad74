// quendra-convert as a user runs it: real files in, real files out, checked by Pillow.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/image_tools.h"

namespace quendra {
namespace {

using test::DecodeWithPillow;
using test::ReadFileBytes;
using test::ShellQuote;
using test::TempDir;

int Convert(const std::string& args, std::string* err = nullptr) {
  std::string cmd = "(" + std::string(QUENDRA_CONVERT) + " " + args + " 2>&1)";
  return test::Run(cmd, err);
}

bool Exists(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0;
}

TEST(Convert, FitsAsTheViewerDoesAndWritesEachFormat) {
  if (!test::HavePillow()) GTEST_SKIP() << "Pillow is not installed";
  TempDir dir;
  const std::string in = dir.File("photo.jpg");
  ASSERT_EQ(test::RunPillow("card(2000, 1500).save(out, quality=92)", in), 0);
  // 2000 x 1500 into 460 x 345: decoded at 1/4 (500 x 375), then resampled to 460 x 345.
  ASSERT_EQ(Convert(ShellQuote(in) + " " + ShellQuote(dir.File("fit.bmp")) + " --fit 460x345"), 0);
  auto fit = DecodeWithPillow(dir.File("fit.bmp"));
  ASSERT_TRUE(fit);
  EXPECT_EQ(fit->width, 460);
  EXPECT_EQ(fit->height, 345);
  // Without --fit the picture keeps its full size.
  for (const char* ext : {"bmp", "png", "jpg", "tga"}) {
    const std::string out = dir.File(std::string("full.") + ext);
    ASSERT_EQ(Convert(ShellQuote(in) + " " + ShellQuote(out)), 0) << ext;
    auto full = DecodeWithPillow(out);
    ASSERT_TRUE(full) << ext;
    EXPECT_EQ(full->width, 2000) << ext;
    EXPECT_EQ(full->height, 1500) << ext;
  }
}

TEST(Convert, FailuresSayWhyAndLeaveNoFileBehind) {
  TempDir dir;
  const std::string bad = dir.File("bad.png");
  test::WriteFileBytes(bad, {0x89, 'P', 'N', 'G', 13, 10, 26,   10,   0, 0, 0,    13,
                             'I',  'H', 'D', 'R', 0,  0,  0xFF, 0xFF, 0, 0, 0xFF, 0xFF});
  std::string err;
  EXPECT_EQ(Convert(ShellQuote(bad) + " " + ShellQuote(dir.File("out.bmp")), &err), 1);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("bad.png"), std::string::npos) << err;
  EXPECT_FALSE(Exists(dir.File("out.bmp")));

  // A file that was there survives a failed conversion untouched.
  const std::string keep = dir.File("keep.bmp");
  test::WriteFileBytes(keep, {'o', 'l', 'd'});
  EXPECT_EQ(Convert(ShellQuote(dir.File("missing.jpg")) + " " + ShellQuote(keep)), 1);
  EXPECT_EQ(ReadFileBytes(keep), (std::vector<uint8_t>{'o', 'l', 'd'}));

  EXPECT_EQ(Convert(ShellQuote(bad) + " x.bmp --fit 0x10"), 1);       // usage
  EXPECT_EQ(Convert(ShellQuote(dir.File("a.txt")) + " out.bmp"), 1);  // unknown extension
  EXPECT_FALSE(Exists("out.bmp"));
  // Nothing but the files we named was created.
  std::string listing;
  test::Run("ls -A " + ShellQuote(dir.Path()), &listing);
  EXPECT_EQ(listing, "bad.png\nkeep.bmp\n");
}

}  // namespace
}  // namespace quendra
