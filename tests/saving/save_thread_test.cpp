// The save thread: the extension rules, the messages it hands to the main thread, and a saver
// that never loses a file (atomic writes, waiting for pending saves at exit).
#include "saving/save_thread.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "formats/jpeg_image.h"
#include "formats/tbitmap.h"
#include "saving/atomic_file.h"
#include "saving/save_by_extension.h"
#include "support/image_tools.h"
#include "support/manual_dispatcher.h"
#include "support/pictures.h"

namespace quendra {
namespace {

using testing::ManualDispatcher;
using testing::TempDir;

bool Exists(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0;
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SaveByExtension, NamesAndWritersFollowTheExtensionTable) {
  struct Case {
    const char* given;
    const char* written;
    std::optional<SaveFormat> format;
  };
  const Case cases[] = {
      {"d/a.PNG", "d/a.PNG", SaveFormat::Png},  // the name keeps its case
      {"d/a.jpeg", "d/a.jpeg", SaveFormat::Jpeg},
      {"d/a.jpg", "d/a.jpg", SaveFormat::Jpeg},
      {"d/a.tif", "d/a.jpg", SaveFormat::Jpeg},  // not accepted: written as JPEG under .jpg
      {"d/a.pcx", "d/a.jpg", SaveFormat::Jpeg},
      {"d/a.wmf", "d/a.jpg", SaveFormat::Jpeg},
      {"d/a", "d/a.jpg", SaveFormat::Jpeg},
      {"d.x/a", "d.x/a.jpg", SaveFormat::Jpeg},  // a dot before the last '/' is no extension
      {"d/a.j2k", "d/a.j2k", SaveFormat::Jpeg2000},
      {"d/a.jpc", "d/a.jpc", SaveFormat::Jpeg2000},
      {"d/a.", "d/a.", SaveFormat::Jpeg2000},  // partial extensions inside ".jpc.j2k"
      {"d/a.j", "d/a.j", SaveFormat::Jpeg2000},
      {"d/a.jp", "d/a.jp", SaveFormat::Jpeg2000},
      {"d/a.j2", "d/a.j2", SaveFormat::Jpeg2000},
      {"d/a.jp2", "d/a.jp2", SaveFormat::Jpeg2000},
      {"d/a.bmp", "d/a.bmp", SaveFormat::Bmp},
      {"d/a.Tga", "d/a.Tga", SaveFormat::Targa},
      {"d/a.gif", "d/a.gif", SaveFormat::Gif},
      {"d/a.emf", "d/a.emf", SaveFormat::Emf},
      {"d/a.jpe", "d/a.jpe", std::nullopt},  // accepted, but no writer
      {"d/a.gi", "d/a.gi", std::nullopt},
      {"d/a.bm", "d/a.bm", std::nullopt},
      {"d/a.em", "d/a.em", std::nullopt},
  };
  for (const Case& c : cases) {
    const SavePlan plan = PlanSave(c.given);
    EXPECT_EQ(plan.fileName, c.written) << c.given;
    EXPECT_EQ(plan.format, c.format) << c.given;
  }
  // quendra-convert's strict rule: only whole writer extensions.
  EXPECT_EQ(WriterForExtension("a.JPEG"), SaveFormat::Jpeg);
  EXPECT_EQ(WriterForExtension("a.jpc"), SaveFormat::Jpeg2000);
  EXPECT_EQ(WriterForExtension("a.emf"), SaveFormat::Emf);
  EXPECT_EQ(WriterForExtension("a.tif"), std::nullopt);
  EXPECT_EQ(WriterForExtension("a.j"), std::nullopt);
  EXPECT_EQ(WriterForExtension("a"), std::nullopt);
}

TEST(SaveByExtension, WritesUnderTheChangedNameOrNothing) {
  TempDir dir;
  const Bitmap pic = testing::Gradient(40, 30);
  EXPECT_EQ(SaveByExtension(pic, dir / "a.tif"), "");
  EXPECT_EQ(testing::ReadWith<TJPEGImage>(dir / "a.jpg").Width(), 40);
  EXPECT_EQ(SaveByExtension(pic, dir / "b.j2k"), "");
  const auto j2k = testing::ReadFileBytes(dir / "b.j2k");
  ASSERT_GE(j2k.size(), 8u);  // a JP2 file (signature box), not a raw codestream
  EXPECT_EQ(std::vector<uint8_t>(j2k.begin(), j2k.begin() + 8),
            (std::vector<uint8_t>{0, 0, 0, 12, 'j', 'P', ' ', ' '}));
  EXPECT_EQ(SaveByExtension(pic, dir / "c.jpe"), "Graphic type cannot be saved!");
  EXPECT_EQ(SaveByExtension(pic, dir / "c.gi"), "Graphic type cannot be saved!");
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"a.jpg", "b.j2k"}));
}

