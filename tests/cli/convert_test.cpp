// quendra-convert as a user runs it: real files in, real files out, checked by Pillow.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "formats/jpeg_image.h"
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

// Permissions do not apply to root: the replace is checked as ordinary users made for the test,
// in a folder they share, running a copy of the program that they may execute.
class ConvertAsUser : public ::testing::Test {
 protected:
  static constexpr const char* kUser = "quendra-saver";
  static constexpr const char* kOther = "quendra-other";

  static void SetUpTestSuite() {
    if (::geteuid() != 0 || !testing::HaveCommand("useradd") || !testing::HaveCommand("runuser"))
      return;
    for (const char* user : {kUser, kOther})
      if (!::getpwnam(user))
        testing::Run(std::string("useradd --no-create-home --shell /usr/sbin/nologin ") + user);
    ready_ = ::getpwnam(kUser) && ::getpwnam(kOther);
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "needs root, useradd and runuser to test as an ordinary user";
    char pattern[] = "/tmp/quendra-users-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::chmod(dir_.c_str(), 0777);
    convert_ = dir_ + "/quendra-convert";
    std::filesystem::copy_file(QUENDRA_CONVERT, convert_);
    ::chmod(convert_.c_str(), 0755);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  // An old file of its owner, with the mode given.
  std::string Old(const std::string& name, const char* owner, mode_t mode) const {
    const std::string path = File(name);
    testing::WriteFileBytes(path, {'o', 'l', 'd'});
    const passwd* pw = ::getpwnam(owner);
    EXPECT_EQ(::chown(path.c_str(), pw->pw_uid, pw->pw_gid), 0);
    ::chmod(path.c_str(), mode);
    return path;
  }
  int ConvertAs(const char* user, const std::string& in, const std::string& out,
                std::string* err = nullptr) const {
    return testing::Run("runuser -u " + std::string(user) + " -- " + ShellQuote(convert_) + " " +
                            ShellQuote(in) + " " + ShellQuote(out) + " 2>&1",
                        err);
  }
  static struct stat Stat(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
  }

  static bool ready_;
  std::string dir_, convert_;
};
bool ConvertAsUser::ready_ = false;

TEST_F(ConvertAsUser, ReplacesAsTheDesktopDoes) {
  const std::string in = File("in.bmp");
  testing::WriteFileBytes(in,
                          testing::ReadFileBytes(testing::WriteBmp(TempDir(), "in.bmp", 40, 30)));
  ::chmod(in.c_str(), 0644);
  const Bitmap picture = testing::ReadWith<TBitmap>(in);
  const std::vector<uint8_t> old{'o', 'l', 'd'};

  // A file the user may not write is refused and stays, though the folder would allow a rename.
  const std::string readOnly = Old("ro.bmp", kUser, 0444);
  std::string err;
  EXPECT_EQ(ConvertAs(kUser, in, readOnly, &err), 1);
  EXPECT_NE(err.find(readOnly + ": Permission denied"), std::string::npos) << err;
  EXPECT_EQ(testing::ReadFileBytes(readOnly), old);

  // A symlink stays a symlink; the file it names is replaced and keeps its mode.
  const std::string target = Old("target.bmp", kUser, 0640);
  ASSERT_EQ(::symlink("target.bmp", File("link.bmp").c_str()), 0);
  EXPECT_EQ(ConvertAs(kUser, in, File("link.bmp"), &err), 0) << err;
  struct stat link {};
  ::lstat(File("link.bmp").c_str(), &link);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  EXPECT_TRUE(testing::ReadWith<TBitmap>(target) == picture);
  EXPECT_EQ(Stat(target).st_mode & 07777, 0640u);

  // Another user's file in the shared folder keeps its owner and mode.
  const std::string others = Old("other.bmp", kOther, 0666);
  EXPECT_EQ(ConvertAs(kUser, in, others, &err), 0) << err;
  EXPECT_TRUE(testing::ReadWith<TBitmap>(others) == picture);
  EXPECT_EQ(Stat(others).st_uid, ::getpwnam(kOther)->pw_uid);
  EXPECT_EQ(Stat(others).st_mode & 07777, 0666u);

  // A hard link stays shared: both names show the new picture.
  const std::string linked = Old("linked.bmp", kUser, 0644);
  ASSERT_EQ(::link(linked.c_str(), File("linked-too.bmp").c_str()), 0);
  EXPECT_EQ(ConvertAs(kUser, in, linked, &err), 0) << err;
  EXPECT_EQ(Stat(linked).st_ino, Stat(File("linked-too.bmp")).st_ino);
  EXPECT_TRUE(testing::ReadWith<TBitmap>(File("linked-too.bmp")) == picture);

  // Written in place, an encoder failure (JPEG is at most 65500 pixels high) changes nothing.
  const std::string tall = File("tall.bmp");
  testing::WriteFileBytes(tall,
                          testing::ReadFileBytes(testing::WriteBmp(TempDir(), "t.bmp", 1, 65535)));
  ::chmod(tall.c_str(), 0644);
  const std::string shared = Old("shared.jpg", kUser, 0644);
  ASSERT_EQ(::link(shared.c_str(), File("shared-too.jpg").c_str()), 0);
  EXPECT_EQ(ConvertAs(kUser, tall, shared, &err), 1);
  EXPECT_EQ(testing::ReadFileBytes(shared), old);
  EXPECT_EQ(Stat(shared).st_nlink, 2u);
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
