// libavif's functions that the AVIF reader calls, forwarded to the library opened on the first
// AVIF picture (see lazy_library.h).
#include <avif/avif.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary avif("AVIF", QUENDRA_LIBAVIF_SONAME);
}

// clang-format off
QUENDRA_FORWARD(avif, void, avifColorPrimariesGetValues, (avifColorPrimaries acp, float out[8]), (acp, out))
QUENDRA_FORWARD(avif, avifDecoder*, avifDecoderCreate, (void), ())
QUENDRA_FORWARD(avif, void, avifDecoderDestroy, (avifDecoder* d), (d))
QUENDRA_FORWARD(avif, avifResult, avifDecoderSetIOMemory, (avifDecoder* d, const uint8_t* data, size_t size), (d, data, size))
QUENDRA_FORWARD(avif, avifResult, avifDecoderParse, (avifDecoder* d), (d))
QUENDRA_FORWARD(avif, avifResult, avifDecoderNthImageMaxExtent, (const avifDecoder* d, uint32_t frame, avifExtent* out), (d, frame, out))
QUENDRA_FORWARD(avif, avifResult, avifDecoderNextImage, (avifDecoder* d), (d))
QUENDRA_FORWARD(avif, void, avifRGBImageSetDefaults, (avifRGBImage* rgb, const avifImage* image), (rgb, image))
QUENDRA_FORWARD(avif, avifResult, avifImageYUVToRGB, (const avifImage* image, avifRGBImage* rgb), (image, rgb))
QUENDRA_FORWARD(avif, const char*, avifResultToString, (avifResult r), (r))
// clang-format on
