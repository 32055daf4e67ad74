#include "shell/editor_file_handover.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>

#include "formats/tbitmap.h"
#include "support/image_tools.h"
#include "support/temp_dir.h"

namespace quendra {
namespace {

struct RecordingLauncher : ProgramLauncher {
  bool succeeds = true;
  std::vector<std::string> files;
  bool StartExecutable(const std::string&) override { return false; }
  std::optional<ProcessId> StartApplicationWithFile(const DesktopApplication&,
                                                    const std::string& path) override {
    files.push_back(path);
    return succeeds ? std::optional<ProcessId>(1) : std::nullopt;
  }
  void OpenInDefaultApplication(const std::string&) override {}
  void ShowInFileManager(const std::string&) override {}
};

TEST(EditorFileHandover, OnlyEditorsThatCannotPasteTheClipboardGetAFile) {
  EXPECT_TRUE(TakesPictureAsFile({"/usr/bin/gimp-2.10", "gimp.desktop", ""}));
  EXPECT_TRUE(TakesPictureAsFile({"/usr/bin/mtpaint", "", ""}));
  EXPECT_TRUE(TakesPictureAsFile({"", "org.gimp.GIMP.desktop", ""}));  // the Flatpak
  EXPECT_FALSE(TakesPictureAsFile({"/usr/bin/kolourpaint", "org.kde.kolourpaint.desktop", ""}));
  EXPECT_FALSE(TakesPictureAsFile({}));
}

// The editor is started on a BMP of exactly the copied picture, in a private cache folder;
// day-old copies go, today's stay (the editor may still have one open), and a file the
// editor could not be started on is not left behind.
TEST(EditorFileHandover, TheEditorOpensACopyInTheUsersCacheFolder) {
  testing::TempDir home;
  setenv("XDG_CACHE_HOME", home.Path().c_str(), 1);
  const std::string folder = home / "quendra";
  std::filesystem::create_directories(folder);
  const std::string old = folder + "/picture-1-1-0.bmp";
  home.Write("quendra/picture-1-1-0.bmp", "old");
  home.Write("quendra/picture-2-1-0.bmp", "recent");
  home.Write("quendra/notes.txt", "mine");
  const utimbuf dayAgo{::time(nullptr) - 2 * 86400, ::time(nullptr) - 2 * 86400};
  ::utime(old.c_str(), &dayAgo);
  ::utime((folder + "/notes.txt").c_str(), &dayAgo);

  Bitmap picture(7, 5, PixelFormat::pf24bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 21; ++x) picture.Row(y)[x] = uint8_t(x * 12 + y * 40);
  RecordingLauncher launcher;
  ASSERT_TRUE(OpenInEditorAsFile({"/usr/bin/mtpaint", "", ""}, picture, launcher));
  ASSERT_EQ(launcher.files.size(), 1u);
  const std::string& file = launcher.files[0];
  EXPECT_EQ(file.rfind(folder + "/", 0), 0u);
  EXPECT_EQ(testing::ReadWith<TBitmap>(file).Row(4)[20], picture.Row(4)[20]);
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_FALSE(std::filesystem::exists(old));
  EXPECT_TRUE(std::filesystem::exists(folder + "/picture-2-1-0.bmp"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/notes.txt"));

  launcher.succeeds = false;
  EXPECT_FALSE(OpenInEditorAsFile({"/usr/bin/mtpaint", "", ""}, picture, launcher));
  ASSERT_EQ(launcher.files.size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(launcher.files[1]));
  unsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace quendra
