// PNG over libpng. The picture is read once at load time into the bitmap it draws itself as:
//   1-bit pictures (grey or palette)        -> pf1bit
//   2- and 4-bit pictures                   -> pf4bit (2-bit indexes widened)
//   8-bit palette pictures                  -> pf8bit
//   everything else                         -> pf24bit, 16-bit samples scaled to 8
//   any alpha (alpha channel, or a palette  -> pf24bit, blended over white: the object draws
//   with partial/several transparent entries)  itself into a freshly created bitmap, whose
//                                              canvas starts white like a new sheet
// A single transparent colour (tRNS of a grey or RGB picture, or exactly one fully transparent
// palette entry) keeps the pixels and marks the bitmap transparent with that colour.
//
// libpng reports errors through a callback that must not return; we longjmp out of it only
// inside the shim functions, whose frames hold nothing with a destructor.
#include "formats/png_object.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "base/errors.h"
#include "formats/exif_orientation.h"
#include "formats/png_writer.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTPNGObject() {
  return std::make_unique<TPNGObject>();
}
const GraphicClass TPNGObject::kClass{"TPNGObject", &kTGraphicClass, &NewTPNGObject};

namespace {

// Largest ancillary chunk we let libpng hold in memory (text, ICC profiles and the like).
constexpr png_alloc_size_t kMaxChunkBytes = 16u << 20;

struct PngIo {
  jmp_buf jump;
  char message[256];
  const uint8_t* data = nullptr;
  size_t size = 0, pos = 0;
  // writer output (malloc'd so that growing it never throws inside libpng)
  uint8_t* out = nullptr;
  size_t outSize = 0, outCap = 0;
};

void ErrorFn(png_structp png, png_const_charp msg) {
  auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
  std::snprintf(io->message, sizeof io->message, "PNG: %s", msg ? msg : "error");
  std::longjmp(io->jump, 1);
}
void WarningFn(png_structp, png_const_charp) {}

void ReadFn(png_structp png, png_bytep out, size_t n) {
  auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
  if (n > io->size - io->pos) png_error(png, "unexpected end of data");
  std::memcpy(out, io->data + io->pos, n);
  io->pos += n;
}

struct Reader {
  PngIo io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct Header {
  PictureMetadata look;
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_colorp palette = nullptr;
  int paletteCount = 0;
  png_bytep trnsAlpha = nullptr;
  int trnsCount = 0;
  png_color_16p trnsColor = nullptr;
};

// How the rows are read: as stored, 2-bit unpacked to bytes, as BGR, or as BGRA to blend.
enum class Plan { kStored, kUnpack2, kBgr, kBgra };

// --- shim ------------------------------------------------------------------------------------

// The orientation (eXIf before the picture data) and the colour space: an embedded profile, sRGB
// named as such, or a gamma with optional primaries. A gamma of 2.2 alone is what sRGB pictures
// are commonly tagged with, and is left as sRGB.
void ReadLook(png_structp png, png_infop info, PictureMetadata& look) {
  look.colour.grey = (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) == 0;
  png_bytep exif = nullptr;
  png_uint_32 exifLength = 0;
  if (png_get_eXIf_1(png, info, &exifLength, &exif) != 0 && exif != nullptr)
    look.orientation = ExifOrientation({exif, exifLength});
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 profileLength = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength) != 0 &&
      profile != nullptr) {
    look.colour.icc.assign(profile, profile + profileLength);
    return;
  }
  double gamma = 0;
  if (png_get_valid(png, info, PNG_INFO_sRGB) || png_get_gAMA(png, info, &gamma) == 0 ||
      !(gamma > 0.01 && gamma < 10))
    return;
  CalibratedRgb c{
      {0.3127, 0.3290}, {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, CalibratedRgb::Curve::Gamma,
      1.0 / gamma};
  const bool primaries = png_get_cHRM(png, info, &c.white[0], &c.white[1], &c.red[0], &c.red[1],
                                      &c.green[0], &c.green[1], &c.blue[0], &c.blue[1]) != 0;
  if (!primaries && std::abs(c.gamma - 2.2) < 0.05) return;
  look.colour.calibrated = c;
}

bool ShimReadInfo(Reader* r, Header* h) {
  if (setjmp(r->io.jump)) return false;
  r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r->io, ErrorFn, WarningFn);
  if (!r->png) return false;
  r->info = png_create_info_struct(r->png);
  if (!r->info) png_error(r->png, "out of memory");
  png_set_read_fn(r->png, &r->io, ReadFn);
  png_set_user_limits(r->png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(r->png, kMaxChunkBytes);
  // Nothing but the picture, its palette and its transparency is used: text, colour profiles
  // and every other ancillary chunk are stepped over unread, never inflated (200 compressed
  // text chunks of 5 MB would otherwise cost a gigabyte).
  png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  // ... but for the few small ones that say how the picture is meant to be seen.
  static const png_byte kLook[] = "iCCP\0sRGB\0gAMA\0cHRM\0eXIf";
  png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_AS_DEFAULT, kLook, 5);
  png_read_info(r->png, r->info);
  ReadLook(r->png, r->info, h->look);
  png_get_IHDR(r->png, r->info, &h->width, &h->height, &h->bitDepth, &h->colorType, nullptr,
               nullptr, nullptr);
  if (png_get_valid(r->png, r->info, PNG_INFO_PLTE))
    png_get_PLTE(r->png, r->info, &h->palette, &h->paletteCount);
  if (png_get_valid(r->png, r->info, PNG_INFO_tRNS))
    png_get_tRNS(r->png, r->info, &h->trnsAlpha, &h->trnsCount, &h->trnsColor);
  return true;
}

