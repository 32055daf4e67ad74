#pragma once
// Colour reduction for GIF files: octree quantisation to at most 236 colours, placed between
// the twenty stock colours of the default palette (entries 0-9 and 246-255), and a mapping of
// every pixel to its nearest palette entry without dithering.
#include <array>
#include <cstdint>
#include <vector>

#include "base/bitmap.h"

namespace quendra {

struct PaletteEntry {
  uint8_t red = 0, green = 0, blue = 0, flags = 0;
  bool operator==(const PaletteEntry&) const = default;
};

// Flag of palette entries that are not to be matched to system colours.
inline constexpr uint8_t PC_NOCOLLAPSE = 4;

// The twenty colours of the default palette: the first ten, then the last ten.
extern const std::array<PaletteEntry, 20> kStockColors;

// The octree: colours go down eight levels by their bits, high bit first; whenever there are
// more leaves than MaxColors, the newest node of the deepest level that has any reducible
// nodes is folded into one leaf.
class TOctreeQuantizer {
 public:
  explicit TOctreeQuantizer(int maxColors = 236, int colorBits = 8);
  ~TOctreeQuantizer();
  TOctreeQuantizer(const TOctreeQuantizer&) = delete;
  TOctreeQuantizer& operator=(const TOctreeQuantizer&) = delete;

  void AddColor(uint8_t red, uint8_t green, uint8_t blue);
  // Every pixel of the picture, rows top to bottom.
  void AddBitmap(const Bitmap& bmp);
  int LeafCount() const { return leafCount_; }
  // The leaves' colours (truncated averages), depth first, children in index order.
  std::vector<PaletteEntry> Colors() const;

 private:
  struct Node {
    // 64-bit sums: a large picture of one bright colour overflows 32 bits.
    uint64_t pixelCount = 0, redSum = 0, greenSum = 0, blueSum = 0;
    bool leaf = false;
    int32_t child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int32_t next = -1;  // next reducible node of the same depth
  };
  int32_t NewNode(int depth);
  void FreeNode(int32_t n);
  // Adds the colour and returns the leaf it went to (before any reduction it caused).
  int32_t AddToLeaf(uint8_t red, uint8_t green, uint8_t blue);
  void Reduce();
  void Walk(int32_t n, std::vector<PaletteEntry>& out) const;

  std::vector<Node> nodes_;
  std::vector<int32_t> free_;
  int32_t root_ = -1;
  int leafCount_ = 0;
  int colorBits_, maxColors_;
  int32_t reducible_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  // Bumped by every reduction: the only thing that frees nodes or turns a node into a leaf, so
  // a leaf remembered for a colour in the same generation is still where that colour goes.
  uint32_t generation_ = 0;
};

// The 256-entry palette for the picture: stock colours at both ends, the octree's colours from
// entry 10 on (flag 0) and black entries flagged PC_NOCOLLAPSE for what is left.
std::array<PaletteEntry, 256> BuildGifPalette(const Bitmap& bmp);

// Index of the palette entry nearest to the colour (Euclidean in red, green, blue; the lowest
// index wins a tie).
int NearestPaletteIndex(const std::array<PaletteEntry, 256>& palette, uint8_t red, uint8_t green,
                        uint8_t blue);

// The picture as an 8-bit bitmap over BuildGifPalette's palette (flags in the palette's
// reserved bytes are 0; palette, when given, receives the entries with their flags).
Bitmap ReduceColorsForGif(const Bitmap& bmp, std::array<PaletteEntry, 256>* palette = nullptr);

}  // namespace quendra
