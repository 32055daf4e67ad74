// quendra-convert as a user runs it: real files in, real files out, checked by Pillow.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "formats/metafile.h"
#include "formats/tbitmap.h"
#include "support/image_tools.h"
#include "support/pictures.h"

namespace quendra {
namespace {

using testing::DecodeWithPillow;
using testing::ReadFileBytes;
using testing::ShellQuote;
using testing::TempDir;

int Convert(const std::string& args, std::string* err = nullptr) {
  std::string cmd = "(" + std::string(QUENDRA_CONVERT) + " " + args + " 2>&1)";
  return testing::Run(cmd, err);
}

bool Exists(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0;
}

TEST(Convert, FitsAsTheViewerDoesAndWritesEachFormat) {
  if (!testing::HavePillow()) GTEST_SKIP() << "Pillow is not installed";
  TempDir dir;
  const std::string in = dir.File("photo.jpg");
  ASSERT_EQ(testing::RunPillow("card(2000, 1500).save(out, quality=92)", in), 0);
  // 2000 x 1500 into 460 x 345: decoded at 1/4 (500 x 375), then resampled to 460 x 345.
  ASSERT_EQ(Convert(ShellQuote(in) + " " + ShellQuote(dir.File("fit.bmp")) + " --fit 460x345"), 0);
  auto fit = DecodeWithPillow(dir.File("fit.bmp"));
  ASSERT_TRUE(fit);
  EXPECT_EQ(fit->width, 460);
  EXPECT_EQ(fit->height, 345);
  // Every writer extension; without --fit the picture keeps its full size.
  const std::string small = dir.File("small.bmp");
  ASSERT_EQ(Convert(ShellQuote(in) + " " + ShellQuote(small) + " --fit 400x300"), 0);
  for (const char* ext : {"bmp", "png", "jpg", "JPEG", "gif", "tga", "jp2", "j2k", "jpc"}) {
    const std::string out = dir.File(std::string("full.") + ext);
    ASSERT_EQ(Convert(ShellQuote(small) + " " + ShellQuote(out)), 0) << ext;
    auto full = DecodeWithPillow(out);
    ASSERT_TRUE(full) << ext;
    EXPECT_EQ(full->width, 400) << ext;
    EXPECT_EQ(full->height, 300) << ext;
  }
  // Pillow reads no EMF here; the viewer's own reader shows the bitmap it holds.
  ASSERT_EQ(Convert(ShellQuote(small) + " " + ShellQuote(dir.File("full.emf"))), 0);
  EXPECT_TRUE(testing::ReadWith<TMetafile>(dir.File("full.emf")) ==
              testing::ReadWith<TBitmap>(small));
  std::string help;
  EXPECT_EQ(testing::Run(std::string(QUENDRA_CONVERT) + " --help", &help), 0);
  for (const char* ext :
       {".bmp", ".jpg", ".jpeg", ".png", ".gif", ".tga", ".jp2", ".j2k", ".jpc", ".emf"})
    EXPECT_NE(help.find(ext), std::string::npos) << ext;
}

TEST(Convert, FailuresSayWhyAndLeaveNoFileBehind) {
  TempDir dir;
  const std::string bad = dir.File("bad.png");
  testing::WriteFileBytes(bad, {0x89, 'P', 'N', 'G', 13, 10, 26,   10,   0, 0, 0,    13,
                                'I',  'H', 'D', 'R', 0,  0,  0xFF, 0xFF, 0, 0, 0xFF, 0xFF});
  std::string err;
  EXPECT_EQ(Convert(ShellQuote(bad) + " " + ShellQuote(dir.File("out.bmp")), &err), 1);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("bad.png"), std::string::npos) << err;
  EXPECT_FALSE(Exists(dir.File("out.bmp")));

  // A file that was there survives a failed conversion untouched.
  const std::string keep = dir.File("keep.bmp");
  testing::WriteFileBytes(keep, {'o', 'l', 'd'});
  EXPECT_EQ(Convert(ShellQuote(dir.File("missing.jpg")) + " " + ShellQuote(keep)), 1);
  EXPECT_EQ(ReadFileBytes(keep), (std::vector<uint8_t>{'o', 'l', 'd'}));

  EXPECT_EQ(Convert(ShellQuote(bad) + " x.bmp --fit 0x10"), 1);       // usage
  EXPECT_EQ(Convert(ShellQuote(dir.File("a.txt")) + " out.bmp"), 1);  // unknown extension
  EXPECT_FALSE(Exists("out.bmp"));
  // An output name that names no writer is an error, not a JPEG under another name.
  const std::string pic = testing::WriteBmp(dir, "pic.bmp", 8, 8);
  for (const char* out : {"out.tif", "out.jpe", "out"}) {
    err.clear();
    EXPECT_EQ(Convert(ShellQuote(pic) + " " + ShellQuote(dir.File(out)), &err), 1) << out;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  // A missing folder and a name that is a folder: a clear reason.
  err.clear();
  EXPECT_EQ(Convert(ShellQuote(pic) + " " + ShellQuote(dir.File("no/out.png")), &err), 1);
  EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
  ::mkdir(dir.File("dir.png").c_str(), 0755);
  err.clear();
  EXPECT_EQ(Convert(ShellQuote(pic) + " " + ShellQuote(dir.File("dir.png")), &err), 1);
  EXPECT_NE(err.find("Is a directory"), std::string::npos) << err;
  ::rmdir(dir.File("dir.png").c_str());
  ::unlink(pic.c_str());
  // Nothing but the files we named was created.
  std::string listing;
  testing::Run("ls -A " + ShellQuote(dir.Path()), &listing);
  EXPECT_EQ(listing, "bad.png\nkeep.bmp\n");
}

}  // namespace
}  // namespace quendra
