#include "controls/zoomer.h"

#include <gtest/gtest.h>

namespace quendra {
namespace {

// A zoomer showing a picture of w x h in a client area of cw x ch.
struct Fixture {
  TZoomer z;
  int resizes = 0, zooms = 0, scrolls = 0, invalidates = 0;
  Fixture(int w, int h, int cw, int ch, bool stretch, bool proportional, bool center) {
    z.SetClientSize(cw, ch);
    z.SetStretch(stretch);
    z.SetProportional(proportional);
    z.SetCenter(center);
    z.OnResize = [this] { ++resizes; };
    z.OnZoomImage = [this] { ++zooms; };
    z.OnScrollImage = [this] { ++scrolls; };
    z.OnInvalidate = [this] { ++invalidates; };
    z.Picture().AssignBitmap(Bitmap(w, h, PixelFormat::pf8bit));
  }
};

TEST(MulDiv, RoundsHalvesAwayFromZeroAndReportsOverflow) {
  EXPECT_EQ(MulDiv(3, 50, 100), 2);        // 1.5
  EXPECT_EQ(MulDiv(-3, 50, 100), -2);      // -1.5
  EXPECT_EQ(MulDiv(800, 431, 1000), 345);  // 344.8
  EXPECT_EQ(MulDiv(5, 5, 100), 0);         // 0.25
  EXPECT_EQ(MulDiv(1, 2, 0), -1);
  EXPECT_EQ(MulDiv(1 << 30, 8, 1), -1);
  EXPECT_EQ(MulDiv(-(1 << 30), 4, 2), -2147483647 - 1);  // fits exactly
}

TEST(ZoomerGeometry, ProportionalFitUsesExtendedPrecision) {
  Fixture f(400, 300, 800, 300, true, true, true);
  // 300 * (4/3) formed in 80-bit precision truncates to 399, not 400.
  EXPECT_EQ(f.z.DestRect(), (TRect{200, 0, 599, 300}));
  EXPECT_EQ(f.z.DestWidth(), 399);
}

TEST(ZoomerGeometry, SquaresTakeTheHeightFirstBranch) {
  Fixture f(50, 50, 300, 500, true, true, false);
  EXPECT_EQ(f.z.DestRect(), (TRect{0, 0, 300, 300}));
}

TEST(ZoomerGeometry, ProportionalWithoutStretchShrinksOnlyWhatDoesNotFit) {
  Fixture small(200, 100, 400, 300, false, true, true);
  EXPECT_EQ(small.z.DestRect(), (TRect{100, 100, 300, 200}));
  Fixture wide(800, 100, 400, 300, false, true, true);
  EXPECT_EQ(wide.z.DestRect(), (TRect{0, 125, 400, 175}));
}

TEST(ZoomerGeometry, StretchWithoutProportionFillsTheClient) {
  Fixture f(13, 977, 557, 345, true, false, true);
  EXPECT_EQ(f.z.DestRect(), (TRect{0, 0, 557, 345}));
}

TEST(ZoomerGeometry, ZoomedPictureCentresWithTruncatedNegativeOffsets) {
  Fixture f(800, 600, 557, 345, false, false, true);
  f.z.SetZoomPercent(150);
  EXPECT_EQ(f.z.DestRect(), (TRect{-321, -277, 879, 623}));
  int scrolls = f.scrolls;
  f.z.ScrollHorz(25);
  EXPECT_EQ(f.z.DestRect(), (TRect{-296, -277, 904, 623}));
  EXPECT_EQ(f.scrolls, scrolls + 1);
  // A plain offset store does not move the picture until the next computation.
  f.z.HorzOffset = 0;
  EXPECT_EQ(f.z.DestRect().Left, -296);
  f.z.CalcDestRect();
  EXPECT_EQ(f.z.DestRect().Left, -321);
}

TEST(ZoomerGeometry, TinyZoomsRoundAndMayReachZero) {
  Fixture f(3, 3, 100, 100, false, false, false);
  f.z.SetZoomPercent(50);
  EXPECT_EQ(f.z.DestWidth(), 2);
  Fixture g(5, 5, 100, 100, false, false, false);
  g.z.SetZoomPercent(5);
  EXPECT_EQ(g.z.DestWidth(), 0);
  // A zero-sized picture is never scaled proportionally: stretched, it fills the client.
  g.z.SetProportional(true);
  g.z.SetStretch(true);
  EXPECT_EQ(g.z.DestRect(), (TRect{0, 0, 100, 100}));
}

TEST(ZoomerZoom, WritesNeverLeaveZeroOrLessAndAlwaysNotify) {
  Fixture f(10, 10, 100, 100, false, false, false);
  f.z.SetZoomPercent(10);
  f.z.ZoomBy(-10);
  EXPECT_EQ(f.z.ZoomPercent(), 5);
  f.z.SetZoomPercent(1);
  f.z.ZoomBy(-1);
  EXPECT_EQ(f.z.ZoomPercent(), 5);
  f.z.ZoomBy(-1);
  EXPECT_EQ(f.z.ZoomPercent(), 4);
  int zooms = f.zooms;
  f.z.SetZoomPercent(4);  // unchanged value still recomputes and notifies
  EXPECT_EQ(f.zooms, zooms + 1);
}

TEST(ZoomerZoom, ResetViewComputesAtTheTemporaryPercentage) {
  Fixture f(800, 600, 557, 345, true, false, true);
  f.z.SetZoomPercent(200);
  f.z.ScrollHorz(40);
  int zooms = f.zooms;
  f.z.ResetView();
  EXPECT_EQ(f.z.ZoomPercent(), 100);
  EXPECT_EQ(f.zooms, zooms);  // 100 is stored silently
  EXPECT_EQ(f.z.HorzOffset, 0);
  EXPECT_EQ(f.z.DestRect(), (TRect{0, 0, 557, 345}));  // stretched at 0 %
}

TEST(ZoomerEvents, EveryComputationFiresOnResizeAndOpacityFollowsCoverage) {
  Fixture f(800, 600, 400, 300, true, false, false);
  EXPECT_TRUE(f.z.Opaque());
  int resizes = f.resizes;
  f.z.Paint([](const TRect&) {});
  f.z.Paint([](const TRect&) {});
  EXPECT_EQ(f.resizes, resizes + 2);
  f.z.SetStretch(false);
  f.z.SetProportional(true);
  f.z.SetCenter(true);
  f.z.Picture().AssignBitmap(Bitmap(100, 100, PixelFormat::pf32bit));
  EXPECT_FALSE(f.z.Opaque());
  // Painting must not invalidate from inside itself.
  int inv = f.invalidates;
  f.z.Paint([&](const TRect&) { f.z.ScrollHorz(1); });
  EXPECT_EQ(f.invalidates, inv);
  EXPECT_FALSE(f.z.Painting());
}

TEST(ZoomerPicture, WritingAPictureCopiesItsGraphicIntoTheOwnedOne) {
  TZoomer z;
  TPicture* owned = &z.Picture();
  TPicture other;
  Bitmap b(7, 3, PixelFormat::pf24bit);
  b.Row(2)[20] = 99;
  other.AssignBitmap(b);
  z.SetPicture(other);
  EXPECT_EQ(&z.Picture(), owned);
  EXPECT_EQ(z.Picture().Width(), 7);
  EXPECT_NE(z.Picture().Graphic(), other.Graphic());
  EXPECT_EQ(z.DestWidth(), 7);  // the change was applied
  z.SetPicture(TPicture());
  EXPECT_EQ(z.Picture().Graphic(), nullptr);
}

TEST(ZoomerEvents, WithoutAGraphicNothingIsDrawn) {
  TZoomer z;
  bool drawn = false;
  z.Paint([&](const TRect&) { drawn = true; });
  EXPECT_FALSE(drawn);
  EXPECT_EQ(z.DestRect(), (TRect{}));
  EXPECT_FALSE(z.Opaque());
}

}  // namespace
}  // namespace quendra
