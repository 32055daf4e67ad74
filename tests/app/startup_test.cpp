// Start-up, dropping, folder commands and the status line, driven through the test host.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/fallback_picture.h"
#include "formats/tbitmap.h"
#include "support/pictures.h"
#include "support/test_host.h"

namespace quendra {
namespace {

using testing::TempDir;
using testing::Viewer;
using testing::WriteBmp;

const Bitmap* Shown(TForm1& f) {
  auto* b = dynamic_cast<TBitmap*>(f.IMG.Picture().Graphic());
  return b ? &b->Image() : nullptr;
}
bool ShowsFallback(TForm1& f) {
  const Bitmap* b = Shown(f);
  return b && b->Width() == 600 && b->Height() == 240 && b->Format() == PixelFormat::pf24bit &&
         *b == FallbackPicture();
}

TEST(StartUp, WindowStartsWithTheFixedLayout) {
  Viewer v;
  EXPECT_EQ(v.host.caption, "Viewer");
  EXPECT_EQ(v.form.IMG.ClientWidth(), 557);
  EXPECT_EQ(v.form.IMG.ClientHeight(), 345);
  EXPECT_TRUE(v.form.IMG.Proportional());
  EXPECT_TRUE(v.form.IMG.Stretch());
  EXPECT_TRUE(v.form.IMG.Center());
  EXPECT_EQ(v.form.Timer.Interval(), 3000u);
  EXPECT_FALSE(v.form.Timer.Enabled());
}

TEST(StartUp, APictureArgumentIsShownAloneWithZeroCounts) {
  TempDir dir;
  std::string p = WriteBmp(dir, "one picture.bmp", 100, 80);
  WriteBmp(dir, "other.bmp", 10, 10);
  Viewer v;
  v.form.FormCreate({p}, "/opt/quendra/quendra");
  EXPECT_EQ(v.form.FileList.Count(), 0);
  EXPECT_EQ(v.form.CurrentFile, p);
  EXPECT_TRUE(v.form.CurrentFolder.empty());
  EXPECT_EQ(v.host.status, "[0/0] one picture.bmp");
  // 100 x 80 fits the 557 x 345 area at 431 x 345 (stretched, proportional).
  const Bitmap& shown = dynamic_cast<TBitmap&>(*v.form.IMG.Picture().Graphic()).Image();
  EXPECT_EQ(shown.Width(), 431);
  EXPECT_EQ(shown.Height(), 345);
  EXPECT_EQ(shown.Format(), PixelFormat::pf32bit);
  EXPECT_EQ(v.host.caption, "Image Size - 431 x 345 ");
}

TEST(StartUp, AFolderArgumentListsItAndShowsTheFirstPicture) {
  TempDir dir;
  WriteBmp(dir, "b.bmp", 20, 20);
  WriteBmp(dir, "A.bmp", 30, 20);
  Viewer v;
  v.host.panelWidth = 200;
  v.form.FormCreate({dir.Path()}, "/x/quendra");
  EXPECT_EQ(v.form.CurrentFolder, dir.Path() + "/");
  EXPECT_EQ(v.form.FileList.ItemIndex(), 0);
  EXPECT_EQ(v.form.CurrentFile, dir.Path() + "/A.bmp");
  EXPECT_EQ(v.host.status, "[1/2] A.bmp");
  EXPECT_EQ(v.host.panelWidth, 1);
}

// "." and a folder named like a picture are folders when named on the command line or dropped;
// listed inside a folder, "album.png" stays an item like a file.
TEST(StartUp, AnExistingFolderIsAFolderWhateverItsName) {
  TempDir dir;
  WriteBmp(dir, "a.bmp", 20, 20);
  ASSERT_EQ(::mkdir((dir / "album.png").c_str(), 0755), 0);
  WriteBmp(dir, "album.png/inner.bmp", 20, 20);
  // The start path is made absolute, "." parts gone.
  for (const auto& [arg, folder] :
       {std::pair{dir / ".", dir.Path()}, std::pair{dir / "album.png", dir / "album.png"}}) {
    Viewer v;
    v.form.FormCreate({arg}, "/x/quendra");
    ASSERT_GT(v.form.FileList.Count(), 0) << arg;
    EXPECT_EQ(v.form.CurrentFolder, folder + "/");
    EXPECT_FALSE(ShowsFallback(v.form)) << arg;
  }
  Viewer dropped;
  dropped.form.FilesDropped({dir / "album.png"});
  EXPECT_EQ(dropped.host.status, "[1/1] inner.bmp");
  Viewer listed;
  listed.form.FormCreate({dir.Path()}, "/x/quendra");
  EXPECT_EQ(listed.form.FileList.Items(), (std::vector<std::string>{"a.bmp", "album.png"}));
}

TEST(StartUp, WithoutArgumentsTheProgramsOwnFolderIsListed) {
  TempDir dir;
  WriteBmp(dir, "here.bmp", 8, 8);
  Viewer v;
  v.form.FormCreate({}, dir / "quendra");
  EXPECT_EQ(v.form.CurrentFile, dir / "here.bmp");
  // An empty first argument ends the argument list, too.
  Viewer w;
  w.form.FormCreate({"", "ignored"}, dir / "quendra");
  EXPECT_EQ(w.form.CurrentFile, dir / "here.bmp");
}

TEST(StartUp, BrowseListsTheFilesFolderShowsItSelectedAndStepsFromThere) {
  TempDir dir;
  WriteBmp(dir, "a.bmp", 8, 8);
  WriteBmp(dir, "b.bmp", 9, 9);
  WriteBmp(dir, "c.bmp", 10, 10);
  Viewer v;
  v.host.panelWidth = 200;
  v.form.FormCreate({"--browse", dir / "b.bmp"}, "/x/q");
  EXPECT_EQ(v.form.CurrentFolder, dir.Path() + "/");
  EXPECT_EQ(v.form.FileList.ItemIndex(), 1);
  EXPECT_EQ(v.form.CurrentFile, dir / "b.bmp");
  EXPECT_EQ(v.host.status, "[2/3] b.bmp");
  EXPECT_EQ(v.host.panelWidth, 1);
  v.form.KeyDown(VK_DOWN, {});
  EXPECT_EQ(v.form.CurrentFile, dir / "c.bmp");

  // A folder is listed from its first picture.
  Viewer folder;
  folder.form.FormCreate({"--browse", dir.Path()}, "/x/q");
  EXPECT_EQ(folder.form.CurrentFile, dir / "a.bmp");
  // "--browse" without a file is a start without an argument.
  Viewer bare;
  bare.form.FormCreate({"--browse"}, dir / "quendra");
  EXPECT_EQ(bare.form.CurrentFile, dir / "a.bmp");
}

TEST(StartUp, AProgramFolderWithoutPicturesStartsInTheUsersPictures) {
  TempDir bin, pictures;
  WriteBmp(pictures, "mine.bmp", 8, 8);
  Viewer v;
  int asked = 0;
  v.form.FormCreate({}, bin / "quendra", [&] {
    ++asked;
    return pictures.Path();
  });
  EXPECT_EQ(v.form.CurrentFile, pictures / "mine.bmp");
  // A given folder without pictures stays what was asked for.
  Viewer given;
  given.form.FormCreate({bin.Path()}, bin / "quendra", [&] {
    ++asked;
    return pictures.Path();
  });
  EXPECT_EQ(given.form.FileList.Count(), 0);
  EXPECT_EQ(asked, 1);
}

TEST(StartUp, MissingAndOddStartPathsShowNothingOrTheFallback) {
  TempDir dir;
  Viewer missing;  // no extension and no such path: treated as a folder, lists nothing
  missing.form.FormCreate({dir / "nothing-here"}, "/x/q");
  EXPECT_EQ(missing.form.IMG.Picture().Graphic(), nullptr);
  EXPECT_EQ(missing.host.caption, "Viewer");

  dir.Write("broken.bmp", "BM not really");
  Viewer broken;
  broken.form.FormCreate({dir / "broken.bmp"}, "/x/q");
  EXPECT_TRUE(ShowsFallback(broken.form));
  EXPECT_EQ(broken.host.status, "");  // a failed load leaves the status line alone
  EXPECT_EQ(broken.host.caption, "Image Size - 557 x 222 ");
}

TEST(Drop, OnlyTheFirstPathCountsAndAPictureEmptiesTheList) {
  TempDir dir;
  WriteBmp(dir, "a.bmp", 20, 10);
  WriteBmp(dir, "b.bmp", 20, 10);
  std::string longName(200, 'x');
  ::mkdir((dir / longName).c_str(), 0755);
  std::string deep = WriteBmp(dir, longName + "/" + longName + ".bmp", 10, 20);
  ASSERT_GT(deep.size(), 256u);
  Viewer v;
  v.form.FormCreate({dir.Path()}, "/x/q");
  ASSERT_EQ(v.form.FileList.Count(), 2);
  v.form.FilesDropped({deep, dir / "a.bmp", dir / "b.bmp"});
  // The whole long path is taken; a cut one would name nothing.
  EXPECT_EQ(v.form.CurrentFile, deep);
  EXPECT_EQ(v.form.FileList.Count(), 0);
  EXPECT_EQ(v.form.CurrentFolder, dir.Path() + "/");
  EXPECT_EQ(v.host.status, "[0/0] " + longName + ".bmp");
}

TEST(Drop, AFolderNamedLikeAPictureIsTriedFirstThenListed) {
  TempDir dir;
  ::mkdir((dir / "trip.png").c_str(), 0755);
  WriteBmp(dir, "trip.png/z.bmp", 40, 40);
  Viewer v;
  v.form.FilesDropped({dir / "trip.png"});
  EXPECT_EQ(v.form.FileList.Count(), 1);
  EXPECT_EQ(v.form.CurrentFile, dir / "trip.png/z.bmp");
  EXPECT_FALSE(ShowsFallback(v.form));
}

TEST(Drop, AnEmptyFolderEmptiesTheListButKeepsThePicture) {
  TempDir dir;
  std::string p = WriteBmp(dir, "keep.bmp", 20, 10);
  ::mkdir((dir / "empty").c_str(), 0755);
  Viewer v;
  v.form.FormCreate({dir.Path()}, "/x/q");
  const Bitmap* before = Shown(v.form);
  v.form.FilesDropped({dir / "empty"});
  EXPECT_EQ(v.form.FileList.Count(), 0);
  EXPECT_EQ(v.form.CurrentFile, p);
  EXPECT_EQ(Shown(v.form), before);
}

TEST(Folders, SelectFolderScansTheChoiceAndKeepsThePictureWhenEmpty) {
  TempDir a, b;
  WriteBmp(a, "1.bmp", 10, 10);
  Viewer v;
  v.host.folderAnswers = {a.Path(), std::nullopt, b.Path()};
  v.form.TntSpeedButton1Click();
  EXPECT_EQ(v.host.browseTexts.at(0), "Select folder");
  EXPECT_EQ(v.form.CurrentFile, a / "1.bmp");
  v.form.TntSpeedButton1Click();  // cancelled: nothing changes
  EXPECT_EQ(v.form.FileList.Count(), 1);
  v.form.TntSpeedButton1Click();  // a folder without pictures
  EXPECT_EQ(v.form.FileList.Count(), 0);
  EXPECT_EQ(v.form.CurrentFolder, b.Path() + "/");
  EXPECT_EQ(v.form.CurrentFile, a / "1.bmp");
}

TEST(Folders, RefreshReselectsTheShownNameOrFallsBackToTheFirst) {
  TempDir dir;
  WriteBmp(dir, "b.bmp", 10, 10);
  WriteBmp(dir, "c.bmp", 10, 10);
  Viewer v;
  v.form.FormCreate({dir.Path()}, "/x/q");
  v.form.KeyDown(VK_DOWN, {});
  ASSERT_EQ(v.form.CurrentFile, dir / "c.bmp");
  WriteBmp(dir, "a.bmp", 10, 10);  // a new file before it
  v.form.IMG.HorzOffset = 30;
  v.form.KeyDown('R', {.ctrl = true});
  EXPECT_EQ(v.form.FileList.ItemIndex(), 2);
  EXPECT_EQ(v.host.status, "[3/3] c.bmp");
  EXPECT_EQ(v.form.IMG.HorzOffset, 0);
  ::unlink((dir / "c.bmp").c_str());
  v.form.REFRESH1Click();
  EXPECT_EQ(v.form.FileList.ItemIndex(), 0);
  EXPECT_EQ(v.form.CurrentFile, dir / "a.bmp");
  ::unlink((dir / "a.bmp").c_str());
  ::unlink((dir / "b.bmp").c_str());
  v.form.REFRESH1Click();  // nothing left: the list empties, the picture stays
  EXPECT_EQ(v.form.FileList.Count(), 0);
  EXPECT_EQ(v.form.CurrentFile, dir / "a.bmp");
  v.form.REFRESH1Click();  // an empty list: nothing at all
  EXPECT_EQ(v.form.FileList.Count(), 0);
}

TEST(Folders, ANameThatIsNotUtf8StillOpens) {
  TempDir dir;
  std::string odd = "\xE9t\xE9\xFF.bmp";
  WriteBmp(dir, odd, 12, 12);
  Viewer v;
  v.form.FormCreate({dir.Path()}, "/x/q");
  ASSERT_EQ(v.form.FileList.Count(), 1);
  EXPECT_EQ(v.form.CurrentFile, dir / odd);
  EXPECT_FALSE(ShowsFallback(v.form));
  EXPECT_EQ(v.host.status, "[1/1] " + odd);  // bytes kept; the front end shows them lossily
}

}  // namespace
}  // namespace quendra

