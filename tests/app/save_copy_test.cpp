// Saving, capturing and copying the picture: what reaches the save dialog, the save service
// and the clipboard, and in which order the hand-over to the editor happens.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "formats/tbitmap.h"
#include "imaging/resample.h"
#include "saving/save_naming.h"
#include "support/pictures.h"
#include "support/test_host.h"

namespace quendra {
namespace {

using testing::TempDir;
using testing::Viewer;
using testing::WriteBmp;

constexpr ShiftState kCtrl{.ctrl = true}, kCtrlAlt{.ctrl = true, .alt = true};
using Calls = std::vector<std::string>;

const Bitmap& Held(Viewer& v) {
  return dynamic_cast<TBitmap&>(*v.form.IMG.Picture().Graphic()).Image();
}

TEST(UniqueFileName, NumbersBeforeTheExtensionSkippingTakenNamesButNotFolders) {
  TempDir dir;
  EXPECT_EQ(UniqueFileName(dir / "photo.jpg"), dir / "photo.jpg");  // free: itself
  dir.Write("photo.jpg", "x");
  EXPECT_EQ(UniqueFileName(dir / "photo.jpg"), dir / "photo[1].jpg");
  dir.Write("photo[1].jpg", "x");
  EXPECT_EQ(UniqueFileName(dir / "photo.jpg"), dir / "photo[2].jpg");  // formed from the path
  // A folder of the candidate's name is not a file.
  ::mkdir((dir / "photo[2].jpg").c_str(), 0700);
  EXPECT_EQ(UniqueFileName(dir / "photo.jpg"), dir / "photo[2].jpg");
  TempDir other;
  other.Write("photo.jpg", "x");
  ::mkdir((other / "photo[1].jpg").c_str(), 0700);
  EXPECT_EQ(UniqueFileName(other / "photo.jpg"), other / "photo[1].jpg");
  ::mkdir((dir / "shot.png").c_str(), 0700);
  EXPECT_EQ(UniqueFileName(dir / "shot.png"), dir / "shot.png");
  // No extension: appended; a dot in a folder's name is no extension.
  ::mkdir((dir / "a.b").c_str(), 0700);
  dir.Write("a.b/photo", "x");
  EXPECT_EQ(UniqueFileName(dir / "a.b/photo"), dir / "a.b/photo[1]");
  EXPECT_EQ(UniqueFileName(""), "");
}

struct Saving : ::testing::Test {
  TempDir dir;
  Viewer v;
  void Open(int w, int h) { v.form.FormCreate({WriteBmp(dir, "photo.bmp", w, h)}, "/x/q"); }
};

// The fallback picture stands for a file that failed to load: it is neither saved over that file
// nor copied; what the window shows can still be captured.
TEST_F(Saving, TheFallbackPictureIsNeitherSavedNorCopiedButCaptured) {
  dir.Write("broken.bmp", "BM not a bitmap");
  v.form.FormCreate({dir / "broken.bmp"}, "/x/q");
  ASSERT_TRUE(v.form.ShowingFallback());
  v.form.AllowClick();
  v.host.saveAnswers = {dir / "broken.bmp"};
  v.form.KeyDown('S', kCtrl);
  v.form.KeyDown('C', kCtrl);
  EXPECT_TRUE(v.host.saveDialogs.empty());
  EXPECT_TRUE(v.host.saves.empty());
  EXPECT_TRUE(v.host.clipboard.empty());
  v.form.KeyDown('C', kCtrlAlt);
  EXPECT_EQ(v.host.clipboard.size(), 1u);
  // A picture that loads is its own again.
  v.form.FilesDropped({WriteBmp(dir, "good.bmp", 8, 6)});
  EXPECT_FALSE(v.form.ShowingFallback());
  v.form.KeyDown('S', kCtrl);
  EXPECT_EQ(v.host.saveDialogs.size(), 1u);
}

TEST_F(Saving, SaveProposesAFreeNameInThePicturesFolderAndSavesTheFittedPicture) {
  Open(40, 30);
  v.host.saveAnswers = {dir / "out.png"};
  v.form.KeyDown('S', kCtrl);
  ASSERT_EQ(v.host.saveDialogs.size(), 1u);
  const TSavePictureDialog& d = v.host.saveDialogs[0];
  EXPECT_EQ(d.Title, "Save");
  EXPECT_EQ(d.DefaultExt, "jpg");
  EXPECT_FALSE(d.OverwritePrompt);
  EXPECT_EQ(d.InitialDir, dir.Path());
  EXPECT_EQ(d.FileName, dir / "photo[1].bmp");
  EXPECT_EQ(d.FilterIndex, 1);
  ASSERT_EQ(d.Filter.size(), 8u);
  EXPECT_EQ(d.Filter[0].description, "Graphic Files(*.jpg;*.png;*.bmp;*.jp2;*.tga;*.gif;*.emf}");
  EXPECT_EQ(d.Filter[0].patterns, "*.jpg;*.png;*.bmp;*.jp2;*.tga;*.gif;*.emf");
  EXPECT_EQ(d.Filter[2].description, "Portable Networks Graphic (*.png)");
  EXPECT_EQ(d.Filter[7].description, "Enhanced Metafile (*.emf)");
  EXPECT_EQ(d.Filter[7].patterns, "*.emf");

  ASSERT_EQ(v.host.saves.size(), 1u);
  EXPECT_EQ(v.host.saves[0].fileName, dir / "out.png");
  EXPECT_EQ(v.host.saves[0].bitmap, Held(v));  // fitted: the held bitmap is the displayed one

  // "Allow overwrite" proposes the shown file itself; a cancelled dialog saves nothing.
  v.form.AllowClick();
  v.form.KeyDown('S', kCtrl);
  EXPECT_EQ(v.host.saveDialogs.back().FileName, dir / "photo.bmp");
  EXPECT_EQ(v.host.saves.size(), 1u);
}

TEST_F(Saving, FullSizeSavesAtTheDisplayedSizeWhenZoomedElseAsHeld) {
  Open(400, 300);
  v.form.FullSize1Click();
  v.host.saveAnswers = {"/t/a.jpg", "/t/b.jpg", "/t/c.jpg"};
  v.form.SAVE1Click();
  EXPECT_EQ(v.host.saves[0].bitmap, Held(v));  // 400 x 300 in the reader's own format
  EXPECT_EQ(v.host.saves[0].bitmap.Format(), PixelFormat::pf24bit);

  v.form.IMG.SetZoomPercent(150);
  v.form.SAVE1Click();
  const Bitmap& zoomed = v.host.saves[1].bitmap;
  EXPECT_EQ(zoomed, Resampled(Held(v), 600, 450));

  v.form.IMG.SetZoomPercent(100);
  v.form.ROTATERIGHT1Click();
  v.form.SAVE1Click();
  EXPECT_EQ(v.host.saves[2].bitmap.Width(), 300);
  EXPECT_EQ(v.host.saves[2].bitmap, Held(v));  // the turned picture
}

TEST_F(Saving, TheFilterIndexIsRememberedAndTheCaptureAlwaysStartsAtOne) {
  Open(40, 30);
  v.host.chosenFilterIndex = 3;
  v.host.saveAnswers = {"/t/a.png", std::nullopt, std::nullopt, std::nullopt};
  v.form.SAVE1Click();
  v.form.SAVE1Click();  // the user's last choice, though this one is cancelled
  EXPECT_EQ(v.host.saveDialogs[1].FilterIndex, 3);
  v.form.CaptureSave1Click();
  EXPECT_EQ(v.host.saveDialogs[2].FilterIndex, 1);
  EXPECT_EQ(v.host.saveDialogs[2].FileName, "");
  EXPECT_EQ(v.host.saveDialogs[2].InitialDir, dir.Path());
  v.form.SAVE1Click();
  EXPECT_EQ(v.host.saveDialogs[3].FilterIndex, 1);
  EXPECT_EQ(v.host.saves.size(), 1u);
}

TEST(SaveCommands, WithNothingLoadedSaveDoesNothingAndCaptureSavesTheEmptyArea) {
  Viewer v;
  v.form.KeyDown('S', kCtrl);
  EXPECT_TRUE(v.host.saveDialogs.empty());
  EXPECT_TRUE(v.host.calls.empty());

  v.host.saveAnswers = {"/t/area.tga"};
  v.form.KeyDown('S', kCtrlAlt);
  ASSERT_EQ(v.host.saveDialogs.size(), 1u);
  EXPECT_EQ(v.host.saveDialogs[0].InitialDir, "");
  EXPECT_EQ(v.host.saveDialogs[0].FileName, "");
  EXPECT_EQ(v.host.calls, Calls{"capture"});
  ASSERT_EQ(v.host.saves.size(), 1u);
  const Bitmap& area = v.host.saves[0].bitmap;
  EXPECT_EQ(area.Format(), PixelFormat::pf32bit);
  EXPECT_EQ(area.Width(), 557);
  EXPECT_EQ(area.Height(), 345);
  EXPECT_EQ(area.PixelColor(556, 344), (RGBQuad{10, 20, 30, 0}));
  EXPECT_EQ(v.host.saves[0].fileName, "/t/area.tga");
}

TEST_F(Saving, CopyFillsTheClipboardThenPastesThenMinimises) {
  Open(200, 100);
  v.form.KeyDown('C', kCtrl);
  EXPECT_EQ(v.host.calls, (Calls{"clipboard", "paste", "minimize"}));
  ASSERT_EQ(v.host.clipboard.size(), 1u);
  EXPECT_EQ(v.host.clipboard[0], Held(v));  // fitted: at the displayed size

  v.form.FullSize1Click();
  v.form.IMG.SetZoomPercent(250);
  v.form.KeyDown('C', kCtrl);
  EXPECT_EQ(v.host.clipboard[1], Resampled(Held(v), 500, 250));

  v.host.calls.clear();
  v.host.shown = {1, 2, 3, 0};
  v.form.KeyDown('C', kCtrlAlt);
  EXPECT_EQ(v.host.calls, (Calls{"capture", "clipboard", "paste", "minimize"}));
  EXPECT_EQ(v.host.clipboard[2].Width(), 557);
  EXPECT_EQ(v.host.clipboard[2].PixelColor(0, 0), (RGBQuad{1, 2, 3, 0}));
}

// Where only the user may paste (native Wayland), the window stays and says so.
TEST_F(Saving, CopyWhereTheUserMustPasteKeepsTheWindowAndSaysSo) {
  Open(200, 100);
  v.host.pasteRoute = ShellHost::Paste::kByUser;
  for (ShiftState s : {kCtrl, kCtrlAlt}) {
    v.host.calls.clear();
    v.host.status.clear();
    v.form.KeyDown('C', s);
    EXPECT_EQ(v.host.calls.back(), "paste");
    EXPECT_FALSE(v.host.minimized);
    EXPECT_EQ(v.host.status, kPasteYourselfNote);
  }
  EXPECT_EQ(v.host.clipboard.size(), 2u);
}

TEST(CopyCommands, NothingLoadedCopyDoesNothingCaptureStillCopies) {
  Viewer v;
  v.form.KeyDown('C', kCtrl);
  EXPECT_TRUE(v.host.calls.empty());
  v.form.KeyDown('C', kCtrlAlt);
  EXPECT_EQ(v.host.calls, (Calls{"capture", "clipboard", "paste", "minimize"}));
  EXPECT_EQ(v.host.clipboard.at(0).Height(), 345);
}

TEST_F(Saving, AClipboardThatCannotBeTakenStopsTheCommandWithAMessage) {
  Open(40, 30);
  v.host.clipboardAvailable = false;
  for (ShiftState s : {kCtrl, kCtrlAlt}) {
    v.host.calls.clear();
    v.form.Guarded([&] { v.form.KeyDown('C', s); });
    EXPECT_EQ(v.host.calls.back(), "clipboard");  // no paste, no minimising
    EXPECT_FALSE(v.host.minimized);
  }
  ASSERT_EQ(v.host.messages.size(), 2u);
  EXPECT_EQ(v.host.messages[0],
            (std::pair<std::string, std::string>{"Cannot open clipboard", "Quendra"}));
}

}  // namespace
}  // namespace quendra
