// View modes and the caption, list width, dragging and quarter turns.
#include <gtest/gtest.h>

#include "formats/tbitmap.h"
#include "imaging/rotate.h"
#include "support/pictures.h"
#include "support/test_host.h"

namespace quendra {
namespace {

using testing::TempDir;
using testing::Viewer;
using testing::WriteBmp;

enum class Mode { WindowFit, WindowFullSize, MaxFit, MaxFullSize };

struct Modes : ::testing::Test {
  TempDir dir;
  Viewer v;
  void SetUp() override {
    WriteBmp(dir, "p.bmp", 800, 600);
    v.form.FormCreate({dir / "p.bmp"}, "/x/q");
  }
  Mode Now() {
    bool max = v.host.IsMaximized();
    bool fit = v.form.IMG.Proportional();
    EXPECT_EQ(v.form.IMG.Stretch(), fit);
    return max ? (fit ? Mode::MaxFit : Mode::MaxFullSize)
               : (fit ? Mode::WindowFit : Mode::WindowFullSize);
  }
  void Enter(Mode m) {
    if (m == Mode::WindowFullSize) v.form.FullSize1Click();
    if (m == Mode::MaxFit || m == Mode::MaxFullSize) v.form.SHOWMAX1Click();
    if (m == Mode::MaxFullSize) v.form.SHOWMAX1Click();
    ASSERT_EQ(Now(), m);
  }
  const Bitmap& Shown() { return dynamic_cast<TBitmap&>(*v.form.IMG.Picture().Graphic()).Image(); }
};

TEST_F(Modes, CtrlUpFromEveryMode) {
  const std::pair<Mode, Mode> table[] = {{Mode::WindowFit, Mode::MaxFit},
                                         {Mode::WindowFullSize, Mode::MaxFit},
                                         {Mode::MaxFit, Mode::MaxFullSize},
                                         {Mode::MaxFullSize, Mode::MaxFullSize}};
  for (auto [from, to] : table) {
    Viewer fresh;
    v.form.IMG.SetZoomPercent(100);
    v.host.maximized = false;
    v.form.SHOWRESTORE1Click();
    v.form.SHOWRESTORE1Click();
    v.host.calls.clear();
    Enter(from);
    v.form.IMG.ScrollHorz(17);
    v.form.KeyDown(VK_UP, {.ctrl = true});
    EXPECT_EQ(Now(), to);
    EXPECT_EQ(v.form.IMG.ZoomPercent(), 100);
    EXPECT_EQ(v.form.IMG.HorzOffset, 0);
  }
}

TEST_F(Modes, FromANormalWindowTheWindowFadesThenMaximises) {
  v.form.SHOWMAX1Click();
  EXPECT_EQ(v.host.calls, (std::vector<std::string>{"fade", "maximize"}));
  EXPECT_FALSE(v.form.IMG.AutoSize);
  // Fitted again to the larger area.
  EXPECT_EQ(Shown().Width(), v.form.IMG.DestWidth());
  EXPECT_EQ(v.form.IMG.ClientHeight(), 1000 - 42);
  // The fitted copy is 1267 x 950; drawn proportionally it rounds down to 949.
  EXPECT_EQ(v.host.caption, "Image Size - 1267 x 949 ");
  v.form.SHOWMAX1Click();
  EXPECT_TRUE(v.form.IMG.AutoSize);
  EXPECT_EQ(v.host.caption, "Window size - 1267 x 958 (800 x 600)  100%");
}

TEST_F(Modes, CtrlDownAndCtrlF) {
  v.form.KeyDown(VK_DOWN, {.ctrl = true});  // WindowFit: nothing, not even the caption
  EXPECT_EQ(Now(), Mode::WindowFit);
  v.host.caption = "untouched";
  v.form.KeyDown(VK_DOWN, {.ctrl = true});
  EXPECT_EQ(v.host.caption, "untouched");

  v.form.KeyDown('F', {.ctrl = true});
  EXPECT_EQ(Now(), Mode::WindowFullSize);
  EXPECT_EQ(Shown().Width(), 800);  // full size, the reader's own pixel format
  EXPECT_EQ(Shown().Format(), PixelFormat::pf24bit);
  v.form.IMG.SetZoomPercent(150);
  v.form.FormResize();
  EXPECT_EQ(v.host.caption, "Window size - 557 x 345 (1200 x 900)  150%");
  v.form.KeyDown('F', {.ctrl = true});  // reload only: zoom kept
  EXPECT_EQ(v.form.IMG.ZoomPercent(), 150);
  v.form.KeyDown(VK_DOWN, {.ctrl = true});
  EXPECT_EQ(Now(), Mode::WindowFit);
  EXPECT_EQ(v.form.IMG.ZoomPercent(), 100);

  Enter(Mode::MaxFullSize);
  v.form.KeyDown('F', {.ctrl = true});  // maximised: nothing
  EXPECT_EQ(Now(), Mode::MaxFullSize);
  v.host.calls.clear();
  v.form.KeyDown(VK_DOWN, {.ctrl = true});
  EXPECT_EQ(Now(), Mode::MaxFit);
  EXPECT_TRUE(v.form.IMG.AutoSize);   // stays on
  EXPECT_TRUE(v.host.calls.empty());  // the window state is not touched
  v.form.KeyDown(VK_DOWN, {.ctrl = true});
  EXPECT_EQ(Now(), Mode::WindowFit);
  EXPECT_EQ(v.host.calls, (std::vector<std::string>{"hide", "restore"}));
}

TEST_F(Modes, ListWidthIsRememberedAcrossShowAndHide) {
  v.form.KeyDown(VK_SPACE, {});
  EXPECT_EQ(v.host.panelWidth, 200);
  EXPECT_EQ(v.form.IMG.ClientWidth(), 570 - 10 - 200 - 2);
  EXPECT_EQ(Shown().Width(), v.form.IMG.DestWidth());  // re-fitted to the narrower area
  v.form.KeyDown(VK_SPACE, {});
  EXPECT_EQ(v.host.panelWidth, 1);
  v.host.SetListPanelWidth(350);  // the user drags the splitter
  v.form.TntSplitter1Moved();
  EXPECT_EQ(v.form.ListWidth, 350);
  v.form.KeyDown(VK_SPACE, {});
  EXPECT_EQ(v.host.panelWidth, 1);
  v.form.KeyDown(VK_SPACE, {});
  EXPECT_EQ(v.host.panelWidth, 350);
  v.host.SetListPanelWidth(1);
  v.form.TntSplitter1Moved();
  EXPECT_EQ(v.form.ListWidth, 350);
}

TEST_F(Modes, AMoveNeverReloadsAResizeReloadsOnce) {
  const uint64_t before = v.form.IMG.Picture().Version();
  v.form.WindowMoving();
  v.form.ExitSizeMove();
  EXPECT_EQ(v.form.IMG.Picture().Version(), before);
  EXPECT_FALSE(v.form.MovedFlag);
  v.host.normalWidth = 700;
  v.host.Relayout();
  v.form.ExitSizeMove();
  EXPECT_NE(v.form.IMG.Picture().Version(), before);
  // Re-fitted to the wider area: 459 x 344, drawn within a pixel of its size.
  EXPECT_EQ(Shown().Width(), 459);
  EXPECT_EQ(v.form.IMG.DestWidth(), 460);
}

TEST(ViewModes, TheEndOfAResizeLoadsNothingWhileNothingIsShown) {
  TempDir dir;
  Viewer v;
  v.form.CurrentFile = WriteBmp(dir, "p.bmp", 8, 8);
  v.form.ExitSizeMove();  // reading the picture as a bitmap leaves an empty one
  EXPECT_TRUE(v.form.IMG.Picture().Graphic()->Empty());
  EXPECT_EQ(v.host.caption, "Viewer");
}

TEST_F(Modes, DraggingMovesPixelForPixelOnlyInFullSize) {
  v.form.IMGMouseDown(MouseButton::mbLeft, {}, 100, 100);
  EXPECT_FALSE(v.form.Dragging);
  Enter(Mode::WindowFullSize);
  TRect start = v.form.IMG.DestRect();
  v.form.IMGMouseDown(MouseButton::mbRight, {}, 100, 100);
  EXPECT_FALSE(v.form.Dragging);
  v.form.IMGMouseDown(MouseButton::mbLeft, {}, 100, 100);
  v.form.IMGMouseMove({}, 130, 90);
  v.form.IMGMouseMove({}, -500, 900);  // outside the control: still moves
  TRect r = v.form.IMG.DestRect();
  EXPECT_EQ(r.Left - start.Left, -600);
  EXPECT_EQ(r.Top - start.Top, 800);
  v.form.IMGMouseUp(MouseButton::mbRight, {}, 0, 0);  // any button ends the drag
  v.form.IMGMouseMove({}, 0, 0);
  EXPECT_EQ(v.form.IMG.DestRect(), r);
}

TEST(Rotation, QuarterTurnsMapPixelsExactly) {
  Bitmap b(3, 2, PixelFormat::pf32bit);
  auto px = [](Bitmap& m, int x, int y) -> uint32_t& {
    return reinterpret_cast<uint32_t*>(m.Row(y))[x];
  };
  uint32_t v = 1;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) px(b, x, y) = 0xAB000000u | v++;  // a b c / d e f
  b.TransparentColor = RGB(9, 8, 7);
  Bitmap r = b;
  RotateBitmapRight(r);
  ASSERT_EQ(r.Width(), 2);
  ASSERT_EQ(r.Height(), 3);
  EXPECT_EQ(px(r, 0, 0) & 0xFF, 4u);  // d a / e b / f c
  EXPECT_EQ(px(r, 1, 0) & 0xFF, 1u);
  EXPECT_EQ(px(r, 0, 2) & 0xFF, 6u);
  EXPECT_EQ(px(r, 1, 2) & 0xFF, 3u);
  EXPECT_EQ(r.TransparentColor, RGB(9, 8, 7));
  Bitmap l = b;
  RotateBitmapLeft(l);
  EXPECT_EQ(px(l, 0, 0) & 0xFF, 3u);  // c f / b e / a d
  EXPECT_EQ(px(l, 1, 0) & 0xFF, 6u);
  EXPECT_EQ(px(l, 0, 2) & 0xFF, 1u);
  EXPECT_EQ(px(l, 1, 2) & 0xFF, 4u);
  RotateBitmapLeft(r);
  EXPECT_TRUE(r == b);  // right then left, fourth byte included
  for (int i = 0; i < 4; ++i) RotateBitmapRight(l);
  RotateBitmapRight(l);
  EXPECT_TRUE(l == b);
}

TEST(Rotation, LargerPicturesFollowTheMappingEverywhere) {
  // Sizes around the 16-row bands the turn works in, full and partial.
  for (auto [W, H] : {std::pair{37, 19}, {16, 16}, {5, 33}, {64, 1}}) {
    Bitmap b(W, H, PixelFormat::pf32bit);
    auto px = [](const Bitmap& m, int x, int y) {
      return reinterpret_cast<const uint32_t*>(m.Row(y))[x];
    };
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) reinterpret_cast<uint32_t*>(b.Row(y))[x] = uint32_t(y * 1000 + x);
    Bitmap r = b, l = b;
    RotateBitmapRight(r);
    RotateBitmapLeft(l);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        ASSERT_EQ(px(r, H - 1 - y, x), px(b, x, y)) << W << "x" << H;
        ASSERT_EQ(px(l, y, W - 1 - x), px(b, x, y)) << W << "x" << H;
      }
  }
}

