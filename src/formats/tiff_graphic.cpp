// TIFF over libtiff, read from memory. Only the first image (IFD0) is read; strips and tiles,
// every photometric and compression libtiff's RGBA interface knows go through
// TIFFReadRGBAImageOriented, which also honours the file's orientation flips.
//
// The result is always a 24-bit bitmap. Files with an alpha channel are composed over white,
// like PNG pictures with alpha: the bitmap type carries no per-pixel alpha the viewer would use.
// libtiff hands premultiplied samples back, so over white a channel is c + (255 - a).
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

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTTIFFGraphic() {
  return std::make_unique<TTIFFGraphic>();
}
const GraphicClass TTIFFGraphic::kClass{"TTIFFGraphic", &TGraphicExGraphic::kClass,
                                        &NewTTIFFGraphic};

namespace {

// Largest single buffer libtiff may allocate for us (a strip or tile of decoded samples).
constexpr tmsize_t kMaxLibtiffAlloc = tmsize_t(1) << 30;

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

  std::vector<uint32_t> raster(size_t(w) * h);
  // libtiff also reports conditions it recovers from as errors; only a failed read counts.
  f.error.clear();
  if (!TIFFReadRGBAImageOriented(c.tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1))
    Fail(f, "cannot decode the image");

  Bitmap out(int(w), int(h), PixelFormat::pf24bit);
  for (uint32_t y = 0; y < h; ++y) {
    const uint32_t* s = raster.data() + size_t(y) * w;
    uint8_t* d = out.Row(int(y));
    for (uint32_t x = 0; x < w; ++x, d += 3) {
      const uint32_t p = s[x];
      const unsigned back = 255u - TIFFGetA(p);
      d[0] = uint8_t(std::min(255u, TIFFGetB(p) + back));
      d[1] = uint8_t(std::min(255u, TIFFGetG(p) + back));
      d[2] = uint8_t(std::min(255u, TIFFGetR(p) + back));
    }
  }
  image_ = std::move(out);
}

}  // namespace quendra
