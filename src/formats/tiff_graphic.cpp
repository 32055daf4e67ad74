// TIFF over libtiff, read from memory. Only the first image (IFD0) is read; strips and tiles,
// every photometric and compression libtiff's RGBA interface knows go through
// TIFFReadRGBAImageOriented. Rows come as stored; the orientation tag and the colour profile go
// with the picture for the loader to apply.
//
// The result is always a 32-bit bitmap (fourth byte 0): libtiff decodes straight into the
// bitmap's own rows, which are then turned into blue-green-red in place, so no second copy of
// the picture is ever held. Files with an alpha channel are composed over white, like PNG
// pictures with alpha: the bitmap type carries no per-pixel alpha the viewer would use. libtiff
// hands premultiplied samples back, so over white a channel is c + (255 - a).
//
// The file is "mapped" straight from memory: no copies, and libtiff 4.5 misreads uncompressed
// tiles through the read callback alone.
//
// libtiff's messages never reach stderr: per-file handlers keep the first error (or, lacking
// one, the last warning) for the exception.
#include "formats/tiff_graphic.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/errors.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTTIFFGraphic() {
  return std::make_unique<TTIFFGraphic>();
}
const GraphicClass TTIFFGraphic::kClass{"TTIFFGraphic", &TGraphicExGraphic::kClass,
                                        &NewTTIFFGraphic};

namespace {

// Largest single buffer libtiff may allocate for us (a strip or tile of decoded samples).
constexpr tmsize_t kMaxLibtiffAlloc = tmsize_t(1) << 30;
// Pixels a picture may take from strips or tiles without data of their own (see CheckStrips).
constexpr uint64_t kMaxPhantomPixels = uint64_t(16) << 20;

struct MemFile {
  const uint8_t* data;
  toff_t size, pos;
  std::string error, warning;
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemFile*>(h);
  if (n <= 0 || f->pos >= f->size) return 0;
  toff_t take = std::min<toff_t>(toff_t(n), f->size - f->pos);
  std::memcpy(buf, f->data + f->pos, size_t(take));
  f->pos += take;
  return tmsize_t(take);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
  return 0;
}
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemFile*>(h);
  toff_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
  // Offsets are unsigned; a backward SEEK_CUR arrives as a wrapped value, so wrapping is right.
  f->pos = base + off;  // past the end is allowed; reads there return nothing
  return f->pos;
}
int CloseProc(thandle_t) {
  return 0;
}
toff_t SizeProc(thandle_t h) {
  return static_cast<MemFile*>(h)->size;
}
int MapProc(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<MemFile*>(h);
  *base = const_cast<uint8_t*>(f->data);
  *size = f->size;
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

std::string Format(const char* module, const char* fmt, va_list ap) {
  char buf[512];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  return module && *module ? std::string(module) + ": " + buf : std::string(buf);
}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* f = static_cast<MemFile*>(user);
  if (f->error.empty()) f->error = Format(module, fmt, ap);
  return 1;  // handled: keep libtiff from printing it
}
int OnWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  static_cast<MemFile*>(user)->warning = Format(module, fmt, ap);
  return 1;
}

struct Options {
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  ~Options() { TIFFOpenOptionsFree(opts); }
};
struct Closer {
  TIFF* tif = nullptr;
  ~Closer() {
    if (tif) TIFFClose(tif);
  }
};

[[noreturn]] void Fail(const MemFile& f, const char* fallback) {
  const std::string& why = !f.error.empty()     ? f.error
                           : !f.warning.empty() ? f.warning
                                                : std::string(fallback);
  throw EInvalidGraphic("TIFF: " + why);
}

// A strip or tile read for good: its bytes in the file are given back.
void GiveBack(TIFF* tif, const MemFile& f, uint32_t chunk) {
  int bad = 0;
  const uint64_t at = TIFFGetStrileOffsetWithErr(tif, chunk, &bad);
  const uint64_t bytes = TIFFGetStrileByteCountWithErr(tif, chunk, &bad);
  if (!bad && at <= f.size && bytes <= f.size - at) DoneWithFileBytes({f.data + at, bytes});
}