// Places one decoded row of the given pass (0 for a picture that is not interlaced) in the
// bitmap: row r of the pass, cols pixels.
using RowPlacer = void (*)(void* ctx, const uint8_t* row, bool interlaced, int pass, int r,
                           int cols);

// With rows, libpng writes the picture's rows in place (its interlace handling combines the
// passes there). With a placer, each row of each pass goes through the one-row buffer `row`
// and the placer puts its pixels where they belong, so no second full-size copy is needed.
bool ShimReadImage(Reader* r, Plan plan, uint8_t** rows, size_t rowCapacity, uint8_t* row,
                   RowPlacer place, void* ctx) {
  if (setjmp(r->io.jump)) return false;
  png_structp png = r->png;
  switch (plan) {
    case Plan::kStored:
      break;
    case Plan::kUnpack2:
      png_set_packing(png);
      break;
    case Plan::kBgr:
    case Plan::kBgra:
      // Only the alpha plan expands: expansion also turns a tRNS colour into an alpha channel,
      // while the plain plan keeps that colour and marks it transparent instead.
      if (plan == Plan::kBgra) png_set_expand(png);
      png_set_gray_to_rgb(png);
      png_set_scale_16(png);
      png_set_bgr(png);
      break;
  }
  if (!place) png_set_interlace_handling(png);
  png_read_update_info(png, r->info);
  if (png_get_rowbytes(png, r->info) > rowCapacity)
    png_error(png, "row layout does not match the header");
  if (!place) {
    png_read_image(png, rows);
  } else {
    const png_uint_32 w = png_get_image_width(png, r->info), h = png_get_image_height(png, r->info);
    const bool interlaced = png_get_interlace_type(png, r->info) == PNG_INTERLACE_ADAM7;
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
      const png_uint_32 cols = interlaced ? PNG_PASS_COLS(w, pass) : w;
      const png_uint_32 count = interlaced ? PNG_PASS_ROWS(h, pass) : h;
      if (cols == 0) continue;  // libpng skips passes without pixels
      for (png_uint_32 y = 0; y < count; ++y) {
        png_read_row(png, row, nullptr);
        place(ctx, row, interlaced, pass, int(y), int(cols));
      }
    }
  }
  png_read_end(png, nullptr);  // checks the CRCs and the zlib stream's end
  return true;
}

