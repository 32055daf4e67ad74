#include "formats/metafile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/errors.h"
#include "formats/emf_writer.h"
#include "formats/load_cancel.h"
#include "formats/tbitmap.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewMetafile() {
  return std::make_unique<TMetafile>();
}
const GraphicClass TMetafile::kClass{"TMetafile", &kTGraphicClass, &NewMetafile};

const GraphicClass kTIconClass{"TIcon", &kTGraphicClass, nullptr};
const GraphicClass kTEPSGraphicClass{"TEPSGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTRLAGraphicClass{"TRLAGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTSGIGraphicClass{"TSGIGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPSDGraphicClass{"TPSDGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPPMGraphicClass{"TPPMGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTAutodeskGraphicClass{"TAutodeskGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPCDGraphicClass{"TPCDGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTGIFGraphicClass{"TGIFGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTCUTGraphicClass{"TCUTGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPSPGraphicClass{"TPSPGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPNGGraphicClass{"TPNGGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTGEDGraphicClass{"TGEDGraphic", &kTGraphicClass, nullptr};

static int32_t Le32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                 uint32_t(p[3]) << 24);
}

namespace {

// Records that change nothing a bitmap drawing depends on.
bool IsNeutralRecord(uint32_t type) {
  switch (type) {
    case 18:  // EMR_SETBKMODE
    case 20:  // EMR_SETROP2
    case 21:  // EMR_SETSTRETCHBLTMODE
    case 24:  // EMR_SETTEXTCOLOR
    case 25:  // EMR_SETBKCOLOR
    case 33:  // EMR_SAVEDC
    case 34:  // EMR_RESTOREDC
    case 70:  // EMR_GDICOMMENT
    case 98:  // EMR_SETICMMODE
      return true;
    default:
      return false;
  }
}

// One bitmap drawing of a record: the DIB's source rectangle copied onto a destination rectangle.
struct Blit {
  int32_t xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc;
  uint32_t offBmi, cbBmi, offBits, cbBits, usage, rop;
  // The *DIBITS records count a bottom-up DIB's source rows from its bottom; blits count rows
  // of the source device from the top.
  bool rowsFromBottom;
};

std::optional<Blit> ReadBlit(uint32_t type, const uint8_t* r, size_t size) {
  auto at = [&](size_t o) { return Le32(r + o); };
  Blit b{};
  if (type == EMR_STRETCHDIBITS && size >= 80) {
    b = {at(24),           at(28),           at(72),           at(76),           at(32),
         at(36),           at(40),           at(44),           uint32_t(at(48)), uint32_t(at(52)),
         uint32_t(at(56)), uint32_t(at(60)), uint32_t(at(64)), uint32_t(at(68)), true};
  } else if (type == EMR_SETDIBITSTODEVICE && size >= 76) {
    // Only whole-DIB records: a band of scan lines would need the DIB's other bands.
    if (at(68) != 0) return std::nullopt;
    b = {at(24),           at(28),           at(40),           at(44),           at(32),
         at(36),           at(40),           at(44),           uint32_t(at(48)), uint32_t(at(52)),
         uint32_t(at(56)), uint32_t(at(60)), uint32_t(at(64)), 0x00CC0020,       true};
  } else if ((type == EMR_BITBLT && size >= 100) || (type == EMR_STRETCHBLT && size >= 108)) {
    const bool stretch = type == EMR_STRETCHBLT;
    b = {at(24),
         at(28),
         at(32),
         at(36),
         at(44),
         at(48),
         stretch ? at(100) : at(32),
         stretch ? at(104) : at(36),
         uint32_t(at(84)),
         uint32_t(at(88)),
         uint32_t(at(92)),
         uint32_t(at(96)),
         uint32_t(at(80)),
         uint32_t(at(40)),
         false};
  } else {
    return std::nullopt;
  }
  // A blit without a source bitmap is a fill; other raster operations mix with what is there.
  if (b.cbBmi == 0 || b.cbBits == 0 || b.rop != 0x00CC0020 || b.usage != 0) return std::nullopt;
  if (b.cxDest <= 0 || b.cyDest <= 0 || b.cxSrc <= 0 || b.cySrc <= 0) return std::nullopt;
  if (b.offBmi > size || b.cbBmi > size - b.offBmi || b.offBits > size ||
      b.cbBits > size - b.offBits || b.cbBmi < 12)
    return std::nullopt;
  return b;
}

// The DIB of a record, decoded through the BMP reader, and whether its rows run bottom-up.
Bitmap DecodeDib(const uint8_t* r, const Blit& b, bool& bottomUp) {
  std::vector<uint8_t> file(14 + size_t(b.cbBmi) + b.cbBits);
  const uint32_t fileSize = uint32_t(file.size()), offBits = 14 + b.cbBmi;
  file[0] = 'B', file[1] = 'M';
  std::memcpy(file.data() + 2, &fileSize, 4);
  std::memcpy(file.data() + 10, &offBits, 4);
  std::memcpy(file.data() + 14, r + b.offBmi, b.cbBmi);
  std::memcpy(file.data() + 14 + b.cbBmi, r + b.offBits, b.cbBits);
  bottomUp = b.cbBmi == 12 || Le32(r + b.offBmi + 8) > 0;
  return DecodeBmp(file);
}

}  // namespace

void TMetafile::LoadFromMemory(std::span<const uint8_t> d) {
  // Enhanced metafile header record: type 1, bounds at 8, frame (0.01 mm) at 24, " EMF" at 40.
  if (d.size() < 88 || Le32(d.data()) != 1 || std::memcmp(d.data() + 40, " EMF", 4) != 0)
    throw EInvalidGraphic("Invalid metafile");
  const int32_t left = Le32(d.data() + 8), top = Le32(d.data() + 12);
  int64_t w = int64_t(Le32(d.data() + 16)) - left + 1;
  int64_t h = int64_t(Le32(d.data() + 20)) - top + 1;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) throw EInvalidGraphic("Invalid metafile");
  width_ = int(w);
  height_ = int(h);
  image_.reset();

  // Walk the records; any record that is neither neutral nor a bitmap drawing leaves the
  // metafile without a bitmap.
  std::vector<std::pair<const uint8_t*, Blit>> blits;
  size_t at = uint32_t(Le32(d.data() + 4));
  bool ended = false;
  while (!ended && at <= d.size() && d.size() - at >= 8) {
    const uint32_t type = uint32_t(Le32(d.data() + at));
    const uint32_t size = uint32_t(Le32(d.data() + at + 4));
    if (size < 8 || size % 4 != 0 || size > d.size() - at) return;
    const uint8_t* r = d.data() + at;
    if (type == EMR_EOF) {
      ended = true;
    } else if (auto blit = ReadBlit(type, r, size)) {
      blits.emplace_back(r, *blit);
    } else if (!IsNeutralRecord(type)) {
      return;
    }
    at += size;
  }
  if (!ended || blits.empty()) return;

  // One blit of a whole DIB onto the whole picture: the DIB itself, in its own pixel format.
  if (blits.size() == 1) {
    const Blit& b = blits[0].second;
    bool bottomUp = false;
    Bitmap dib = DecodeDib(blits[0].first, b, bottomUp);
    if (b.xDest == left && b.yDest == top && b.cxDest == w && b.cyDest == h && b.xSrc == 0 &&
        b.ySrc == 0 && b.cxSrc == dib.Width() && b.cySrc == dib.Height() && dib.Width() == w &&
        dib.Height() == h) {
      image_ = std::move(dib);
      return;
    }
  }

  // Otherwise each DIB is drawn in turn onto a white picture, stretched to its destination
  // (nearest pixel) and clipped to the picture. Only the part of each destination inside the
  // picture is visited; the sum of those parts is the drawing's work, bounded before the canvas
  // exists: a few hundred kilobytes of records can stretch one pixel over the whole picture
  // thousands of times.
  CheckDimensions(w, h);
  struct Clip {
    int64_t x0, y0, dxFirst, dxEnd, dyFirst, dyEnd;
  };
  std::vector<Clip> clips;
  uint64_t work = 0;
  for (const auto& [r, b] : blits) {
    Clip c{int64_t(b.xDest) - left, int64_t(b.yDest) - top, 0, 0, 0, 0};
    c.dxFirst = std::max<int64_t>(0, -c.x0), c.dxEnd = std::min<int64_t>(b.cxDest, w - c.x0);
    c.dyFirst = std::max<int64_t>(0, -c.y0), c.dyEnd = std::min<int64_t>(b.cyDest, h - c.y0);
    if (c.dxEnd > c.dxFirst && c.dyEnd > c.dyFirst)
      work += uint64_t(c.dxEnd - c.dxFirst) * uint64_t(c.dyEnd - c.dyFirst);
    clips.push_back(c);
  }
  if (work > kMaxDrawnPixels)
    throw EInvalidGraphic("Invalid metafile: its bitmaps cover the picture more than " +
                          std::to_string(kMaxDrawnPixels / uint64_t(kMaxPixels)) + " times over");
  Bitmap canvas(width_, height_, PixelFormat::pf24bit);
  for (int y = 0; y < height_; ++y) std::memset(canvas.Row(y), 0xFF, size_t(width_) * 3);
  for (size_t i = 0; i < blits.size(); ++i) {
    const auto& [r, b] = blits[i];
    const auto& [x0, y0, dxFirst, dxEnd, dyFirst, dyEnd] = clips[i];
    if (dxEnd <= dxFirst || dyEnd <= dyFirst) continue;
    ThrowIfCancelled();
    bool bottomUp = false;
    const Bitmap dib = DecodeDib(r, b, bottomUp);
    std::vector<uint8_t> row(size_t(dib.Width()) * 4);
    // The source column of each destination column, worked out once for all rows; a column
    // outside the DIB is left as it is.
    std::vector<int32_t> columns(size_t(dxEnd - dxFirst));
    bool everyColumn = true;
    for (int64_t dx = dxFirst; dx < dxEnd; ++dx) {
      const int64_t sx = b.xSrc + dx * b.cxSrc / b.cxDest;
      const bool inside = sx >= 0 && sx < dib.Width();
      columns[size_t(dx - dxFirst)] = inside ? int32_t(sx) : -1;
      everyColumn = everyColumn && inside;
    }
    const size_t spanBytes = 3 * size_t(dxEnd - dxFirst);
    int64_t lastTy = -1;
    const uint8_t* lastRow = nullptr;
    for (int64_t dy = dyFirst; dy < dyEnd; ++dy) {
      if ((dy & 255) == 0) ThrowIfCancelled();
      // The source row as our rows run (top to bottom).
      const int64_t k = dy * b.cySrc / b.cyDest;
      const int64_t ty = b.rowsFromBottom && bottomUp
                             ? dib.Height() - 1 - (int64_t(b.ySrc) + b.cySrc - 1 - k)
                             : int64_t(b.ySrc) + k;
      if (ty < 0 || ty >= dib.Height()) continue;
      uint8_t* o = canvas.Row(int(y0 + dy)) + 3 * (x0 + dxFirst);
      // A DIB stretched taller than itself repeats its rows: the span just drawn is copied.
      if (ty == lastTy && everyColumn) {
        std::memcpy(o, lastRow, spanBytes);
        continue;
      }
      const uint8_t* s = RowAs32(dib, int(ty), row.data());
      for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c] >= 0) std::memcpy(o + 3 * c, s + 4 * size_t(columns[c]), 3);
      lastTy = ty, lastRow = o;
    }
  }
  image_ = std::move(canvas);
}

void TMetafile::AssignTo(Bitmap& dst) const {
  if (!image_) return TGraphic::AssignTo(dst);
  dst = *image_;
}

void TMetafile::HandOver(Bitmap& dst) {
  if (!image_) return TGraphic::AssignTo(dst);
  dst = std::move(*image_);
  image_.reset();
}

namespace {
constexpr std::string_view kEmfListed[] = {".emf"};
const WriterRecord kEmfWriter{SaveFormat::Emf, ".emf", {}, &WriteEmf};
}  // namespace

// The format table registers the class itself.
const FormatRecord kEmfFormat{&TMetafile::kClass, {}, {}, kEmfListed, false, &kEmfWriter};

}  // namespace quendra
