#include "formats/octree_quantizer.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace quendra {

// The stock palette (first ten and last ten entries); its entries carry no flags.
const std::array<PaletteEntry, 20> kStockColors = {{
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
}};

static constexpr uint8_t kMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

TOctreeQuantizer::TOctreeQuantizer(int maxColors, int colorBits)
    : colorBits_(std::clamp(colorBits, 1, 8)), maxColors_(maxColors) {
  nodes_.reserve(4096);
}

TOctreeQuantizer::~TOctreeQuantizer() = default;

int32_t TOctreeQuantizer::NewNode(int depth) {
  int32_t n;
  if (!free_.empty()) {
    n = free_.back();
    free_.pop_back();
    nodes_[size_t(n)] = Node{};
  } else {
    n = int32_t(nodes_.size());
    nodes_.emplace_back();
  }
  Node& node = nodes_[size_t(n)];
  if (depth == colorBits_) {
    node.leaf = true;
    ++leafCount_;
  } else {
    node.next = reducible_[depth];
    reducible_[depth] = n;
  }
  return n;
}

void TOctreeQuantizer::FreeNode(int32_t n) {
  for (int32_t c : nodes_[size_t(n)].child)
    if (c >= 0) FreeNode(c);
  free_.push_back(n);
}

void TOctreeQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue) {
  AddToLeaf(red, green, blue);
  while (leafCount_ > maxColors_) Reduce();
}

int32_t TOctreeQuantizer::AddToLeaf(uint8_t red, uint8_t green, uint8_t blue) {
  if (root_ < 0) root_ = NewNode(0);
  int32_t n = root_;
  for (int depth = 0;; ++depth) {
    Node* node = &nodes_[size_t(n)];
    if (node->leaf) {
      ++node->pixelCount;
      node->redSum += red;
      node->greenSum += green;
      node->blueSum += blue;
      return n;
    }
    const uint8_t m = kMask[depth];
    const int index = ((red & m) ? 4 : 0) | ((green & m) ? 2 : 0) | ((blue & m) ? 1 : 0);
    int32_t c = node->child[index];
    if (c < 0) {
      c = NewNode(depth + 1);  // may move nodes_
      nodes_[size_t(n)].child[index] = c;
    }
    n = c;
  }
}

void TOctreeQuantizer::Reduce() {
  ++generation_;
  int depth = colorBits_ - 1;
  while (depth > 0 && reducible_[depth] < 0) --depth;
  const int32_t n = reducible_[depth];
  if (n < 0) {  // nothing left to fold: keep what there is
    maxColors_ = leafCount_;
    return;
  }
  Node& node = nodes_[size_t(n)];
  reducible_[depth] = node.next;
  node.next = -1;
  int children = 0;
  for (int32_t& c : node.child) {
    if (c < 0) continue;
    const Node& ch = nodes_[size_t(c)];
    node.redSum += ch.redSum;
    node.greenSum += ch.greenSum;
    node.blueSum += ch.blueSum;
    node.pixelCount += ch.pixelCount;
    ++children;
    FreeNode(c);
    c = -1;
  }
  node.leaf = true;
  leafCount_ += 1 - children;
}

// Photographs repeat colours: a colour met again in the same generation goes straight to the
// leaf it went to before, which is exactly where the walk from the root would end.
void TOctreeQuantizer::AddBitmap(const Bitmap& bmp) {
  struct Slot {
    uint32_t colour = 0, generation = ~0u;
    int32_t leaf = -1;
  };
  constexpr int kSlotBits = 12;
  std::vector<Slot> cache(size_t(1) << kSlotBits);
  std::vector<uint8_t> row(size_t(bmp.Width()) * 4);
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint8_t* p = RowAs32(bmp, y, row.data());
    for (int x = 0; x < bmp.Width(); ++x, p += 4) {
      const uint32_t colour = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      Slot& slot = cache[(colour * 2654435761u) >> (32 - kSlotBits)];
      if (slot.generation == generation_ && slot.colour == colour) {
        Node& leaf = nodes_[size_t(slot.leaf)];
        ++leaf.pixelCount;
        leaf.redSum += p[2];
        leaf.greenSum += p[1];
        leaf.blueSum += p[0];
        continue;
      }
      const int32_t leaf = AddToLeaf(p[2], p[1], p[0]);
      const uint32_t before = generation_;
      while (leafCount_ > maxColors_) Reduce();
      if (generation_ == before) slot = {colour, generation_, leaf};
    }
  }
}

void TOctreeQuantizer::Walk(int32_t n, std::vector<PaletteEntry>& out) const {
  const Node& node = nodes_[size_t(n)];
  if (node.leaf) {
    if (node.pixelCount == 0) {
      out.push_back({0, 0, 0, 0});
    } else {
      out.push_back({uint8_t(node.redSum / node.pixelCount),
                     uint8_t(node.greenSum / node.pixelCount),
                     uint8_t(node.blueSum / node.pixelCount), 0});
    }
    return;
  }
  for (int32_t c : node.child)
    if (c >= 0) Walk(c, out);
}

std::vector<PaletteEntry> TOctreeQuantizer::Colors() const {
  std::vector<PaletteEntry> out;
  if (root_ >= 0) Walk(root_, out);
  return out;
}