TEST(SaveByExtension, FailuresSayWhyAndKeepTheOldFile) {
  TempDir dir;
  const Bitmap pic = testing::Gradient(40, 30);
  EXPECT_EQ(SaveByExtension(pic, dir / "none/a.png"),
            "Could not save " + (dir / "none/a.png") + ": No such file or directory");
  std::filesystem::create_directory(dir / "folder.png");
  EXPECT_EQ(SaveByExtension(pic, dir / "folder.png"),
            "Could not save " + (dir / "folder.png") + ": Is a directory");
  // An encoder failure (JPEG is at most 65500 pixels high) leaves the old file as it was.
  testing::WriteFileBytes(dir / "old.jpg", {'o', 'l', 'd'});
  const std::string msg = SaveByExtension(Bitmap(1, 65535, PixelFormat::pf24bit), dir / "old.jpg");
  EXPECT_EQ(msg.rfind("Could not save " + (dir / "old.jpg") + ": ", 0), 0u) << msg;
  EXPECT_EQ(testing::ReadFileBytes(dir / "old.jpg"), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"folder.png", "old.jpg"}));
}

TEST(SaveByExtension, ExtremeSizesAreWrittenOrRefusedClearly) {
  TempDir dir;
  const char* exts[] = {"bmp", "jpg", "png", "gif", "tga", "jp2", "emf"};
  std::vector<std::string> written;
  for (const char* ext : exts) {
    // 1 x 1 in every format.
    const std::string one = dir / (std::string("one.") + ext);
    EXPECT_EQ(SaveByExtension(testing::Gradient(1, 1), one), "") << ext;
    if (std::string(ext) != "emf") written.push_back(one);
    // 1 x 65535: only JPEG has a lower limit (65500), and says so.
    const std::string tall = dir / (std::string("tall.") + ext);
    const std::string msg = SaveByExtension(Bitmap(1, 65535, PixelFormat::pf24bit), tall);
    if (std::string(ext) == "jpg") {
      EXPECT_EQ(msg, "Could not save " + tall + ": Picture too large for JPEG");
      EXPECT_FALSE(Exists(tall));
    } else {
      EXPECT_EQ(msg, "") << ext;
      EXPECT_TRUE(Exists(tall)) << ext;
    }
  }
  if (testing::HavePillow()) {
    const auto back = testing::DecodeAllWithPillow(written);
    for (size_t i = 0; i < written.size(); ++i) {
      ASSERT_TRUE(back[i]) << written[i];
      EXPECT_EQ(back[i]->width * back[i]->height, 1) << written[i];
    }
  }
  // The pixel limit, in the cheapest format (1 bit, 32 MB): the formats that take it.
  Bitmap huge(1 << 14, 1 << 14, PixelFormat::pf1bit);
  ASSERT_EQ(int64_t(huge.Width()) * huge.Height(), kMaxPixels);
  huge.Palette() = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  huge.Row(100)[7] = 0x0F;
  for (const char* ext : {"bmp", "png", "emf"})
    EXPECT_EQ(SaveByExtension(huge, dir / (std::string("huge.") + ext)), "") << ext;
  const Bitmap back = testing::ReadWith<TBitmap>(dir / "huge.bmp");
  EXPECT_TRUE(back == huge);
}

// Runs `body` in a child process and returns its exit status.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(SaveByExtension, AFileSizeLimitOrAFullDiskFailsCleanly) {
  TempDir dir;
  const Bitmap pic = testing::Gradient(300, 200);  // a 180 KB BMP
  testing::WriteFileBytes(dir / "old.bmp", {'o', 'l', 'd'});
  // RLIMIT_FSIZE stops the write even as root; the child reports what the user would read.
  const int status = InChild([&] {
    ManualDispatcher dispatcher;
    Saver saver(dispatcher, nullptr);  // ignores SIGXFSZ, as the viewer does
    rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string msg = SaveByExtension(pic, dir / "old.bmp");
    return msg == "Could not save " + (dir / "old.bmp") + ": File too large" ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(testing::ReadFileBytes(dir / "old.bmp"), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"old.bmp"}));

  // A full disk: a small tmpfs of our own.
  const std::string small = dir / "small";
  std::filesystem::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root with CAP_SYS_ADMIN)";
  testing::WriteFileBytes(small + "/old.bmp", {'o', 'l', 'd'});
  const std::string msg = SaveByExtension(pic, small + "/old.bmp");
  const auto left = Listing(small);
  const auto kept = testing::ReadFileBytes(small + "/old.bmp");
  ::umount(small.c_str());
  EXPECT_EQ(msg, "Could not save " + small + "/old.bmp: No space left on device");
  EXPECT_EQ(kept, (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(left, (std::vector<std::string>{"old.bmp"}));
}

struct Recorded {
  std::vector<std::pair<std::string, std::string>> messages;
  ShowMessageFunction Show() {
    return [this](const std::string& t, const std::string& c) { messages.emplace_back(t, c); };
  }
};

TEST(Saver, MessagesReachTheMainThreadAndExitWaitsForPendingSaves) {
  TempDir dir;
  ManualDispatcher dispatcher;
  Recorded shown;
  {
    Saver saver(dispatcher, shown.Show());
    Bitmap pic = testing::Gradient(64, 48);
    saver.StartSaveThread(pic, dir / "c.jpe");
    saver.StartSaveThread(pic, dir / "missing/x.png");
    pic = Bitmap();  // the caller's bitmap may go at once
    // Neither save can end before the main thread has shown its message.
    EXPECT_EQ(saver.Pending(), 2);
    EXPECT_TRUE(shown.messages.empty());
    saver.StartSaveThread(testing::Gradient(640, 480), dir / "big.gif");
  }  // the destructor waits, serving the dispatcher meanwhile
  ASSERT_EQ(shown.messages.size(), 2u);
  std::sort(shown.messages.begin(), shown.messages.end());
  EXPECT_EQ(shown.messages[0].first,
            "Could not save " + (dir / "missing/x.png") + ": No such file or directory");
  EXPECT_EQ(shown.messages[1].first, "Graphic type cannot be saved!");
  EXPECT_EQ(shown.messages[0].second, "Quendra");
  EXPECT_EQ(shown.messages[1].second, "Quendra");
  // The save that ran during the wait is complete.
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"big.gif"}));
  auto gif = testing::DecodeWithPillow(dir / "big.gif");
  if (testing::HavePillow()) {
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->width, 640);
  }
}

