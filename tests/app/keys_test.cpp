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

// The menu shown on a right click: its visible items in order.
TEST(PopupMenu, ShowsItsVisibleItemsInOrder) {
  std::vector<std::string_view> shown;
  for (const MenuItem& item : kPopupMenu)
    if (item.visible) shown.push_back(item.caption);
  EXPECT_EQ(shown, (std::vector<std::string_view>{"Register", "Key reminder", "Copy image",
                                                  "Capture && copy image", "Allow overwrite",
                                                  "Save image ", "Capture && save image",
                                                  "Refresh list", "Showtime", "-", "EXIT"}));
  EXPECT_EQ(FindShortcut(VK_DOWN), nullptr);
}

// What the window shows when the menu opens: the captions as they are now, the shortcuts' text
// and the check mark of "Allow overwrite".
TEST_F(Listed, TheShownMenuFollowsTheFormsState) {
  auto line = [&](std::string_view name) {
    for (const MenuLine& l : VisibleMenu(v.form))
      if (l.item->name == name) return l;
    ADD_FAILURE() << name << " is not shown";
    return MenuLine{};
  };
  EXPECT_EQ(VisibleMenu(v.form).size(), 11u);
  EXPECT_EQ(line("Capture1").shortcut, "Ctrl+Alt+C");
  EXPECT_EQ(line("SAVE1").shortcut, "Ctrl+S");
  EXPECT_EQ(line("EXIT1").shortcut, "Esc");
  EXPECT_EQ(line("Help1").shortcut, "");
  EXPECT_TRUE(line("Allow").checkable);
  EXPECT_FALSE(line("SAVE1").checkable);
  EXPECT_FALSE(line("Allow").checked);
  v.form.AllowClick();
  EXPECT_TRUE(line("Allow").checked);
  v.form.Register1Caption = "Remove from context menu";
  EXPECT_EQ(line("Register1").caption, "Remove from context menu");
  EXPECT_EQ(line("COPY1").caption, "Copy image");
}

// Each shortcut, pressed as a key, runs its own command (hidden ones included).
TEST_F(Listed, EveryShortcutRunsItsOwnCommand) {
  auto shown = [&] { return dynamic_cast<TBitmap&>(*v.form.IMG.Picture().Graphic()).Image(); };
  const Bitmap upright = shown();
  const int w = upright.Width(), h = upright.Height();
  v.form.KeyDown(VK_RIGHT, {});  // clockwise: the bottom-left corner comes to the top left
  EXPECT_EQ(shown().PixelColor(0, 0), upright.PixelColor(0, h - 1));
  EXPECT_EQ(shown().PixelColor(h - 1, 0), upright.PixelColor(0, 0));
  v.form.KeyDown(VK_LEFT, {});
  v.form.KeyDown(VK_LEFT, {});  // anticlockwise: the top-right corner comes to the top left
  EXPECT_EQ(shown().PixelColor(0, 0), upright.PixelColor(w - 1, 0));
  v.form.KeyDown(VK_SPACE, {});
  EXPECT_EQ(v.host.panelWidth, 200);
  v.form.KeyDown('W', {.ctrl = true});
  EXPECT_TRUE(v.form.Timer.Enabled());
  v.form.KeyDown('W', {.ctrl = true});
  WriteBmp(dir, "0.bmp", 10, 10);
  v.form.KeyDown('R', {.ctrl = true});
  EXPECT_EQ(v.host.status, "[2/4] a.bmp");  // refreshed: the new file listed first
  v.form.KeyDown('F', {.ctrl = true});
  EXPECT_FALSE(v.form.IMG.Proportional());
  v.form.KeyDown(VK_UP, {.ctrl = true});
  v.form.KeyDown(VK_DOWN, {.ctrl = true});
  v.form.KeyDown(VK_DOWN, {.ctrl = true});
  EXPECT_EQ(v.host.calls, (std::vector<std::string>{"fade", "maximize", "hide", "restore"}));
  EXPECT_FALSE(v.host.closed);
  v.form.KeyDown(VK_ESCAPE, {});
  EXPECT_TRUE(v.host.closed);
  // The same keys with other modifiers are not the shortcuts.
  EXPECT_EQ(FindShortcut(ShortCut('R', {})), nullptr);
  EXPECT_EQ(FindShortcut(ShortCut('C', {.ctrl = true, .alt = true}))->name, "Capture1");
  EXPECT_EQ(FindShortcut(ShortCut('S', {.ctrl = true}))->name, "SAVE1");
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
  // Any key refreshes the caption, not only the paging keys.
  v.form.Timer.SetInterval(5500);
  v.form.KeyDown('Q', {});
  EXPECT_NE(v.host.caption.find("[5]"), std::string::npos);
  v.form.Timer.SetInterval(7000);
  v.form.KeyDown(VK_DOWN, {});
  EXPECT_NE(v.host.caption.find("[7]"), std::string::npos);
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
  // A double click does not; it closes the list and shows the picture in the wider area.
  v.form.DOMENU1Click();
  v.form.IMG.SetZoomPercent(150);
  v.form.FileListDblClick();
  EXPECT_EQ(v.form.IMG.ZoomPercent(), 150);
  EXPECT_EQ(v.host.panelWidth, 1);
  EXPECT_EQ(v.host.caption, "Window size - 557 x 345 (60 x 45)  150%");
}

TEST(Keys, KeyReminderListsEveryKey) {
  Viewer v;
  v.form.Help1Click();
  ASSERT_EQ(v.host.messages.size(), 1u);
  const auto& [text, caption] = v.host.messages[0];
  EXPECT_EQ(caption, "Quendra");
  const char* lines[] = {
      "UP/DOWN traverse the internal file list.",
      "CTRL+UP move up to the next view mode.",
      "CTRL+DOWN move down to the next view mode.",
      "RIGHT/LEFT rotate image.",
      "SPACEBAR open or close the file list.",
      "HOME set filelist index to the first item.",
      "END set filelist index to the last item.",
      "CTRL+C copy current image to clipboard.",
      "CTRL+ALT+C capture crop area if created or window and copy to clipboard.",
      "CTRL+S open file save dialog for current image.",
      "CTRL+ALT+S capture crop area if created or window and open file save dialog.",
      "CTRL+R refresh file list.",
      "CTRL+F show full sized image when in resizeable mode.",
      "CTRL+W showtime - initial interval set to 3 seconds.",
      "PAGE UP/PAGE DOWN adjust interval when showtime is being used.  Note: current interval "
      "shown in square brackets in caption when showtime running.",
      "ENTER open current image file in the default graphic application.",
      "CTRL+ENTER open explorer with current image file selected."};
  std::string want;
  for (const char* line : lines) want += std::string(line) + "\n";
  EXPECT_EQ(text, want + "\n");
}

TEST(Keys, AHandlerFailureBecomesAMessageBoxAndTheProgramGoesOn) {
  Viewer v;
  v.form.Guarded([] { throw std::runtime_error("Disk on fire"); });
  ASSERT_EQ(v.host.messages.size(), 1u);
  EXPECT_EQ(v.host.messages[0], (std::pair<std::string, std::string>{"Disk on fire", "Quendra"}));
}

}  // namespace
}  // namespace quendra