TEST(Rotation, ColumnsBecomeRowsAndOtherFormatsAreWidened) {
  Bitmap col = testing::Gradient(1, 5);
  Bitmap turned = col;
  RotateBitmapRight(turned);
  EXPECT_EQ(turned.Width(), 5);
  EXPECT_EQ(turned.Height(), 1);
  EXPECT_EQ(turned.Format(), PixelFormat::pf32bit);
  EXPECT_EQ(turned.PixelColor(4, 0), col.PixelColor(0, 0));  // bottom source row lands in column 0
  Bitmap one(1, 1, PixelFormat::pf32bit);
  one.Row(0)[0] = 42;
  RotateBitmapLeft(one);
  EXPECT_EQ(one.Row(0)[0], 42);
}

TEST_F(Modes, TurningUpdatesTheCaptionAndTheNextLoadShowsTheFileAgain) {
  v.form.KeyDown(VK_RIGHT, {});
  EXPECT_EQ(v.host.caption, "Image Size - 258 x 345 ");
  v.form.LoadPicture(v.form.CurrentFile);
  EXPECT_EQ(v.host.caption, "Image Size - 460 x 345 ");
  Viewer empty;
  empty.form.KeyDown(VK_LEFT, {});  // nothing loaded: nothing happens
  EXPECT_EQ(empty.form.IMG.Picture().Graphic(), nullptr);
}

}  // namespace
}  // namespace quendra