struct Placement {
  Bitmap* out;
  bool unpack2;  // 2-bit indexes to nibbles; else BGRA to BGR over white
};

void PlaceRow(void* ctx, const uint8_t* s, bool interlaced, int pass, int r, int cols) {
  auto* p = static_cast<Placement*>(ctx);
  const int y = interlaced ? int(PNG_PASS_START_ROW(pass)) + r * int(PNG_PASS_ROW_OFFSET(pass)) : r;
  const int x0 = interlaced ? int(PNG_PASS_START_COL(pass)) : 0;
  const int dx = interlaced ? int(PNG_PASS_COL_OFFSET(pass)) : 1;
  uint8_t* o = p->out->Row(y);
  if (p->unpack2) {
    for (int i = 0, x = x0; i < cols; ++i, x += dx)
      o[x >> 1] = uint8_t((x & 1) ? ((o[x >> 1] & 0xF0) | (s[i] & 15))
                                  : ((o[x >> 1] & 0x0F) | (s[i] << 4)));
    return;
  }
  for (int i = 0, x = x0; i < cols; ++i, x += dx, s += 4) {
    const unsigned a = s[3], back = 255u * (255u - a);
    for (int c = 0; c < 3; ++c) o[3 * x + c] = uint8_t((s[c] * a + back + 127u) / 255u);
  }
}

// ---------------------------------------------------------------------------------------------

uint8_t Scale16(unsigned v) {
  return uint8_t((v * 255u + 32895u) >> 16);
}

// A sample of the given depth as 8 bits.
uint8_t ToByte(unsigned v, int depth) {
  if (depth == 16) return Scale16(v);
  if (depth == 8) return uint8_t(v);
  return uint8_t(v * 255u / ((1u << depth) - 1u));
}

// libpng sizes a chunk's buffer from its length field before reading it; a chunk that claims
// more than the file still holds could never be read, so it is refused before any of it is
// allocated.
void CheckChunks(std::span<const uint8_t> data) {
  if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
    throw EInvalidGraphic("Not a PNG file: bad signature");
  for (size_t at = 8; data.size() - at >= 8;) {
    const size_t length = size_t(data[at]) << 24 | size_t(data[at + 1]) << 16 |
                          size_t(data[at + 2]) << 8 | data[at + 3];
    if (data.size() - at < 12 || length > data.size() - at - 12)
      throw EInvalidGraphic("PNG: a chunk runs past the end of the file");
    if (std::memcmp(&data[at + 4], "IEND", 4) == 0) break;
    at += 12 + length;
  }
}

// The bitmap the header asks for and how its rows are read.
struct Layout {
  bool palette, grey, alpha;
  int singleTransparentIndex = -1;
  PixelFormat pf = PixelFormat::pf24bit;
  Plan plan;
};

Layout LayoutOf(const Header& h) {
  Layout l;
  l.palette = h.colorType == PNG_COLOR_TYPE_PALETTE;
  l.grey = h.colorType == PNG_COLOR_TYPE_GRAY;
  l.alpha = (h.colorType & PNG_COLOR_MASK_ALPHA) != 0;
  if (l.palette && h.trnsAlpha && h.trnsCount > 0) {
    int zero = 0, partial = 0;
    for (int i = 0; i < std::min(h.trnsCount, h.paletteCount); ++i) {
      if (h.trnsAlpha[i] == 0)
        ++zero, l.singleTransparentIndex = i;
      else if (h.trnsAlpha[i] != 255)
        ++partial;
    }
    if (partial || zero > 1) l.alpha = true, l.singleTransparentIndex = -1;
  }
  l.plan = l.alpha ? Plan::kBgra : Plan::kBgr;
  if (!l.alpha && (l.palette || l.grey)) {
    if (h.bitDepth == 1)
      l.pf = PixelFormat::pf1bit, l.plan = Plan::kStored;
    else if (h.bitDepth == 2)
      l.pf = PixelFormat::pf4bit, l.plan = Plan::kUnpack2;
    else if (h.bitDepth == 4)
      l.pf = PixelFormat::pf4bit, l.plan = Plan::kStored;
    else if (l.palette)
      l.pf = PixelFormat::pf8bit, l.plan = Plan::kStored;
  }
  return l;
}

