// libdeflate's and zlib's functions that the PNG writer calls (zlib for pictures too big to
// compress in one piece), forwarded to the libraries opened on the first PNG save (see
// lazy_library.h).
#include <libdeflate.h>
#include <zlib.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary libdeflate("PNG", QUENDRA_LIBDEFLATE_SONAME);
quendra::LazyLibrary zlib("PNG", QUENDRA_LIBZ_SONAME);
}  // namespace

// clang-format off
QUENDRA_FORWARD(libdeflate, struct libdeflate_compressor *, libdeflate_alloc_compressor, (int compression_level), (compression_level))
QUENDRA_FORWARD(libdeflate, uint32_t, libdeflate_crc32, (uint32_t crc, const void *buffer, size_t len), (crc, buffer, len))
QUENDRA_FORWARD(libdeflate, void, libdeflate_free_compressor, (struct libdeflate_compressor *compressor), (compressor))
QUENDRA_FORWARD(libdeflate, size_t, libdeflate_zlib_compress, (struct libdeflate_compressor *compressor, const void *in, size_t in_nbytes, void *out, size_t out_nbytes_avail), (compressor, in, in_nbytes, out, out_nbytes_avail))
QUENDRA_FORWARD(libdeflate, size_t, libdeflate_zlib_compress_bound, (struct libdeflate_compressor *compressor, size_t in_nbytes), (compressor, in_nbytes))
QUENDRA_FORWARD(zlib, int, deflateInit_, (z_streamp strm, int level, const char *version, int stream_size), (strm, level, version, stream_size))
QUENDRA_FORWARD(zlib, int, deflate, (z_streamp strm, int flush), (strm, flush))
QUENDRA_FORWARD(zlib, int, deflateEnd, (z_streamp strm), (strm))
// clang-format on
