#include "app/file_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>

#include "base/paths.h"
#include "support/temp_dir.h"

namespace quendra {
namespace {

using testing::TempDir;

TEST(IsPictureFile, ExtensionIsASubstringOfTheSupportedList) {
  for (const char* yes : {"a.JPG",  "d.tif",  "e.jp",   "f.",     "x.t",    "dir/a.Tif", "b.bmp",
                          "c.emf",  "g.jp2",  "h.pcx",  "i.tga",  "j.gif",  "k.png",     "l.P",
                          "b.jpeg", "c.tiff", "m.webp", "n.AVIF", "o.heic", "p.heif",    "q.jxl"})
    EXPECT_TRUE(IsPictureFile(yes)) << yes;
  for (const char* no :
       {"noext", "a.webpx", "a.jpgx", "a.bmp.txt", "dir.jpg/file", "a.pn g", "", "a.gifjpg"})
    EXPECT_FALSE(IsPictureFile(no)) << no;
  // A colon is an ordinary character here, not a separator.
  EXPECT_TRUE(IsPictureFile("c:a.png"));
}

// Under a Turkish locale "i" upper-cases to a dotted capital, not to "I"; extensions are
// matched by ASCII alone, so the same names pass in every locale. scripts/setup.sh makes the
// locale.
TEST(IsPictureFile, TheLocaleDoesNotDecide) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  ASSERT_NE(std::setlocale(LC_ALL, "tr_TR.UTF-8"), nullptr)
      << "tr_TR.UTF-8 missing: run scripts/setup.sh";
  TempDir dir;
  for (const char* n : {"A.GIF", "C.TIF", "b.gif", "d.Tif", "e.JPG"}) dir.Write(n, "");
  TListBox list;
  std::string folder;
  const int n = ScanFolder(dir.Path(), list, folder);
  const bool upperI = IsPictureFile("x.GIF"), lowerI = IsPictureFile("x.gif");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(n, 5);
  EXPECT_TRUE(upperI);
  EXPECT_TRUE(lowerI);
}

TEST(Paths, HelpersSplitAtTheLastSeparatorOnly) {
  EXPECT_EQ(ExtractFileName("/a/b.c/d.jpg"), "d.jpg");
  EXPECT_EQ(ExtractFilePath("/a/b.c/d.jpg"), "/a/b.c/");
  EXPECT_EQ(ExtractFileExt("/a/b.c/d"), "");
  EXPECT_EQ(ExtractFileExt("/a/b.c/d.x.PNG"), ".PNG");
  EXPECT_EQ(ExtractFilePath("name"), "");
  EXPECT_EQ(AddTrailingPathDelimiter(""), "/");
  EXPECT_EQ(AddTrailingPathDelimiter("/x/"), "/x/");
  EXPECT_EQ(AddTrailingPathDelimiter("/x"), "/x/");
  EXPECT_EQ(DisplayName("ok\xff.jpg"), "ok\xEF\xBF\xBD.jpg");
  EXPECT_EQ(DisplayName("\xC3\xA9t\xC3\xA9.png"), "\xC3\xA9t\xC3\xA9.png");
}

TEST(IsFolder, UnqueryablePathsCountAsFolders) {
  TempDir dir;
  dir.Write("f.jpg", "x");
  EXPECT_TRUE(IsFolder(dir.Path()));
  EXPECT_FALSE(IsFolder(dir / "f.jpg"));
  EXPECT_TRUE(IsFolder(dir / "missing"));
}

TEST(ScanFolder, ListsPictureNamesOnlyInCaselessOrder) {
  TempDir dir;
  for (const char* n : {"a.JPG", "b.jpeg", "c.tiff", "d.tif", "e.jp", "f.", "C.jpg", "b.jpg",
                        "A.png", ".x.jpg", ".hidden", "readme.txt"})
    dir.Write(n, "");
  ::mkdir((dir / "album.png").c_str(), 0755);
  ::mkdir((dir / "plain").c_str(), 0755);
  TListBox list;
  std::string folder;
  int n = ScanFolder(dir.Path(), list, folder);
  EXPECT_EQ(folder, dir.Path() + "/");
  std::vector<std::string> want{"a.JPG", "A.png",  "album.png", "b.jpeg", "b.jpg",
                                "C.jpg", "c.tiff", "d.tif",     "e.jp",   "f."};
  EXPECT_EQ(n, int(want.size()));
  // Case is ignored: "a.JPG" < "A.png" because J < P.
  EXPECT_EQ(list.Items(), want);
  EXPECT_EQ(list.ItemIndex(), -1);
}

TEST(ScanFolder, UnreadableOrMissingFoldersGiveAnEmptyList) {
  TListBox list;
  list.Assign({"old.jpg"});
  std::string folder;
  EXPECT_EQ(ScanFolder("/no/such/folder", list, folder), 0);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(folder, "/no/such/folder/");
  EXPECT_EQ(ScanFolder("/etc/hostname", list, folder), 0);  // a file, not a folder
}

TEST(ScanFolder, NamesThatAreNotUtf8AreListedWithTheirBytes) {
  TempDir dir;
  const std::string odd = "caf\xE9-\xFF.jpg";  // Latin-1 bytes, invalid UTF-8
  dir.Write(odd, "");
  dir.Write("b.jpg", "");
  TListBox list;
  std::string folder;
  ASSERT_EQ(ScanFolder(dir.Path(), list, folder), 2);
  EXPECT_EQ(list.IndexOfCaseless(odd), 1);
  EXPECT_EQ(list.IndexOfCaseless("B.JPG"), 0);
}

// The list tells its view about every change of its items or selection itself.
TEST(TListBox, AnnouncesEveryChange) {
  TListBox list;
  std::vector<std::pair<int, int>> seen;  // (count, selection) at each announcement
  list.OnChange = [&] { seen.emplace_back(list.Count(), list.ItemIndex()); };
  list.Assign({"a.jpg", "b.jpg"});
  list.SetItemIndex(1);
  list.SetItemIndex(5);  // out of range: no selection
  list.Clear();
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, -1}, {2, 1}, {2, -1}, {0, -1}}));
}

TEST(SortNames, FollowsTheLocaleWithoutRegardToCase) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  std::setlocale(LC_ALL, "C.UTF-8");
  std::vector<std::string> names{"\xC3\xA9t\xC3\xA9.jpg", "Zebra.png", "apple.bmp",
                                 "\xC3\x89TAT.jpg", "Apple.gif"};
  SortNames(names);
  std::setlocale(LC_ALL, saved.c_str());
  // É and é fold together and sort after the ASCII letters in code-point order.
  EXPECT_EQ(names, (std::vector<std::string>{"apple.bmp", "Apple.gif", "Zebra.png",
                                             "\xC3\x89TAT.jpg", "\xC3\xA9t\xC3\xA9.jpg"}));
}

}  // namespace
}  // namespace quendra
