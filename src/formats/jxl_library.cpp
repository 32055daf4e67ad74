// libjxl's and its thread runner's functions that the JPEG XL reader calls, forwarded to the
// libraries opened on the first JPEG XL picture (see lazy_library.h).
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary jxl("JPEG XL", QUENDRA_LIBJXL_SONAME);
quendra::LazyLibrary threads("JPEG XL", QUENDRA_LIBJXL_THREADS_SONAME);
using Format = const JxlPixelFormat*;
}  // namespace

// clang-format off
QUENDRA_FORWARD(jxl, JxlSignature, JxlSignatureCheck, (const uint8_t* buf, size_t len), (buf, len))
QUENDRA_FORWARD(jxl, JxlDecoder*, JxlDecoderCreate, (const JxlMemoryManager* m), (m))
QUENDRA_FORWARD(jxl, void, JxlDecoderDestroy, (JxlDecoder* d), (d))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderSetParallelRunner, (JxlDecoder* d, JxlParallelRunner r, void* opaque), (d, r, opaque))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderSubscribeEvents, (JxlDecoder* d, int events), (d, events))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderSetUnpremultiplyAlpha, (JxlDecoder* d, JXL_BOOL on), (d, on))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderSetInput, (JxlDecoder* d, const uint8_t* data, size_t size), (d, data, size))
QUENDRA_FORWARD(jxl, void, JxlDecoderCloseInput, (JxlDecoder* d), (d))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderProcessInput, (JxlDecoder* d), (d))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderGetBasicInfo, (const JxlDecoder* d, JxlBasicInfo* info), (d, info))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderGetColorAsEncodedProfile, (const JxlDecoder* d, Format f, JxlColorProfileTarget t, JxlColorEncoding* out), (d, f, t, out))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderGetICCProfileSize, (const JxlDecoder* d, Format f, JxlColorProfileTarget t, size_t* size), (d, f, t, size))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderGetColorAsICCProfile, (const JxlDecoder* d, Format f, JxlColorProfileTarget t, uint8_t* out, size_t size), (d, f, t, out, size))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderSetPreferredColorProfile, (JxlDecoder* d, const JxlColorEncoding* e), (d, e))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderImageOutBufferSize, (const JxlDecoder* d, Format f, size_t* size), (d, f, size))
QUENDRA_FORWARD(jxl, JxlDecoderStatus, JxlDecoderSetImageOutBuffer, (JxlDecoder* d, Format f, void* buffer, size_t size), (d, f, buffer, size))
QUENDRA_FORWARD(threads, void*, JxlThreadParallelRunnerCreate, (const JxlMemoryManager* m, size_t workers), (m, workers))
QUENDRA_FORWARD(threads, void, JxlThreadParallelRunnerDestroy, (void* runner), (runner))
QUENDRA_FORWARD(threads, JxlParallelRetCode, JxlThreadParallelRunner, (void* runner, void* opaque, JxlParallelRunInit init, JxlParallelRunFunction func, uint32_t start, uint32_t end), (runner, opaque, init, func, start, end))
// clang-format on