void FillPalette(const Header& h, const Layout& l, Bitmap& out) {
  if (l.pf == PixelFormat::pf24bit) return;
  auto& pal = out.Palette();
  if (l.palette) {
    pal.resize(size_t(h.paletteCount));
    for (int i = 0; i < h.paletteCount; ++i)
      pal[size_t(i)] = {h.palette[i].blue, h.palette[i].green, h.palette[i].red, 0};
  } else {
    pal.resize(size_t(1) << h.bitDepth);
    for (size_t i = 0; i < pal.size(); ++i) {
      uint8_t v = ToByte(unsigned(i), h.bitDepth);
      pal[i] = {v, v, v, 0};
    }
  }
}

// Rows are read straight into the bitmap; rows that need converting go through one row.
bool ReadRows(Reader& r, Plan plan, Bitmap& out) {
  if (plan == Plan::kUnpack2 || plan == Plan::kBgra) {
    const size_t rowBytes = size_t(out.Width()) * (plan == Plan::kBgra ? 4 : 1);
    std::vector<uint8_t> row(rowBytes);
    Placement placement{&out, plan == Plan::kUnpack2};
    return ShimReadImage(&r, plan, nullptr, rowBytes, row.data(), PlaceRow, &placement);
  }
  std::vector<uint8_t*> rows(static_cast<size_t>(out.Height()));
  for (int y = 0; y < out.Height(); ++y) rows[size_t(y)] = out.Row(y);
  return ShimReadImage(&r, plan, rows.data(), out.Stride(), nullptr, nullptr, nullptr);
}

void MarkTransparent(const Header& h, const Layout& l, Bitmap& out) {
  if (l.singleTransparentIndex >= 0 && l.singleTransparentIndex < h.paletteCount) {
    const png_color& c = h.palette[l.singleTransparentIndex];
    out.Transparent = true;
    out.TransparentColor = RGB(c.red, c.green, c.blue);
  } else if (!l.palette && !l.alpha && h.trnsColor) {
    out.Transparent = true;
    if (l.grey) {
      uint8_t v = ToByte(h.trnsColor->gray & ((1u << h.bitDepth) - 1u), h.bitDepth);
      out.TransparentColor = RGB(v, v, v);
    } else {
      out.TransparentColor =
          RGB(ToByte(h.trnsColor->red, h.bitDepth), ToByte(h.trnsColor->green, h.bitDepth),
              ToByte(h.trnsColor->blue, h.bitDepth));
    }
  }
}

}  // namespace

void TPNGObject::LoadFromMemory(std::span<const uint8_t> data) {
  CheckChunks(data);
  Reader r;
  r.io.data = data.data();
  r.io.size = data.size();
  Header h;
  if (!ShimReadInfo(&r, &h))
    throw EInvalidGraphic(r.io.message[0] ? r.io.message : "PNG: cannot start reading");
  CheckDimensions(int(h.width), int(h.height));
  const Layout layout = LayoutOf(h);

  Bitmap out(int(h.width), int(h.height), layout.pf);
  FillPalette(h, layout, out);
  if (!ReadRows(r, layout.plan, out)) throw EInvalidGraphic(r.io.message);
  MarkTransparent(h, layout, out);
  image_ = std::move(out);
  metadata_ = std::move(h.look);
}

namespace {
constexpr std::string_view kPngExtensions[] = {"PNG"};
constexpr std::string_view kPngListed[] = {".png"};
const WriterRecord kPngWriter{SaveFormat::Png, ".png", {}, &WritePng};
}  // namespace

const FormatRecord kPngFormat{&TPNGObject::kClass, kPngExtensions, "Portable Network Graphics",
                              kPngListed,          false,          &kPngWriter};

}  // namespace quendra
