// Key routing, the popup menu's table, navigation and the slideshow's steps.
#include <gtest/gtest.h>

#include "app/popup_menu.h"
#include "formats/tbitmap.h"
#include "support/pictures.h"
#include "support/test_host.h"

namespace quendra {
namespace {

using testing::TempDir;
using testing::Viewer;
using testing::WriteBmp;

struct Listed : ::testing::Test {
  TempDir dir;
  Viewer v;
  void SetUp() override {
    for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) WriteBmp(dir, n, 40, 30);
    v.form.FormCreate({dir.Path()}, "/x/q");
  }
  int Index() const { return v.form.FileList.ItemIndex(); }
};

TEST(PopupMenu, TableHoldsEveryCommandWithItsCodeAndVisibility) {
  struct Row {
    const char* name;
    const char* caption;
    uint16_t code;
    bool shown;
  };
  const Row want[] = {{"ROTATERIGHT1", "Rotate image right", 39, false},
                      {"ROTATELEFT1", "Rotate image left", 37, false},
                      {"DOMENU1", "Show/hide file list", 32, false},
                      {"Register1", "Register", 0, true},
                      {"Help1", "Key reminder", 0, true},
                      {"COPY1", "Copy image", 16451, true},
                      {"Capture1", "Capture && copy image", 49219, true},
                      {"Allow", "Allow overwrite", 0, true},
                      {"SAVE1", "Save image ", 16467, true},
                      {"CaptureSave1", "Capture && save image", 49235, true},
                      {"SHOWMAX1", "Go up to next mode", 16422, false},
                      {"SHOWRESTORE1", "Go down to next mode", 16424, false},
                      {"GOHOME1", "Go start of file list", 36, false},
                      {"GOEND1", "Go end of file list", 35, false},
                      {"REFRESH1", "Refresh list", 16466, true},
                      {"SHOWTIME1", "Showtime", 16471, true},
                      {"N1", "-", 0, true},
                      {"EXIT1", "EXIT", 27, true},
                      {"FullSize1", "FullSize", 16454, false}};
  ASSERT_EQ(kPopupMenu.size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    EXPECT_EQ(kPopupMenu[i].name, want[i].name);
    EXPECT_EQ(kPopupMenu[i].caption, want[i].caption);
    EXPECT_EQ(kPopupMenu[i].shortcut, want[i].code) << want[i].name;
    EXPECT_EQ(kPopupMenu[i].visible, want[i].shown) << want[i].name;
  }
  EXPECT_EQ(ShortCut('S', {.ctrl = true, .alt = true}), 49235);
  EXPECT_EQ(FindShortcut(VK_DOWN), nullptr);
}

TEST_F(Listed, UpAndDownMoveTheSelectionWithoutWrapping) {
  v.form.KeyDown(VK_UP, {});
  EXPECT_EQ(Index(), 0);
  v.form.KeyDown(VK_DOWN, {});
  v.form.KeyDown(VK_DOWN, {});
  EXPECT_EQ(Index(), 2);
  EXPECT_EQ(v.host.status, "[3/3] c.bmp");
  v.form.KeyDown(VK_DOWN, {});
  EXPECT_EQ(Index(), 2);
  // Without the list's focus the list's own handling never runs.
  v.host.listFocused = false;
  v.form.KeyDown(VK_UP, {});
  EXPECT_EQ(Index(), 2);
}

TEST_F(Listed, LettersAndCtrlArrowsDoNotMoveTheList) {
  v.form.KeyDown('C', {});
  v.form.KeyDown('Z', {.shift = true});
  v.form.KeyDown(VK_DOWN, {.shift = true});  // SHIFT does not stop the list
  EXPECT_EQ(Index(), 1);
  v.form.KeyDown(VK_DOWN, {.ctrl = true});  // CTRL+DOWN is a menu command, not a step
  EXPECT_EQ(Index(), 1);
}

TEST_F(Listed, MenuShortcutsComeFirstHiddenOnesIncluded) {
  v.form.KeyDown(VK_END, {});
  EXPECT_EQ(Index(), 2);
  v.form.KeyDown(VK_HOME, {});
  EXPECT_EQ(Index(), 0);
  v.form.KeyDown(VK_SPACE, {});
  EXPECT_EQ(v.host.panelWidth, 200);
  v.form.KeyDown(VK_ESCAPE, {});
  EXPECT_TRUE(v.host.closed);
}

TEST_F(Listed, EnterHandsTheFileOverThenMinimises) {
  v.form.KeyDown(VK_RETURN, {});
  v.form.KeyDown(VK_RETURN, {.ctrl = true});
  EXPECT_EQ(v.host.opened, std::vector<std::string>{dir / "a.bmp"});
  EXPECT_EQ(v.host.shownInFileManager, std::vector<std::string>{dir / "a.bmp"});
  EXPECT_EQ(v.host.calls, (std::vector<std::string>{"minimize", "minimize"}));
}

TEST(Keys, WithNothingShownEnterAndPagingDoNothing) {
  Viewer v;
  v.form.KeyDown(VK_RETURN, {});
  v.form.KeyDown(VK_PRIOR, {});
  EXPECT_TRUE(v.host.opened.empty());
  EXPECT_TRUE(v.host.calls.empty());
  v.form.KeyDown(VK_HOME, {});
  v.form.KeyDown(VK_END, {});
  v.form.KeyDown('W', {.ctrl = true});  // empty list: no slideshow
  EXPECT_FALSE(v.form.Timer.Enabled());
  EXPECT_EQ(v.host.caption, "Viewer");
}

TEST_F(Listed, SlideshowShowsItsIntervalAndPagingKeepsTheFloor) {
  v.form.KeyDown(VK_PRIOR, {});  // off: nothing
  EXPECT_EQ(v.form.Timer.Interval(), 3000u);
  v.form.KeyDown('W', {.ctrl = true});
  ASSERT_TRUE(v.form.Timer.Enabled());
  EXPECT_EQ(v.host.caption, "Image Size - 460 x 345 [3]");
  v.form.KeyDown(VK_PRIOR, {});
  v.form.KeyDown(VK_PRIOR, {});
  v.form.KeyDown(VK_PRIOR, {});
  EXPECT_EQ(v.form.Timer.Interval(), 1000u);
  EXPECT_EQ(Index(), 0);  // paging never moves the list
  v.form.KeyDown(VK_NEXT, {});
  EXPECT_EQ(v.form.Timer.Interval(), 2000u);
  EXPECT_NE(v.host.caption.find("[2]"), std::string::npos);
  v.form.Timer.SetInterval(2500);
  v.form.KeyDown('Q', {});  // any key refreshes the caption
  EXPECT_NE(v.host.caption.find("[2]"), std::string::npos);
  v.form.KeyDown('W', {.ctrl = true});
  EXPECT_EQ(v.host.caption.find('['), std::string::npos);
}

TEST_F(Listed, SlideshowTicksWrapFromTheLastToTheFirst) {
  v.form.GOEND1Click();
  v.form.TimerTimer();
  EXPECT_EQ(Index(), 0);
  v.form.TimerTimer();
  EXPECT_EQ(Index(), 1);
  // An emptied list: ticks change nothing.
  v.form.FileList.Clear();
  std::string shown = v.form.CurrentFile;
  v.form.TimerTimer();
  EXPECT_EQ(v.form.CurrentFile, shown);
}

TEST_F(Listed, ATickServedDuringAModeChangeIsDropped) {
  v.form.KeyDown('W', {.ctrl = true});
  v.host.duringFade = [&] { v.form.TimerTimer(); };
  v.form.KeyDown(VK_UP, {.ctrl = true});
  EXPECT_EQ(Index(), 0);
  EXPECT_EQ(v.host.calls, (std::vector<std::string>{"fade", "maximize"}));
  v.form.TimerTimer();  // afterwards ticks step again
  EXPECT_EQ(Index(), 1);
}

TEST_F(Listed, WheelZoomsOnlyInTheFullSizeModes) {
  v.form.TntFormMouseWheel({}, 120);
  EXPECT_EQ(v.form.IMG.ZoomPercent(), 100);
  v.form.FullSize1Click();
  v.form.TntFormMouseWheel({}, 120);
  v.form.TntFormMouseWheel({.ctrl = true}, -120);
  EXPECT_EQ(v.form.IMG.ZoomPercent(), 109);
  EXPECT_EQ(v.host.caption, "Window size - 557 x 345 (44 x 33)  109%");
  // Stepping to another file in a full-size mode resets the zoom and offsets.
  v.form.KeyDown(VK_DOWN, {});
  EXPECT_EQ(v.form.IMG.ZoomPercent(), 100);
  // A double click does not.
  v.form.IMG.SetZoomPercent(150);
  v.form.FileListDblClick();
  EXPECT_EQ(v.form.IMG.ZoomPercent(), 150);
}

TEST(Keys, KeyReminderIsSeventeenLinesAndABlankOne) {
  Viewer v;
  v.form.Help1Click();
  ASSERT_EQ(v.host.messages.size(), 1u);
  const auto& [text, caption] = v.host.messages[0];
  EXPECT_EQ(caption, "Quendra");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 18);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_EQ(text.substr(0, 41), "UP/DOWN traverse the internal file list.\n");
  EXPECT_NE(text.find("being used.  Note: current"), std::string::npos);
}

TEST(Keys, AHandlerFailureBecomesAMessageBoxAndTheProgramGoesOn) {
  Viewer v;
  v.form.Guarded([] { throw std::runtime_error("Disk on fire"); });
  ASSERT_EQ(v.host.messages.size(), 1u);
  EXPECT_EQ(v.host.messages[0], (std::pair<std::string, std::string>{"Disk on fire", "Quendra"}));
}

}  // namespace
}  // namespace quendra
