#include "imaging/octree_quantizer.h"

#include <algorithm>
#include <numeric>

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
  if (root_ < 0) root_ = NewNode(0);
  int32_t n = root_;
  for (int depth = 0;; ++depth) {
    Node* node = &nodes_[size_t(n)];
    if (node->leaf) {
      ++node->pixelCount;
      node->redSum += red;
      node->greenSum += green;
      node->blueSum += blue;
      break;
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
  while (leafCount_ > maxColors_) Reduce();
}

void TOctreeQuantizer::Reduce() {
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

void TOctreeQuantizer::AddBitmap(const Bitmap& bmp) {
  std::vector<uint8_t> row(size_t(bmp.Width()) * 4);
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint8_t* p = bmp.Row(y);
    if (bmp.Format() != PixelFormat::pf32bit) {
      ExpandRowTo32(bmp, y, row.data());
      p = row.data();
    }
    for (int x = 0; x < bmp.Width(); ++x, p += 4) AddColor(p[2], p[1], p[0]);
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

// Exact nearest-entry search: entries sorted by red, searched outwards from the colour's red
// until the red distance alone exceeds the best found; a cache remembers recent answers.
class NearestFinder {
 public:
  explicit NearestFinder(const std::array<PaletteEntry, 256>& pal) : pal_(pal) {
    std::iota(order_.begin(), order_.end(), uint8_t(0));
    std::stable_sort(order_.begin(), order_.end(),
                     [&](uint8_t a, uint8_t b) { return pal[a].red < pal[b].red; });
    for (int i = 0; i < 256; ++i) sortedRed_[size_t(i)] = pal[order_[size_t(i)]].red;
    cache_.assign(kCacheSize, 0);
  }

  int Find(uint8_t r, uint8_t g, uint8_t b) {
    const uint32_t key = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
    const uint32_t slot = (key * 2654435761u) >> (32 - kCacheBits);
    const uint64_t hit = cache_[slot];
    if ((hit >> 8) == uint64_t(key) + 1) return int(hit & 0xFF);
    const int index = Search(r, g, b);
    cache_[slot] = ((uint64_t(key) + 1) << 8) | uint64_t(index);
    return index;
  }

  int Search(int r, int g, int b) const {
    int best = 0, bestDist = 1 << 30;
    auto consider = [&](int pos) {
      const int idx = order_[size_t(pos)];
      const PaletteEntry& e = pal_[size_t(idx)];
      const int d =
          (e.red - r) * (e.red - r) + (e.green - g) * (e.green - g) + (e.blue - b) * (e.blue - b);
      if (d < bestDist || (d == bestDist && idx < best)) {
        bestDist = d;
        best = idx;
      }
    };
    const int start =
        int(std::lower_bound(sortedRed_.begin(), sortedRed_.end(), r) - sortedRed_.begin());
    int lo = start - 1, hi = start;
    while (lo >= 0 || hi < 256) {
      const int dl = lo >= 0 ? r - sortedRed_[size_t(lo)] : 1 << 20;
      const int dh = hi < 256 ? sortedRed_[size_t(hi)] - r : 1 << 20;
      // Stop only when the red distance alone is beyond the best: an equal total may still
      // belong to a lower index.
      if (std::min(dl, dh) * std::min(dl, dh) > bestDist) break;
      if (dl <= dh)
        consider(lo--);
      else
        consider(hi++);
    }
    return best;
  }

 private:
  static constexpr int kCacheBits = 16;
  static constexpr size_t kCacheSize = size_t(1) << kCacheBits;
  const std::array<PaletteEntry, 256>& pal_;
  std::array<uint8_t, 256> order_;
  std::array<int, 256> sortedRed_;
  std::vector<uint64_t> cache_;
};

}  // namespace

int NearestPaletteIndex(const std::array<PaletteEntry, 256>& palette, uint8_t red, uint8_t green,
                        uint8_t blue) {
  return NearestFinder(palette).Search(red, green, blue);
}

Bitmap ReduceColorsForGif(const Bitmap& bmp, std::array<PaletteEntry, 256>* palette) {
  const std::array<PaletteEntry, 256> pal = BuildGifPalette(bmp);
  Bitmap out(bmp.Width(), bmp.Height(), PixelFormat::pf8bit);
  for (size_t i = 0; i < 256; ++i) out.Palette()[i] = {pal[i].blue, pal[i].green, pal[i].red, 0};
  NearestFinder finder(pal);
  std::vector<uint8_t> row(size_t(bmp.Width()) * 4);
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint8_t* p = bmp.Row(y);
    if (bmp.Format() != PixelFormat::pf32bit) {
      ExpandRowTo32(bmp, y, row.data());
      p = row.data();
    }
    uint8_t* d = out.Row(y);
    for (int x = 0; x < bmp.Width(); ++x, p += 4) d[x] = uint8_t(finder.Find(p[2], p[1], p[0]));
  }
  out.Transparent = bmp.Transparent;
  out.TransparentColor = bmp.TransparentColor;
  out.TransparentMode_ = bmp.TransparentMode_;
  if (palette) *palette = pal;
  return out;
}

}  // namespace quendra