namespace quendra {
namespace {

TEST(StartUp, AHundredThousandEntriesAreListed) {
  TempDir dir;
  for (int i = 0; i < 100000; ++i) {
    std::string name = dir / ("f" + std::to_string(99999 - i) + (i % 2 ? ".jpg" : ".dat"));
    ::close(::open(name.c_str(), O_CREAT | O_WRONLY, 0644));
  }
  Viewer v;
  v.form.FormCreate({dir.Path()}, "/x/q");
  EXPECT_EQ(v.form.FileList.Count(), 50000);
  EXPECT_EQ(v.form.FileList.Item(0), "f0.jpg");
  EXPECT_TRUE(ShowsFallback(v.form));  // an empty file: the fallback, and the status line stays
}

TEST(StartUp, AnUnreadableFolderListsNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not stop reading";
  TempDir locked;
  WriteBmp(locked, "x.bmp", 4, 4);
  ::chmod(locked.Path().c_str(), 0);
  Viewer w;
  w.form.FormCreate({locked.Path()}, "/x/q");
  ::chmod(locked.Path().c_str(), 0755);
  EXPECT_EQ(w.form.FileList.Count(), 0);
  EXPECT_EQ(w.form.IMG.Picture().Graphic(), nullptr);
}

}  // namespace
}  // namespace quendra
