// giflib's functions that the GIF reader and writer call, forwarded to the library opened on the
// first GIF picture or save (see lazy_library.h).
#include <gif_lib.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary giflib("GIF", QUENDRA_LIBGIF_SONAME);
}  // namespace

// clang-format off
QUENDRA_FORWARD(giflib, int, DGifCloseFile, (GifFileType * GifFile, int *ErrorCode), (GifFile, ErrorCode))
QUENDRA_FORWARD(giflib, int, DGifExtensionToGCB, (const size_t GifExtensionLength, const GifByteType *GifExtension, GraphicsControlBlock *GCB), (GifExtensionLength, GifExtension, GCB))
QUENDRA_FORWARD(giflib, int, DGifGetExtension, (GifFileType *GifFile, int *GifExtCode, GifByteType **GifExtension), (GifFile, GifExtCode, GifExtension))
QUENDRA_FORWARD(giflib, int, DGifGetExtensionNext, (GifFileType *GifFile, GifByteType **GifExtension), (GifFile, GifExtension))
QUENDRA_FORWARD(giflib, int, DGifGetImageDesc, (GifFileType *GifFile), (GifFile))
QUENDRA_FORWARD(giflib, int, DGifGetLine, (GifFileType *GifFile, GifPixelType *GifLine, int GifLineLen), (GifFile, GifLine, GifLineLen))
QUENDRA_FORWARD(giflib, int, DGifGetRecordType, (GifFileType *GifFile, GifRecordType *GifType), (GifFile, GifType))
QUENDRA_FORWARD(giflib, GifFileType *, DGifOpen, (void *userPtr, InputFunc readFunc, int *Error), (userPtr, readFunc, Error))
QUENDRA_FORWARD(giflib, int, EGifCloseFile, (GifFileType *GifFile, int *ErrorCode), (GifFile, ErrorCode))
QUENDRA_FORWARD(giflib, GifFileType *, EGifOpen, (void *userPtr, OutputFunc writeFunc, int *Error), (userPtr, writeFunc, Error))
QUENDRA_FORWARD(giflib, int, EGifPutExtension, (GifFileType *GifFile, const int GifExtCode, const int GifExtLen, const void *GifExtension), (GifFile, GifExtCode, GifExtLen, GifExtension))
QUENDRA_FORWARD(giflib, int, EGifPutImageDesc, (GifFileType *GifFile, const int GifLeft, const int GifTop, const int GifWidth, const int GifHeight, const bool GifInterlace, const ColorMapObject *GifColorMap), (GifFile, GifLeft, GifTop, GifWidth, GifHeight, GifInterlace, GifColorMap))
QUENDRA_FORWARD(giflib, int, EGifPutLine, (GifFileType *GifFile, GifPixelType *GifLine, int GifLineLen), (GifFile, GifLine, GifLineLen))
QUENDRA_FORWARD(giflib, int, EGifPutScreenDesc, (GifFileType *GifFile, const int GifWidth, const int GifHeight, const int GifColorRes, const int GifBackGround, const ColorMapObject *GifColorMap), (GifFile, GifWidth, GifHeight, GifColorRes, GifBackGround, GifColorMap))
QUENDRA_FORWARD(giflib, void, EGifSetGifVersion, (GifFileType *GifFile, const bool gif89), (GifFile, gif89))
QUENDRA_FORWARD(giflib, const char *, GifErrorString, (int ErrorCode), (ErrorCode))
QUENDRA_FORWARD(giflib, void, GifFreeMapObject, (ColorMapObject *Object), (Object))
QUENDRA_FORWARD(giflib, ColorMapObject *, GifMakeMapObject, (int ColorCount, const GifColorType *ColorMap), (ColorCount, ColorMap))
// clang-format on