// Chunky 8-bit RGB and RGBA strips, top-left first (the common photograph), are read a row at
// a time straight into the bitmap: libtiff then holds no strip of decoded samples, which for a
// file stored as one large strip would be a second picture. Returns false for other layouts.
bool ReadRgbScanlinesInto(TIFF* tif, const MemFile& f, uint32_t w, uint32_t h, Bitmap& out) {
  uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, bits = 0, spp = 0;
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  if (TIFFIsTiled(tif) || !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) ||
      photometric != PHOTOMETRIC_RGB)
    return false;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  // Rows are read as stored, whatever the orientation: the loader turns them upright.
  if (planar != PLANARCONFIG_CONTIG || bits != 8) return false;
  // Alpha only as a fourth, unassociated or associated sample; anything else takes the general way.
  const bool alpha = spp == 4;
  if (!(spp == 3 && extraCount == 0) &&
      !(alpha && extraCount == 1 &&
        (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)))
    return false;
  const bool premultiplied = alpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;
  if (TIFFScanlineSize64(tif) != uint64_t(w) * spp) return false;
  out.Allocate(int(w), int(h), PixelFormat::pf32bit);
  // Strips are read once, in order: each one's bytes go back once its rows are out.
  uint32_t rowsPerStrip = h;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, h);
  for (uint32_t y = 0; y < h; ++y) {
    if (y > 0 && y % rowsPerStrip == 0) GiveBack(tif, f, y / rowsPerStrip - 1);
    uint8_t* d = out.Row(int(y));
    // The row is read into the end of its own bitmap row and spread out in place.
    uint8_t* src = d + size_t(w) * (4 - spp);
    if (TIFFReadScanline(tif, src, y, 0) < 0) Fail(f, "cannot decode the image");
    for (uint32_t x = 0; x < w; ++x, d += 4, src += spp) {
      unsigned r = src[0], g = src[1], b = src[2];
      if (alpha) {
        const unsigned a = src[3];
        if (!premultiplied)
          r = (r * a + 127) / 255, g = (g * a + 127) / 255, b = (b * a + 127) / 255;
        r = std::min(255u, r + 255u - a), g = std::min(255u, g + 255u - a),
        b = std::min(255u, b + 255u - a);
      }
      d[0] = uint8_t(b);
      d[1] = uint8_t(g);
      d[2] = uint8_t(r);
      d[3] = 0;
    }
  }
  return true;
}

// Strips or tiles that repeat one another's data, or lie outside the file, hold no picture of
// their own: a few megabytes of them can claim a whole canvas (a million 16 x 16 tiles all
// pointing at one). Their pixels count against a budget, checked before the canvas is made.
PictureMetadata ReadLook(TIFF* tif) {
  PictureMetadata look;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  look.orientation = OrientationFromTag(orientation);
  uint16_t photometric = PHOTOMETRIC_RGB;
  look.colour.grey = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0 &&
                     photometric == PHOTOMETRIC_MINISBLACK;
  uint32_t length = 0;
  void* profile = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &profile) != 0 && profile != nullptr) {
    const auto* bytes = static_cast<const uint8_t*>(profile);
    look.colour.icc.assign(bytes, bytes + length);
  }
  return look;
}

void CheckStrips(TIFF* tif, toff_t fileSize, uint32_t w, uint32_t h) {
  const bool tiled = TIFFIsTiled(tif);
  const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  uint64_t pixelsEach = 0;
  if (tiled) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    pixelsEach = uint64_t(tw) * th;
  } else {
    uint32_t rows = h;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    pixelsEach = uint64_t(w) * std::min(rows, h);
  }
  std::vector<uint64_t> offsets;
  offsets.reserve(count);
  uint64_t phantom = 0;  // pixels of chunks outside the file or without bytes
  for (uint32_t i = 0; i < count; ++i) {
    int err = 0;
    const uint64_t at = TIFFGetStrileOffsetWithErr(tif, i, &err);
    const uint64_t bytes = err ? 0 : TIFFGetStrileByteCountWithErr(tif, i, &err);
    if (err || bytes == 0 || at >= fileSize || bytes > fileSize - at)
      phantom += pixelsEach;
    else
      offsets.push_back(at);
  }
  std::sort(offsets.begin(), offsets.end());
  const auto distinct = uint64_t(std::unique(offsets.begin(), offsets.end()) - offsets.begin());
  phantom += (offsets.size() - distinct) * pixelsEach;
  if (phantom > kMaxPhantomPixels)
    throw EInvalidGraphic("TIFF: " + std::to_string(phantom / 1000000) +
                          " megapixels of strips or tiles repeat others or lie outside the file");
}

