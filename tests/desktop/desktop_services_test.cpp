#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "desktop/desktop_sandbox.h"
#include "platform/linux/desktop_launcher.h"
#include "platform/linux/gio_associations.h"
#include "platform/linux/proc_processes.h"
#include "shell/window_processes.h"

namespace quendra {
namespace {

using desktop::DesktopLauncher;
using testing::ChildProcess;
using testing::Sandbox;
namespace fs = std::filesystem;

// Whether some fake application reported exactly `line` (after its process id).
bool Reported(const std::vector<std::string>& lines, const std::string& line) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
    const auto space = l.find(' ');
    return space != std::string::npos && l.substr(space + 1) == line;
  });
}

bool AwaitReport(const std::string& line) {
  return Sandbox().reports->WaitFor([&](const auto& lines) { return Reported(lines, line); });
}

TEST(GioAssociations, BitmapEditorIsTheDefaultApplicationsExecutableByFullPath) {
  desktop::GioAssociations associations;
  EXPECT_EQ(associations.GetAssociatedExecutable(".bmp"), Sandbox().fakeEditor);
  EXPECT_EQ(associations.GetAssociatedExecutable(".png"), Sandbox().fakeEditor);
  EXPECT_EQ(associations.GetAssociatedExecutable(".quendra-unknown"), "");
}

TEST(FindProcessByExecutable, MatchesFullPathOrNameIgnoringCaseOnly) {
  const fs::path dir = fs::path(Sandbox().root) / "Bin Dir";
  fs::create_directories(dir);
  const std::string exe = (dir / "QSleeper").string();
  fs::copy_file("/bin/sleep", exe);
  ChildProcess child({exe, "60"});
  ASSERT_GT(child.Pid(), 0);
  const auto pid = static_cast<ProcessId>(child.Pid());
  // posix_spawn returns once the child has run exec: /proc already shows the new program.
  const std::string upper = UpperCase(exe);
  std::string mixed = exe;
  std::transform(mixed.begin(), mixed.end(), mixed.begin(), [](char c) { return std::tolower(c); });

  EXPECT_EQ(desktop::FindProcessByExecutableIn("/proc", "qsleeper"), pid);  // by its name
  EXPECT_EQ(desktop::FindProcessByExecutableIn("/proc", upper), pid);
  EXPECT_EQ(desktop::FindProcessByExecutableIn("/proc", mixed), pid);
  const std::string doubled = Sandbox().root + "//Bin Dir/QSleeper";
  EXPECT_NE(desktop::FindProcessByExecutableIn("/proc", doubled), pid);  // no normalising
  EXPECT_NE(desktop::FindProcessByExecutableIn("/proc", "Bin Dir/QSleeper"), pid);
  EXPECT_EQ(desktop::FindProcessByExecutableIn("/proc", Sandbox().root + "/nothing-runs-this"), 0u);
  EXPECT_EQ(desktop::FindProcessByExecutableIn(Sandbox().root + "/no-proc", exe), 0u);

  // A program whose file was replaced while it runs is still found by its path.
  fs::remove(exe);
  EXPECT_EQ(desktop::FindProcessByExecutableIn("/proc", exe), pid);
}

TEST(DesktopLauncher, PathsReachProgramsVerbatimWithoutAShell) {
  const std::string root = Sandbox().root;
  // Names a shell would split, expand or run.
  const std::string odd = root + "/it's a \"test\" $(touch pwned) `touch pwned`;touch pwned";
  fs::create_directories(odd);

  // Starting an executable: the path is the program, not a command line.
  const std::string program = odd + "/editor & touch pwned";
  fs::copy_file(Sandbox().fakeEditor, program);
  EXPECT_TRUE(DesktopLauncher().StartExecutable(program));
  EXPECT_FALSE(DesktopLauncher().StartExecutable(root + "/missing editor"));
  EXPECT_FALSE(DesktopLauncher().StartExecutable(""));

  // Opening a document: the default application gets the path as one argument.
  const std::string picture = odd + "/#1 100% 'x'.png";
  std::ofstream(picture) << "\x89PNG\r\n\x1a\n";
  DesktopLauncher().OpenInDefaultApplication(picture);
  EXPECT_TRUE(AwaitReport("argv " + picture));

  // No file manager on the bus: its folder is opened instead.
  DesktopLauncher().ShowInFileManager(picture);
  EXPECT_TRUE(AwaitReport("argv " + odd));

  // The started program reported too (with no argument); nothing ran the embedded commands.
  EXPECT_TRUE(Sandbox().reports->WaitFor([](const auto& lines) {
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.ends_with(" started"); }) >= 3;
  }));
  EXPECT_FALSE(fs::exists(root + "/pwned"));
  EXPECT_FALSE(fs::exists(odd + "/pwned"));
}

TEST(DesktopLauncher, FileUrisEscapeWhatUrisReserve) {
  EXPECT_EQ(DesktopLauncher::FileUri("/a b/#1 100%.png"), "file:///a%20b/%231%20100%25.png");
  EXPECT_EQ(DesktopLauncher::FileUri("/p\xff.jpg"), "file:///p%FF.jpg");  // not UTF-8: bytes kept
}

}  // namespace
}  // namespace quendra
