// The real viewer under Xvfb with a window manager (openbox), driven by injected keys: saving
// through Qt's file dialog, capturing, copying to the X clipboard and the editor hand-over.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/loader.h"
#include "desktop/desktop_sandbox.h"
#include "formats/format_table.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/png_object.h"
#include "formats/tbitmap.h"
#include "imaging/rotate.h"
#include "support/image_tools.h"
#include "support/pictures.h"

namespace quendra {
namespace {

using testing::ChildProcess;
using testing::CompareRgb;
using testing::kGuard;
using testing::ReadWith;
using testing::Sandbox;
using testing::ShellQuote;
using testing::TempDir;
using testing::ToRgba;
using testing::XvfbServer;

// Polls a condition until it holds, at most `guard`.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds guard = kGuard) {
  const auto deadline = std::chrono::steady_clock::now() + guard;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Runs an X tool against the test's display; its standard output, trimmed.
std::string X(const std::string& command) {
  std::string out;
  testing::Run(command + " 2>/dev/null", &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The visible window whose title matches, or "".
std::string FindWindow(const std::string& titleRegex) {
  std::string ids = X("xdotool search --onlyvisible --name " + ShellQuote(titleRegex));
  return ids.substr(0, ids.find('\n'));
}

// The picture as the viewer holds it in its normal window, fitted into 557 x 345.
struct Shown {
  Bitmap bitmap;
  TRect rect;
};
Shown LoadAsShown(const std::string& path) {
  TZoomer z;
  z.SetClientSize(557, 345);
  z.SetCenter(true);
  z.SetStretch(true);
  z.SetProportional(true);
  LoadIntoZoomer(z, path);
  return {z.Picture().AsBitmap().Image(), z.CalcDestRect()};
}

class WindowUnderWm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FileFormats();
    // The viewer's editor is a copy of the fake one under a name of its own: other desktop
    // tests running at the same time look for the fake editor's executable machine-wide.
    const std::string editor = Sandbox().root + "/viewer-editor";
    std::filesystem::copy_file(Sandbox().fakeEditor, editor,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(Sandbox().root + "/data/applications/quendra-fake-editor.desktop")
        << "[Desktop Entry]\nType=Application\nName=Fake editor\nExec=" << editor
        << " %f\nMimeType=image/bmp;image/png;\n";
    if (!XvfbServer::Installed() || !testing::HaveCommand("openbox") ||
        !testing::HaveCommand("xdotool") || !testing::HaveCommand("xclip"))
      return;
    server_ = new XvfbServer;
    if (!server_->Start()) return;
    setenv("DISPLAY", server_->Name().c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    // On a busy machine the window manager may take a while, or fail once at start.
    const auto wmUp = [] {
      return X("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
    };
    for (int attempt = 0; attempt < 2 && !wmUp_; ++attempt) {
      delete wm_;
      wm_ = new ChildProcess({"/usr/bin/openbox", "--sm-disable"});
      wmUp_ = Eventually(wmUp, std::chrono::seconds(30));
    }
  }
  static void TearDownTestSuite() {
    delete wm_;
    wm_ = nullptr;
    unsetenv("DISPLAY");
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (server_ == nullptr)
      GTEST_SKIP() << "Xvfb, openbox, xdotool or xclip missing (scripts/setup.sh installs them)";
    ASSERT_TRUE(wmUp_) << "openbox did not come up";
  }
  void TearDown() override {
    // Editors that the viewer started for the hand-over are not our children.
    for (const auto& line : Sandbox().reports->Lines())
      if (line.ends_with(" started")) kill(std::stoi(line), SIGTERM);
  }

  // Starts the viewer on a path (from the folder cwd, when given) and waits for its window.
  void StartViewer(const std::string& path, const std::string& cwd = "") {
    viewer_ = cwd.empty() ? ChildProcess({QUENDRA_VIEWER, path})
                          : ChildProcess({"/bin/sh", "-c",
                                          "cd " + ShellQuote(cwd) + " && exec " +
                                              ShellQuote(QUENDRA_VIEWER) + " " + ShellQuote(path)});
    ASSERT_GT(viewer_.Pid(), 0);
    ASSERT_TRUE(
        Eventually([&] { return !(window_ = FindWindow("^Image Size|^Window size")).empty(); }));
  }
  // Gives the viewer's window the focus and presses keys there.
  void Keys(const std::string& keys) {
    X("xdotool windowactivate --sync " + window_);
    X("xdotool key --clearmodifiers " + keys);
  }
  // Chooses the n-th visible item of the popup menu, opened over the picture.
  void MenuItem(int n) {
    const auto shown = [&] {
      const std::string ids =
          X("xdotool search --onlyvisible --pid " + std::to_string(viewer_.Pid()));
      return std::count(ids.begin(), ids.end(), '\n') >= 1;  // the window and the menu
    };
    X("xdotool windowactivate --sync " + window_);
    X("xdotool mousemove --window " + window_ + " 300 150 click 3");
    ASSERT_TRUE(Eventually(shown)) << "the popup menu did not open";
    std::string keys;
    for (int i = 0; i < n; ++i) keys += " Down";
    X("xdotool key" + keys + " Return");
    ASSERT_TRUE(Eventually([&] { return !shown(); }));
  }
  // Waits for the save dialog, types a name into its name field (unless empty) and confirms.
  void AnswerSaveDialog(const std::string& name) {
    std::string dialog;
    ASSERT_TRUE(Eventually([&] { return !(dialog = FindWindow("^Save$")).empty(); }));
    X("xdotool windowactivate --sync " + dialog);
    if (!name.empty()) X("xdotool key ctrl+a type " + ShellQuote(name));
    X("xdotool key Return");
    ASSERT_TRUE(Eventually([&] { return FindWindow("^Save$").empty(); }));
  }

  static XvfbServer* server_;
  static ChildProcess* wm_;
  static bool wmUp_;
  ChildProcess viewer_;
  std::string window_;
  TempDir dir_;
};
XvfbServer* WindowUnderWm::server_ = nullptr;
ChildProcess* WindowUnderWm::wm_ = nullptr;
bool WindowUnderWm::wmUp_ = false;

TEST_F(WindowUnderWm, SaveCaptureAndCopyTheShownPicture) {
  // Fitted exactly (276 x 345), so every held pixel is drawn once.
  const std::string picture = testing::WriteBmp(dir_, "pic.bmp", 120, 150);
  const Shown shown = LoadAsShown(picture);
  StartViewer(picture);

  // Ctrl+S proposes a free name in the picture's folder; confirmed as it stands.
  Keys("ctrl+s");
  AnswerSaveDialog("");
  ASSERT_TRUE(Eventually([&] { return Exists(dir_ / "pic[1].bmp"); }));
  EXPECT_EQ(
      CompareRgb(ToRgba(ReadWith<TBitmap>(dir_ / "pic[1].bmp")), ToRgba(shown.bitmap)).maxDiff, 0);

  // A name the writers do not know is written as JPEG under ".jpg".
  Keys("ctrl+s");
  AnswerSaveDialog("shot.tif");
  ASSERT_TRUE(Eventually([&] { return Exists(dir_ / "shot.jpg"); }));
  EXPECT_FALSE(Exists(dir_ / "shot.tif"));
  const Bitmap jpeg = ReadWith<TJPEGImage>(dir_ / "shot.jpg");
  EXPECT_EQ(jpeg.Width(), shown.bitmap.Width());
  EXPECT_EQ(jpeg.Height(), shown.bitmap.Height());

  // The capture is the zoomer's whole area: the picture centred on white.
  Keys("ctrl+alt+s");
  AnswerSaveDialog("area.png");
  ASSERT_TRUE(Eventually([&] { return Exists(dir_ / "area.png"); }));
  const testing::RgbaImage area = ToRgba(ReadWith<TPNGObject>(dir_ / "area.png"));
  ASSERT_EQ(area.width, 557);
  ASSERT_EQ(area.height, 345);
  const testing::RgbaImage pic = ToRgba(shown.bitmap);
  int wrong = 0;
  for (int y = 0; y < area.height; ++y)
    for (int x = 0; x < area.width; ++x) {
      const bool inside = x >= shown.rect.Left && x < shown.rect.Right && y >= shown.rect.Top &&
                          y < shown.rect.Bottom;
      const uint8_t white[4] = {255, 255, 255, 255};
      const uint8_t* want = inside ? pic.At(x - shown.rect.Left, y - shown.rect.Top) : white;
      if (!std::equal(want, want + 3, area.At(x, y))) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(shown.rect.Left, 0);  // a tall picture: white on both sides

  // Ctrl+C: the clipboard holds the shown picture, the editor gets Ctrl+V, the window goes.
  Keys("ctrl+c");
  ASSERT_TRUE(Sandbox().reports->WaitFor([](const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string& l) { return l.ends_with(" release Control_L"); });
  })) << "the editor was not handed the paste";
  EXPECT_TRUE(Eventually([&] {
    return X("xprop -id " + window_ + " WM_STATE").find("Iconic") != std::string::npos;
  })) << "the window was not minimised";
  const std::string clip = dir_ / "clip.png";
  std::string png;
  ASSERT_EQ(testing::Run("xclip -selection clipboard -t image/png -o", &png), 0);
  dir_.Write("clip.png", png);
  EXPECT_EQ(CompareRgb(ToRgba(ReadWith<TPNGObject>(clip)), pic).maxDiff, 0);
  EXPECT_NE(X("xclip -selection clipboard -t TARGETS -o").find("image/bmp"), std::string::npos);
}

// A command given at once after a step acts on the picture stepped to, though it was still
// loading: the last picture is large, and far from the preloaded neighbours of the first.
TEST_F(WindowUnderWm, CommandsAtOnceAfterAStepActOnThePictureSteppedTo) {
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) testing::WriteBmp(dir_, name, 120, 150);
  const std::string last = testing::WriteBmp(dir_, "z.bmp", 3000, 2000);
  const std::vector<uint8_t> bytes = testing::ReadFileBytes(last);
  const std::string original(bytes.begin(), bytes.end());
  const Shown shown = LoadAsShown(last);
  StartViewer(dir_.Path());
  MenuItem(5);  // "Allow overwrite": Ctrl+S proposes the shown file itself

  Keys("End ctrl+s");
  AnswerSaveDialog("");
  EXPECT_TRUE(Eventually([&] {
    return CompareRgb(ToRgba(ReadWith<TBitmap>(last)), ToRgba(shown.bitmap)).maxDiff == 0;
  })) << "the file did not get its own picture";

  // A turn at once after the step turns the new picture (saved to see it).
  dir_.Write("z.bmp", original);
  Keys("Home");
  Keys("End Right ctrl+s");
  AnswerSaveDialog("");
  Bitmap turned = shown.bitmap;
  RotateBitmapRight(turned);
  EXPECT_TRUE(Eventually([&] {
    return CompareRgb(ToRgba(ReadWith<TBitmap>(last)), ToRgba(turned)).maxDiff == 0;
  })) << "the turn was lost";

  dir_.Write("z.bmp", original);
  Keys("Home");
  Keys("End ctrl+c");
  ASSERT_TRUE(Eventually(
      [&] { return X("xprop -id " + window_ + " WM_STATE").find("Iconic") != std::string::npos; }));
  std::string png;
  ASSERT_EQ(testing::Run("xclip -selection clipboard -t image/png -o", &png), 0);
  dir_.Write("clip.png", png);
  EXPECT_EQ(
      CompareRgb(ToRgba(ReadWith<TPNGObject>(dir_ / "clip.png")), ToRgba(shown.bitmap)).maxDiff, 0);
}

// The run command of the README, from the project's folder: a relative folder.
TEST_F(WindowUnderWm, StartedOnARelativeFolderSavesNextToTheShownFile) {
  std::filesystem::create_directory(dir_ / "samples");
  const std::string picture = testing::WriteBmp(dir_, "samples/lines.bmp", 120, 150);
  StartViewer("samples", dir_.Path());
  Keys("ctrl+s");
  AnswerSaveDialog("");
  EXPECT_TRUE(Eventually([&] { return Exists(dir_ / "samples/lines[1].bmp"); }));
  EXPECT_FALSE(Exists(dir_ / "samples/samples"));
}

TEST_F(WindowUnderWm, FailedSaveBoxLeavesTheWindowUsableAndEscDuringASaveLeavesTheWholeFile) {
  const std::string picture = testing::WriteBmp(dir_, "big.bmp", 2400, 1800);
  StartViewer(picture);
  // A save that fails says so in a box that leaves the window usable.
  Keys("ctrl+s");
  AnswerSaveDialog("bad.jpe");
  std::string box;
  ASSERT_TRUE(Eventually([&] { return !(box = FindWindow("^Quendra$")).empty(); }));
  // In front of the always-on-top window, where the user sees it.
  EXPECT_TRUE(Eventually([&] {
    return X("xprop -id " + box + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE") !=
           std::string::npos;
  })) << X("xprop -id " + box);
  EXPECT_NE(X("xprop -id " + box + " WM_TRANSIENT_FOR").find(X("printf 0x%x " + window_)),
            std::string::npos);
  const std::string stacking = X("xprop -root _NET_CLIENT_LIST_STACKING");
  ASSERT_NE(stacking.find(X("printf 0x%x " + box)), std::string::npos) << stacking;
  EXPECT_GT(stacking.find(X("printf 0x%x " + box)), stacking.find(X("printf 0x%x " + window_)))
      << stacking;
  Keys("ctrl+f");  // full size, while the box is up: the picture is saved at its own size
  EXPECT_TRUE(
      Eventually([&] { return X("xdotool getwindowname " + window_).starts_with("Window size"); }));
  X("xdotool windowactivate --sync " + box + " key Return");
  ASSERT_TRUE(Eventually([&] { return FindWindow("^Quendra$").empty(); }));
  EXPECT_FALSE(Exists(dir_ / "bad.jpe"));

  Keys("ctrl+s");
  AnswerSaveDialog("big.jp2");
  Keys("Escape");
  const bool stillSaving = !Exists(dir_ / "big.jp2");
  ASSERT_TRUE(viewer_.AwaitExit(std::chrono::seconds(120)));
  const Bitmap saved = ReadWith<TJpeg2000Bitmap>(dir_ / "big.jp2");
  EXPECT_EQ(saved.Width(), 2400);
  EXPECT_EQ(saved.Height(), 1800);
  EXPECT_TRUE(stillSaving) << "the save ended before ESC; the test proved nothing";
}

}  // namespace
}  // namespace quendra
