// Stepping with pictures loaded ahead on the worker: what is shown is what loading on the spot
// shows, stale pictures are never served, the newest of a burst of steps wins, and the worker
// is cancelled, not waited for, when the viewer ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <memory>

#include "app/fallback_picture.h"
#include "formats/jpeg_image.h"
#include "formats/png_object.h"
#include "formats/targa_graphic.h"
#include "formats/tbitmap.h"
#include "support/image_tools.h"
#include "support/manual_dispatcher.h"
#include "support/pictures.h"
#include "support/test_host.h"

namespace quendra {
namespace {

using testing::Gradient;
using testing::ManualDispatcher;
using testing::TempDir;
using testing::Viewer;
using testing::WriteFileBytes;

// A viewer that preloads, its worker's results delivered by hand.
struct PreloadingViewer {
  ManualDispatcher dispatcher;
  Viewer v;
  PreloadingViewer() { v.form.Preload.SetDispatcher(&dispatcher); }
  // Lets the worker finish and runs what it handed to the main thread.
  void Settle() {
    v.form.Preload.WaitIdle();
    dispatcher.RunPending();
    v.form.Preload.WaitIdle();
  }
};

const Bitmap& Shown(Viewer& v) {
  return dynamic_cast<TBitmap&>(*v.form.IMG.Picture().Graphic()).Image();
}

void ExpectSameView(Viewer& spot, Viewer& pre, const std::string& step) {
  SCOPED_TRACE(step);
  EXPECT_EQ(pre.form.FileList.ItemIndex(), spot.form.FileList.ItemIndex());
  EXPECT_EQ(pre.form.CurrentFile.substr(pre.form.CurrentFolder.size()),
            spot.form.CurrentFile.substr(spot.form.CurrentFolder.size()));
  EXPECT_EQ(pre.host.status, spot.host.status);
  EXPECT_EQ(pre.host.caption, spot.host.caption);
  EXPECT_EQ(pre.form.IMG.DestRect(), spot.form.IMG.DestRect());
  const Bitmap& a = Shown(spot);
  const Bitmap& b = Shown(pre);
  EXPECT_EQ(b.Width(), a.Width());
  EXPECT_EQ(b.Height(), a.Height());
  EXPECT_EQ(b.Format(), a.Format());
  EXPECT_TRUE(b == a) << "pixels differ";
}

TEST(Preload, StepsShowExactlyWhatLoadingOnTheSpotShows) {
  TempDir dir;
  // Photos that take every JPEG scale in both window sizes, other formats, and broken files.
  WriteFileBytes(dir / "a_photo.jpg", EncodeJpeg(Gradient(3200, 2400), 85));
  WriteFileBytes(dir / "b_wide.jpg", EncodeJpeg(Gradient(1500, 400), 85));
  testing::WriteBmp(dir, "c_plain.bmp", 800, 600);
  WriteFileBytes(dir / "d_tall.png", EncodePng(Gradient(300, 1700)));
  auto cut = EncodeJpeg(Gradient(900, 700), 85);
  cut.resize(cut.size() / 2);
  WriteFileBytes(dir / "e_cut_short.jpg", cut);  // shows what libjpeg recovers
  WriteFileBytes(dir / "f_garbage.jpg", {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3});
  WriteFileBytes(dir / "g_empty.png", {});
  WriteFileBytes(dir / "h_small.tga", EncodeTarga(Gradient(64, 48)));
  WriteFileBytes(dir / "i_metafile.emf", {1, 0, 0, 0});
  WriteFileBytes(dir / "j_square.jpg", EncodeJpeg(Gradient(2400, 2400), 85));

  Viewer spot;
  PreloadingViewer pre;
  spot.form.FormCreate({dir.Path()}, "/x/q");
  pre.v.form.FormCreate({dir.Path()}, "/x/q");
  ASSERT_EQ(spot.form.FileList.Count(), 10);
  ExpectSameView(spot, pre.v, "start");

  struct Key {
    uint16_t code;
    ShiftState shift;
    const char* name;
  };
  const Key down{VK_DOWN, {}, "DOWN"}, up{VK_UP, {}, "UP"};
  std::vector<Key> keys;
  for (int i = 0; i < 9; ++i) keys.push_back(down);
  keys.insert(keys.end(), {up,
                           up,
                           up,
                           {VK_END, {}, "END"},
                           {VK_HOME, {}, "HOME"},
                           down,
                           {VK_RIGHT, {}, "RIGHT"},
                           down,
                           up,
                           {VK_UP, {.ctrl = true}, "CTRL+UP"},
                           down,
                           down,
                           down,
                           down,
                           up,
                           {VK_UP, {.ctrl = true}, "CTRL+UP"},
                           down,
                           down,
                           up,
                           down,
                           {VK_DOWN, {.ctrl = true}, "CTRL+DOWN"},
                           down,
                           {VK_DOWN, {.ctrl = true}, "CTRL+DOWN"},
                           {'F', {.ctrl = true}, "CTRL+F"},
                           down,
                           up,
                           up,
                           {'W', {.ctrl = true}, "CTRL+W"}});
  int n = 0, failures = 0;
  for (const Key& k : keys) {
    pre.Settle();
    spot.form.KeyDown(k.code, k.shift);
    pre.v.form.KeyDown(k.code, k.shift);
    pre.Settle();
    ExpectSameView(spot, pre.v, std::to_string(n++) + " " + k.name);
    if (Shown(pre.v) == FallbackPicture()) ++failures;
  }
  EXPECT_GE(failures, 6);  // the broken files, met on both paths
  // The slideshow steps through the preload too, wrapping at the end.
  for (int i = 0; i < 12; ++i) {
    pre.Settle();
    spot.form.TimerTimer();
    pre.v.form.TimerTimer();
    pre.Settle();
    ExpectSameView(spot, pre.v, "tick " + std::to_string(i));
  }
  const auto count = pre.v.form.Preload.Count();
  EXPECT_GE(count.hits, 40);      // steps to a neighbour found it ready
  EXPECT_GE(count.delivered, 2);  // HOME and END were loaded off the main thread
}

// Four small pictures of different sizes; the viewer shows the first, its neighbour held ready.
struct Held : ::testing::Test {
  TempDir dir;
  PreloadingViewer pre;
  Viewer spot;
  Preloader& preload = pre.v.form.Preload;
  void SetUp() override {
    for (int i = 0; i < 4; ++i)
      testing::WriteBmp(dir, std::string(1, char('a' + i)) + ".bmp", 300 + 40 * i, 200 + 10 * i);
    pre.v.form.FormCreate({dir.Path()}, "/x/q");
    spot.form.FormCreate({dir.Path()}, "/x/q");
    pre.Settle();
  }
  ViewKey Now() const { return ViewKey::Of(pre.v.form.IMG); }
  // Both viewers take the same key; the preloading one may then finish its work.
  void Both(uint16_t key, ShiftState shift = {}) {
    spot.form.KeyDown(key, shift);
    pre.v.form.KeyDown(key, shift);
    pre.Settle();
    ExpectSameView(spot, pre.v, "after a key");
  }
};

TEST_F(Held, AModeChangeOrASettledResizeDropsHeldPictures) {
  ASSERT_EQ(preload.Held().size(), 1u);  // b.bmp; nothing is before a.bmp
  EXPECT_EQ(preload.Held()[0].first, dir / "b.bmp");
  preload.Hold(true);
  pre.v.form.FullSize1Click();
  spot.form.FullSize1Click();
  EXPECT_TRUE(preload.Held().empty());
  preload.Hold(false);
  pre.Settle();
  ASSERT_EQ(preload.Held().size(), 1u);
  EXPECT_EQ(preload.Held()[0].second, Now());
  Both(VK_DOWN);
  Both(VK_DOWN, {.ctrl = true});  // back to the fitted mode

  preload.Hold(true);
  for (Viewer* v : {&pre.v, &spot}) {
    v->host.normalWidth = 700;
    v->host.Relayout();
    v->form.ExitSizeMove();
  }
  EXPECT_TRUE(preload.Held().empty());
  preload.Hold(false);
  pre.Settle();
  const int hits = preload.Count().hits;
  Both(VK_DOWN);
  Both(VK_UP);
  EXPECT_EQ(preload.Count().hits, hits + 2);
}

TEST_F(Held, AFileRewrittenAfterItsPreloadIsReadAgain) {
  // Other pixels in a file of the same size: only the modification time tells.
  const auto b = dir / "b.bmp";
  const auto when = std::filesystem::last_write_time(b);
  auto bytes = EncodeBmp(Gradient(340, 210));
  for (size_t i = 54; i < bytes.size(); i += 7) bytes[i] ^= 0x5A;
  WriteFileBytes(b, bytes);
  std::filesystem::last_write_time(b, when + std::chrono::seconds(3));
  const int misses = preload.Count().misses;
  Both(VK_DOWN);
  EXPECT_EQ(preload.Count().misses, misses + 1);
  // Another size: the file's length tells.
  pre.Settle();
  WriteFileBytes(dir / "c.bmp", EncodeBmp(Gradient(90, 70)));
  std::filesystem::last_write_time(dir / "c.bmp", when);
  Both(VK_DOWN);
  EXPECT_EQ(Shown(pre.v).Width(), pre.v.form.IMG.DestWidth());
  EXPECT_EQ(preload.Count().misses, misses + 2);
}

TEST_F(Held, RefreshDropsWhatSizeAndTimeCannotTell) {
  const auto b = dir / "b.bmp";
  const auto when = std::filesystem::last_write_time(b);
  auto bytes = EncodeBmp(Gradient(340, 210));
  for (size_t i = 54; i < bytes.size(); i += 5) bytes[i] ^= 0xA5;
  WriteFileBytes(b, bytes);
  std::filesystem::last_write_time(b, when);  // same size, same time
  preload.Hold(true);
  pre.v.form.KeyDown('R', {.ctrl = true});
  spot.form.KeyDown('R', {.ctrl = true});
  EXPECT_TRUE(preload.Held().empty());
  preload.Hold(false);
  pre.Settle();
  Both(VK_DOWN);
}

TEST(Preload, TheNewestOfABurstOfThirtyStepsWinsAndNothingQueues) {
  TempDir dir;
  char name[16];
  for (int i = 0; i < 40; ++i) {
    std::snprintf(name, sizeof name, "f%02d.bmp", i);
    testing::WriteBmp(dir, name, 200 + i, 150);
  }
  PreloadingViewer pre;
  Viewer spot;
  pre.v.form.FormCreate({dir.Path()}, "/x/q");
  spot.form.FormCreate({dir.Path()}, "/x/q");
  Preloader& preload = pre.v.form.Preload;
  pre.Settle();
  // The worker is busy elsewhere: no step after the first finds its picture ready.
  preload.Hold(true);
  const auto before = preload.Count();
  for (int i = 0; i < 30; ++i) {
    pre.v.form.KeyDown(VK_DOWN, {});
    spot.form.KeyDown(VK_DOWN, {});
  }
  EXPECT_EQ(pre.v.form.FileList.ItemIndex(), 30);
  EXPECT_EQ(pre.v.host.status, "[2/40] f01.bmp");  // the held neighbour; the rest wait
  EXPECT_EQ(preload.Count().hits, before.hits + 1);
  preload.Hold(false);
  pre.Settle();
  ExpectSameView(spot, pre.v, "after the burst");
  EXPECT_EQ(pre.v.host.status, "[31/40] f30.bmp");
  const auto after = preload.Count();
  // One load for the newest step, two for its neighbours; older steps never ran.
  EXPECT_EQ(after.loads - before.loads, 3);
  EXPECT_EQ(after.delivered - before.delivered, 1);
  EXPECT_EQ(pre.dispatcher.PendingCount(), 0u);
}

TEST(Preload, EscapeCancelsTheRunningLoadInsteadOfWaitingForIt) {
  TempDir dir;
  testing::WriteBmp(dir, "a.bmp", 40, 30);
  WriteFileBytes(dir / "b.jpg", EncodeJpeg(Gradient(1200, 900), 80));
  auto pre = std::make_unique<PreloadingViewer>();
  std::latch started(1);
  pre->v.form.Preload.OnLoadStart = [&](const CancelToken& token) {
    started.count_down();
    token.WaitCancelled();  // a load that would never end by itself
  };
  pre->v.form.FormCreate({dir.Path()}, "/x/q");
  started.wait();
  pre->v.form.KeyDown(VK_ESCAPE, {});
  EXPECT_TRUE(pre->v.host.closed);
  const auto count = pre->v.form.Preload.Count();
  EXPECT_EQ(count.loads, 1);
  EXPECT_EQ(count.cancelled, 1);
  EXPECT_FALSE(pre->v.form.Preload.Enabled());
  pre.reset();  // nothing left to join
}

TEST(Preload, FullSizeModesHoldNoPictureOverSixtyFourMegabytes) {
  TempDir dir;
  testing::WriteBmp(dir, "a.bmp", 40, 30);
  WriteFileBytes(dir / "b.jpg", EncodeJpeg(Gradient(4200, 4000), 60));  // 67.2 MB as a bitmap
  testing::WriteBmp(dir, "c.bmp", 50, 30);
  PreloadingViewer pre;
  Viewer spot;
  pre.v.form.FormCreate({dir.Path()}, "/x/q");
  spot.form.FormCreate({dir.Path()}, "/x/q");
  pre.Settle();
  ASSERT_EQ(pre.v.form.Preload.Held().size(), 1u);  // fitted, it is small
  pre.v.form.FullSize1Click();
  spot.form.FullSize1Click();
  pre.Settle();
  EXPECT_TRUE(pre.v.form.Preload.Held().empty());
  pre.v.form.KeyDown(VK_DOWN, {});
  spot.form.KeyDown(VK_DOWN, {});
  pre.Settle();
  ExpectSameView(spot, pre.v, "the large one, loaded when stepped to");
  EXPECT_EQ(Shown(pre.v).Width(), 4200);
  EXPECT_EQ(pre.v.form.Preload.Held().size(), 2u);
}

TEST(LoadCancel, AJpegDecodeStopsWithinABandOfTheCancel) {
  TempDir dir;
  WriteFileBytes(dir / "p.jpg", EncodeJpeg(Gradient(640, 480), 80));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(dir / "p.jpg");
  CancelToken token;
  {
    CancelScope scope(token);
    int rows = 0;
    EXPECT_THROW(jpeg.DecodeRows([](int, int) {},
                                 [&](const uint8_t*, int y) {
                                   ++rows;
                                   if (y == 100) token.Cancel();
                                 }),
                 ELoadCancelled);
    EXPECT_GT(rows, 100);
    EXPECT_LE(rows, 100 + 16);  // one band of rows at most
    Bitmap b;
    EXPECT_THROW(jpeg.AssignTo(b), ELoadCancelled);
  }
  Bitmap b;  // outside the scope nothing is cancelled
  jpeg.AssignTo(b);
  EXPECT_EQ(b.Height(), 480);
}

}  // namespace
}  // namespace quendra
