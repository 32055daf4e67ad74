// libtiff's functions that the TIFF reader calls, forwarded to the library opened on the first
// TIFF picture (see lazy_library.h): libtiff brings liblzma, libzstd, libjbig and libLerc.
#include <tiffio.h>

#include <cstdarg>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary libtiff("TIFF", QUENDRA_LIBTIFF_SONAME);
using Options = TIFFOpenOptions*;
}  // namespace

// clang-format off
QUENDRA_FORWARD(libtiff, TIFF*, TIFFClientOpenExt, (const char* name, const char* mode, thandle_t h, TIFFReadWriteProc read, TIFFReadWriteProc write, TIFFSeekProc seek, TIFFCloseProc close, TIFFSizeProc size, TIFFMapFileProc map, TIFFUnmapFileProc unmap, Options o), (name, mode, h, read, write, seek, close, size, map, unmap, o))
QUENDRA_FORWARD(libtiff, void, TIFFClose, (TIFF* t), (t))
QUENDRA_FORWARD(libtiff, int, TIFFVGetField, (TIFF* t, uint32_t tag, va_list ap), (t, tag, ap))
QUENDRA_FORWARD(libtiff, int, TIFFVGetFieldDefaulted, (TIFF* t, uint32_t tag, va_list ap), (t, tag, ap))
QUENDRA_FORWARD(libtiff, uint64_t, TIFFGetStrileByteCountWithErr, (TIFF* t, uint32_t strile, int* error), (t, strile, error))
QUENDRA_FORWARD(libtiff, uint64_t, TIFFGetStrileOffsetWithErr, (TIFF* t, uint32_t strile, int* error), (t, strile, error))
QUENDRA_FORWARD(libtiff, int, TIFFIsTiled, (TIFF* t), (t))
QUENDRA_FORWARD(libtiff, uint32_t, TIFFNumberOfStrips, (TIFF* t), (t))
QUENDRA_FORWARD(libtiff, uint32_t, TIFFNumberOfTiles, (TIFF* t), (t))
QUENDRA_FORWARD(libtiff, Options, TIFFOpenOptionsAlloc, (void), ())
QUENDRA_FORWARD(libtiff, void, TIFFOpenOptionsFree, (Options o), (o))
QUENDRA_FORWARD(libtiff, void, TIFFOpenOptionsSetErrorHandlerExtR, (Options o, TIFFErrorHandlerExtR f, void* data), (o, f, data))
QUENDRA_FORWARD(libtiff, void, TIFFOpenOptionsSetWarningHandlerExtR, (Options o, TIFFErrorHandlerExtR f, void* data), (o, f, data))
QUENDRA_FORWARD(libtiff, void, TIFFOpenOptionsSetMaxSingleMemAlloc, (Options o, tmsize_t bytes), (o, bytes))
QUENDRA_FORWARD(libtiff, int, TIFFRGBAImageOK, (TIFF* t, char message[1024]), (t, message))
QUENDRA_FORWARD(libtiff, int, TIFFRGBAImageBegin, (TIFFRGBAImage* i, TIFF* t, int stop, char message[1024]), (i, t, stop, message))
QUENDRA_FORWARD(libtiff, int, TIFFRGBAImageGet, (TIFFRGBAImage* i, uint32_t* raster, uint32_t w, uint32_t h), (i, raster, w, h))
QUENDRA_FORWARD(libtiff, void, TIFFRGBAImageEnd, (TIFFRGBAImage* i), (i))
QUENDRA_FORWARD(libtiff, int, TIFFReadScanline, (TIFF* t, void* buf, uint32_t row, uint16_t sample), (t, buf, row, sample))
QUENDRA_FORWARD(libtiff, uint64_t, TIFFScanlineSize64, (TIFF* t), (t))
// clang-format on

// The variadic getters go through their va_list forms.
#define QUENDRA_TIFF_GETTER(name, vname)            \
  extern "C" int name(TIFF* t, uint32_t tag, ...) { \
    va_list ap;                                     \
    va_start(ap, tag);                              \
    const int found = vname(t, tag, ap);            \
    va_end(ap);                                     \
    return found;                                   \
  }
QUENDRA_TIFF_GETTER(TIFFGetField, TIFFVGetField)
QUENDRA_TIFF_GETTER(TIFFGetFieldDefaulted, TIFFVGetFieldDefaulted)