std::array<PaletteEntry, 256> BuildGifPalette(const Bitmap& bmp) {
  TOctreeQuantizer q(236, 8);
  q.AddBitmap(bmp);
  std::array<PaletteEntry, 256> pal;
  for (int i = 0; i < 10; ++i) {
    pal[size_t(i)] = kStockColors[size_t(i)];
    pal[size_t(246 + i)] = kStockColors[size_t(10 + i)];
  }
  const std::vector<PaletteEntry> colors = q.Colors();
  for (size_t i = 0; i < 236; ++i)
    pal[10 + i] = i < colors.size() ? colors[i] : PaletteEntry{0, 0, 0, PC_NOCOLLAPSE};
  return pal;
}

namespace {

// Exact nearest-entry search. Colour space is cut into cubes of 8 levels a side; each cube
// keeps, in index order, only the entries that can be nearest to some colour in it: those whose
// least distance to the cube is not beyond the smallest greatest distance of any entry. The
// lists are made when a cube is first met.
class NearestFinder {
 public:
  explicit NearestFinder(const std::array<PaletteEntry, 256>& pal) : pal_(pal) {
    start_.assign(kCells + 1, -1);
  }

  int Find(uint8_t r, uint8_t g, uint8_t b) {
    const int cell = ((r >> kShift) << (2 * kBits)) | ((g >> kShift) << kBits) | (b >> kShift);
    if (start_[size_t(cell)] < 0) Fill(cell);
    int best = 0, bestDist = 1 << 30;
    const uint8_t* c = candidates_.data() + start_[size_t(cell)];
    for (int n = count_[size_t(cell)]; n > 0; --n, ++c) {
      const PaletteEntry& e = pal_[*c];
      const int d =
          (e.red - r) * (e.red - r) + (e.green - g) * (e.green - g) + (e.blue - b) * (e.blue - b);
      if (d < bestDist) {  // candidates are in index order: the lowest wins a tie
        bestDist = d;
        best = *c;
      }
    }
    return best;
  }

 private:
  static constexpr int kBits = 5, kShift = 8 - kBits, kSide = 1 << kShift;
  static constexpr int kCells = 1 << (3 * kBits);

  static int AxisMin(int v, int lo) {
    const int hi = lo + kSide - 1;
    return v < lo ? lo - v : v > hi ? v - hi : 0;
  }
  static int AxisMax(int v, int lo) {
    return std::max(std::abs(v - lo), std::abs(v - (lo + kSide - 1)));
  }

  void Fill(int cell) {
    const int r0 = (cell >> (2 * kBits)) << kShift;
    const int g0 = ((cell >> kBits) & ((1 << kBits) - 1)) << kShift;
    const int b0 = (cell & ((1 << kBits) - 1)) << kShift;
    std::array<int, 256> minDist;
    int limit = 1 << 30;
    for (int i = 0; i < 256; ++i) {
      const PaletteEntry& e = pal_[size_t(i)];
      const int dr = AxisMin(e.red, r0), dg = AxisMin(e.green, g0), db = AxisMin(e.blue, b0);
      minDist[size_t(i)] = dr * dr + dg * dg + db * db;
      const int mr = AxisMax(e.red, r0), mg = AxisMax(e.green, g0), mb = AxisMax(e.blue, b0);
      limit = std::min(limit, mr * mr + mg * mg + mb * mb);
    }
    start_[size_t(cell)] = int(candidates_.size());
    int n = 0;
    for (int i = 0; i < 256; ++i)
      if (minDist[size_t(i)] <= limit) {
        candidates_.push_back(uint8_t(i));
        ++n;
      }
    count_[size_t(cell)] = uint16_t(n);
  }

  const std::array<PaletteEntry, 256>& pal_;
  std::vector<int> start_;
  std::array<uint16_t, kCells> count_{};
  std::vector<uint8_t> candidates_;
};

}  // namespace

int NearestPaletteIndex(const std::array<PaletteEntry, 256>& palette, uint8_t red, uint8_t green,
                        uint8_t blue) {
  return NearestFinder(palette).Find(red, green, blue);
}

Bitmap ReduceColorsForGif(const Bitmap& bmp, std::array<PaletteEntry, 256>* palette) {
  const std::array<PaletteEntry, 256> pal = BuildGifPalette(bmp);
  Bitmap out(bmp.Width(), bmp.Height(), PixelFormat::pf8bit);
  for (size_t i = 0; i < 256; ++i) out.Palette()[i] = {pal[i].blue, pal[i].green, pal[i].red, 0};
  auto finder = std::make_unique<NearestFinder>(pal);
  // Colours met before keep the index found for them (bit 24 marks a filled slot).
  constexpr int kSlotBits = 12;
  std::vector<uint32_t> seen(size_t(1) << kSlotBits, 0);
  std::vector<uint8_t> found(size_t(1) << kSlotBits);
  std::vector<uint8_t> row(size_t(bmp.Width()) * 4);
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint8_t* p = RowAs32(bmp, y, row.data());
    uint8_t* d = out.Row(y);
    for (int x = 0; x < bmp.Width(); ++x, p += 4) {
      const uint32_t key = 1u << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      const size_t slot = (key * 2654435761u) >> (32 - kSlotBits);
      if (seen[slot] != key) {
        seen[slot] = key;
        found[slot] = uint8_t(finder->Find(p[2], p[1], p[0]));
      }
      d[x] = found[slot];
    }
  }
  out.Transparent = bmp.Transparent;
  out.TransparentColor = bmp.TransparentColor;
  out.TransparentMode_ = bmp.TransparentMode_;
  if (palette) *palette = pal;
  return out;
}

}  // namespace quendra