// photo[1].tif is the name chosen; photo[1].jpg is somebody else's file, never named.
TEST(Saver, ARenamedSaveGoesToAFreeNameAndTheStatusLineSaysWhere) {
  TempDir dir;
  ManualDispatcher dispatcher;
  Recorded shown;
  std::vector<std::string> status;
  testing::WriteFileBytes(dir / "photo[1].jpg", {'k', 'e', 'e', 'p'});
  {
    Saver saver(dispatcher, shown.Show(), [&](const std::string& t) { status.push_back(t); });
    saver.StartSaveThread(testing::Gradient(40, 30), dir / "photo[1].tif");
    saver.StartSaveThread(testing::Gradient(40, 30), dir / "plain.png");  // not renamed: no note
  }
  EXPECT_TRUE(shown.messages.empty());
  EXPECT_EQ(testing::ReadFileBytes(dir / "photo[1].jpg"),
            (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(testing::ReadWith<TJPEGImage>(dir / "photo[1][1].jpg").Width(), 40);
  EXPECT_EQ(status, (std::vector<std::string>{"Saved as " + (dir / "photo[1][1].jpg")}));
  // Renamed to a free name, it is written there as such.
  std::string written;
  EXPECT_EQ(SaveByExtension(testing::Gradient(4, 3), dir / "new.tif", &written), "");
  EXPECT_EQ(written, dir / "new.jpg");
}

TEST(Saver, TwoSavesToOneNameLeaveOneWholeFile) {
  TempDir dir;
  ManualDispatcher dispatcher;
  Recorded shown;
  Saver saver(dispatcher, shown.Show());
  saver.StartSaveThread(testing::Gradient(300, 200), dir / "same.bmp");
  saver.StartSaveThread(testing::Gradient(200, 300), dir / "same.bmp");
  saver.WaitAll();
  EXPECT_EQ(saver.Pending(), 0);
  EXPECT_TRUE(shown.messages.empty());
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"same.bmp"}));
  const Bitmap b = testing::ReadWith<TBitmap>(dir / "same.bmp");
  EXPECT_TRUE(b == testing::Gradient(300, 200) || b == testing::Gradient(200, 300));
}

TEST(AtomicFile, KeepsTheTargetsPermissionsAndRemovesItsTemporaryOnFailure) {
  TempDir dir;
  testing::WriteFileBytes(dir / "p.bmp", {'o'});
  ::chmod((dir / "p.bmp").c_str(), 0640);
  {
    AtomicFile f(dir / "p.bmp");
    EXPECT_TRUE(Exists(f.TemporaryName()));
    f.Write(reinterpret_cast<const uint8_t*>("new"), 3);
    f.Commit();
  }
  struct stat st {};
  ::stat((dir / "p.bmp").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(testing::ReadFileBytes(dir / "p.bmp"), (std::vector<uint8_t>{'n', 'e', 'w'}));
  std::string temp;
  {
    AtomicFile f(dir / "p.bmp");
    temp = f.TemporaryName();
    f.Write(reinterpret_cast<const uint8_t*>("half"), 4);
  }  // never committed
  EXPECT_FALSE(Exists(temp));
  EXPECT_EQ(testing::ReadFileBytes(dir / "p.bmp"), (std::vector<uint8_t>{'n', 'e', 'w'}));
  // A name at the file system's 255-byte limit still gets a temporary name that fits.
  const std::string longName = dir / (std::string(251, 'x') + ".bmp");
  {
    AtomicFile f(longName);
    f.Write(reinterpret_cast<const uint8_t*>("l"), 1);
    f.Commit();
  }
  EXPECT_EQ(testing::ReadFileBytes(longName), (std::vector<uint8_t>{'l'}));
}

}  // namespace
}  // namespace quendra
