#include "formats/octree_quantizer.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

namespace quendra {
namespace {

using Colour = std::tuple<int, int, int>;

Bitmap Picture(const std::vector<Colour>& pixels) {
  Bitmap b(int(pixels.size()), 1, PixelFormat::pf32bit);
  for (size_t i = 0; i < pixels.size(); ++i) {
    auto [r, g, bl] = pixels[i];
    uint8_t* p = b.Row(0) + 4 * i;
    p[0] = uint8_t(bl);
    p[1] = uint8_t(g);
    p[2] = uint8_t(r);
  }
  return b;
}

Colour Of(const PaletteEntry& e) {
  return {e.red, e.green, e.blue};
}

TEST(OctreeQuantizer, UpTo236ColoursAreKeptExactly) {
  std::mt19937 rng(11);
  std::set<Colour> distinct;
  while (distinct.size() < 236)
    distinct.insert({int(rng() % 256), int(rng() % 256), int(rng() % 256)});
  std::vector<Colour> pixels(distinct.begin(), distinct.end());
  std::shuffle(pixels.begin(), pixels.end(), rng);
  pixels.insert(pixels.end(), pixels.begin(), pixels.begin() + 50);  // repeats change nothing

  std::array<PaletteEntry, 256> pal;
  Bitmap out = ReduceColorsForGif(Picture(pixels), &pal);
  ASSERT_EQ(out.Format(), PixelFormat::pf8bit);
  std::set<Colour> middle;
  for (int i = 10; i < 246; ++i) {
    middle.insert(Of(pal[size_t(i)]));
    EXPECT_EQ(pal[size_t(i)].flags, 0);
  }
  EXPECT_EQ(middle, distinct);
  for (size_t x = 0; x < pixels.size(); ++x) EXPECT_EQ(Of(pal[out.Row(0)[x]]), pixels[x]) << x;
}

TEST(OctreeQuantizer, ColoursComeOutDepthFirstInChildOrder) {
  TOctreeQuantizer q;
  q.AddColor(255, 255, 255);
  q.AddColor(0, 0, 1);
  q.AddColor(128, 0, 0);
  q.AddColor(0, 0, 0);
  q.AddColor(0, 0, 1);
  auto colours = q.Colors();
  ASSERT_EQ(colours.size(), 4u);
  EXPECT_EQ(Of(colours[0]), (Colour{0, 0, 0}));
  EXPECT_EQ(Of(colours[1]), (Colour{0, 0, 1}));
  EXPECT_EQ(Of(colours[2]), (Colour{128, 0, 0}));
  EXPECT_EQ(Of(colours[3]), (Colour{255, 255, 255}));
}

TEST(OctreeQuantizer, The237thColourFoldsTheNewestDeepestNode) {
  // 235 colours under distinct depth-7 nodes, then two that differ only in their lowest bits.
  std::vector<Colour> pixels;
  for (int k = 0; k < 235; ++k)
    pixels.push_back({2 * (k % 128), 2 * ((k * 37) % 128), k < 128 ? 200 : 202});
  pixels.push_back({10, 20, 30});
  pixels.insert(pixels.end(), 3, Colour{11, 21, 31});

  TOctreeQuantizer q;
  for (size_t i = 0; i < 235; ++i) {
    auto [r, g, b] = pixels[i];
    q.AddColor(uint8_t(r), uint8_t(g), uint8_t(b));
  }
  q.AddColor(10, 20, 30);
  EXPECT_EQ(q.LeafCount(), 236);
  q.AddColor(11, 21, 31);
  EXPECT_EQ(q.LeafCount(), 236);  // 237 leaves, folded at once
  q.AddColor(11, 21, 31);
  q.AddColor(11, 21, 31);

  auto colours = q.Colors();
  ASSERT_EQ(colours.size(), 236u);
  std::set<Colour> got;
  for (auto& c : colours) got.insert(Of(c));
  // (10 + 3 * 11) / 4 = 10.75 and so on: truncated, not rounded.
  EXPECT_TRUE(got.count({10, 20, 30}));
  EXPECT_FALSE(got.count({11, 21, 31}));
  for (size_t i = 0; i < 235; ++i) EXPECT_TRUE(got.count(pixels[i])) << i;

  auto pal = BuildGifPalette(Picture(pixels));
  std::set<Colour> middle;
  for (int i = 10; i < 246; ++i) middle.insert(Of(pal[size_t(i)]));
  EXPECT_EQ(middle, got);
}

TEST(OctreeQuantizer, StockColoursAtBothEndsAndNearestIndexRule) {
  auto pal = BuildGifPalette(Picture({{20, 20, 20}, {0, 0, 0}}));
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(pal[size_t(i)], kStockColors[size_t(i)]);
    EXPECT_EQ(pal[size_t(246 + i)], kStockColors[size_t(10 + i)]);
  }
  EXPECT_EQ(Of(pal[8]), (Colour{192, 220, 192}));
  EXPECT_EQ(Of(pal[246]), (Colour{255, 251, 240}));
  EXPECT_EQ(Of(pal[247]), (Colour{160, 160, 164}));
  EXPECT_EQ(Of(pal[10]), (Colour{0, 0, 0}));
  EXPECT_EQ(Of(pal[11]), (Colour{20, 20, 20}));
  EXPECT_EQ(pal[12], (PaletteEntry{0, 0, 0, PC_NOCOLLAPSE}));
  EXPECT_EQ(pal[245], (PaletteEntry{0, 0, 0, PC_NOCOLLAPSE}));