// Every other layout goes through libtiff's RGBA interface, in bands of whole strips or rows of
// tiles straight into the bitmap, each band's chunks of the file given back once its rows are
// out: at the pixel limit the file is not held beside the picture.
void ReadRgbaBands(TIFF* tif, const MemFile& f, uint32_t w, uint32_t h, Orientation o,
                   Bitmap& out) {
  char why[1024] = "";
  TIFFRGBAImage img;
  if (!TIFFRGBAImageBegin(&img, tif, 1, why)) throw EInvalidGraphic(std::string("TIFF: ") + why);
  struct End {
    TIFFRGBAImage* img;
    ~End() { TIFFRGBAImageEnd(img); }
  } end{&img};
  // Asked for in the file's own orientation, libtiff flips nothing: the rows come as stored.
  img.req_orientation = uint16_t(o);

  const bool tiled = TIFFIsTiled(tif);
  uint32_t unit = h, across = 1;  // rows of a strip or a tile; chunks side by side
  if (tiled) {
    uint32_t tw = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    across = tw ? (w + tw - 1) / tw : 1;
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
  }
  unit = std::clamp<uint32_t>(unit, 1, h);
  const uint32_t down = (h + unit - 1) / unit;
  const uint32_t chunks = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  const uint32_t planes = chunks / std::max<uint64_t>(uint64_t(down) * across, 1);
  // About a megabyte of picture a band, in whole units.
  const uint32_t band = unit * std::max<uint32_t>(1, uint32_t((1u << 18) / w) / unit);

  for (uint32_t y = 0; y < h; y += band) {
    const uint32_t rows = std::min(band, h - y);
    img.row_offset = int(y);
    auto* raster = reinterpret_cast<uint32_t*>(out.Row(int(y)));
    if (!TIFFRGBAImageGet(&img, raster, w, rows)) Fail(f, "cannot decode the image");
    for (uint32_t r = 0; r < rows; ++r) {
      uint8_t* d = out.Row(int(y + r));
      for (uint32_t x = 0; x < w; ++x, d += 4) {
        uint32_t p;
        std::memcpy(&p, d, 4);
        const unsigned back = 255u - TIFFGetA(p);
        d[0] = uint8_t(std::min(255u, TIFFGetB(p) + back));
        d[1] = uint8_t(std::min(255u, TIFFGetG(p) + back));
        d[2] = uint8_t(std::min(255u, TIFFGetR(p) + back));
        d[3] = 0;
      }
    }
    const uint32_t doneUnits = y + rows == h ? down : (y + rows) / unit;
    for (uint32_t p = 0; p < planes; ++p)
      for (uint32_t u = y / unit; u < doneUnits; ++u)
        for (uint32_t a = 0; a < across; ++a) GiveBack(tif, f, (p * down + u) * across + a);
  }
}

}  // namespace

void TTIFFGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  MemFile f{data.data(), data.size(), 0, {}, {}};
  Options o;
  if (!o.opts) throw EInvalidGraphic("TIFF: out of memory");
  TIFFOpenOptionsSetMaxSingleMemAlloc(o.opts, kMaxLibtiffAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(o.opts, OnError, &f);
  TIFFOpenOptionsSetWarningHandlerExtR(o.opts, OnWarning, &f);
  Closer c;
  c.tif = TIFFClientOpenExt("memory", "r", &f, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                            MapProc, UnmapProc, o.opts);
  if (!c.tif) Fail(f, "not a TIFF file");

  uint32_t w = 0, h = 0;
  if (!TIFFGetField(c.tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(c.tif, TIFFTAG_IMAGELENGTH, &h))
    Fail(f, "image size missing");
  if (w == 0 || h == 0) throw EInvalidGraphic("TIFF: the image has no size");
  CheckDimensions(w, h);
  char why[1024] = "";
  if (!TIFFRGBAImageOK(c.tif, why)) throw EInvalidGraphic(std::string("TIFF: ") + why);

  CheckStrips(c.tif, f.size, w, h);
  const PictureMetadata look = ReadLook(c.tif);

  {
    Bitmap out;
    f.error.clear();
    if (ReadRgbScanlinesInto(c.tif, f, w, h, out)) {
      image_ = std::move(out);
      metadata_ = look;
      return;
    }
  }

  // Compressed strips can still turn out short; the rows are only touched as libtiff fills
  // them (large pictures come as untouched zero pages), so a lying header costs little.
  Bitmap out;
  out.Allocate(int(w), int(h), PixelFormat::pf32bit);
  // libtiff also reports conditions it recovers from as errors; only a failed read counts.
  f.error.clear();
  ReadRgbaBands(c.tif, f, w, h, look.orientation, out);
  image_ = std::move(out);
  metadata_ = look;
}

namespace {
constexpr std::string_view kTiffListed[] = {".tif", ".tiff"};
}  // namespace

// The general format module registers the class; there is no writer.
const FormatRecord kTiffFormat{&TTIFFGraphic::kClass, {}, {}, kTiffListed, false, nullptr};

}  // namespace quendra