  EXPECT_EQ(NearestPaletteIndex(pal, 0, 0, 0), 0);          // ties go to the lowest index
  EXPECT_EQ(NearestPaletteIndex(pal, 250, 250, 250), 255);  // a stock colour is nearest
  EXPECT_EQ(NearestPaletteIndex(pal, 21, 19, 20), 11);
  EXPECT_EQ(NearestPaletteIndex(pal, 190, 215, 190), 8);
}

TEST(OctreeQuantizer, ABitmapGivesTheSameTreeAsItsPixelsOneByOne) {
  // Repeated colours (which AddBitmap remembers) among thousands of others (which keep folding
  // the tree): the colours and their order must not change.
  std::mt19937 rng(9);
  Bitmap src(400, 300, PixelFormat::pf24bit);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) {
      uint8_t* p = src.Row(y) + 3 * x;
      const bool flat = (x / 20 + y / 20) % 3 == 0;
      p[0] = uint8_t(flat ? 40 : x + rng() % 8);
      p[1] = uint8_t(flat ? (y / 20) * 9 : y + rng() % 8);
      p[2] = uint8_t(flat ? 200 : (x * y) % 251);
    }
  TOctreeQuantizer whole, single;
  whole.AddBitmap(src);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) {
      const uint8_t* p = src.Row(y) + 3 * x;
      single.AddColor(p[2], p[1], p[0]);
    }
  EXPECT_GT(whole.LeafCount(), 200);  // folded many times
  EXPECT_EQ(whole.Colors(), single.Colors());
}

TEST(OctreeQuantizer, MappingEqualsAFullSearchOnAPhotoLikePicture) {
  std::mt19937 rng(5);
  Bitmap src(300, 200, PixelFormat::pf32bit);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      uint8_t* p = src.Row(y) + 4 * x;
      p[0] = uint8_t((x + rng() % 40) & 0xFF);
      p[1] = uint8_t((y + x / 2 + rng() % 40) & 0xFF);
      p[2] = uint8_t((2 * y + rng() % 40) & 0xFF);
    }
  std::array<PaletteEntry, 256> pal;
  Bitmap out = ReduceColorsForGif(src, &pal);
  int checked = 0;
  for (int y = 0; y < 200; y += 3)
    for (int x = 0; x < 300; x += 7) {
      const uint8_t* p = src.Row(y) + 4 * x;
      int best = 0, bestDist = 1 << 30;
      for (int i = 0; i < 256; ++i) {
        const auto& e = pal[size_t(i)];
        int d = (e.red - p[2]) * (e.red - p[2]) + (e.green - p[1]) * (e.green - p[1]) +
                (e.blue - p[0]) * (e.blue - p[0]);
        if (d < bestDist) bestDist = d, best = i;
      }
      ASSERT_EQ(out.Row(y)[x], best) << x << "," << y;
      ++checked;
    }
  EXPECT_GT(checked, 2000);
  EXPECT_EQ(out.Palette()[10], (RGBQuad{pal[10].blue, pal[10].green, pal[10].red, 0}));
}

}  // namespace
}  // namespace quendra
