// libwebp's and its demuxer's functions that the WebP reader calls (the header's inline helpers
// call the *Internal ones), forwarded to the libraries opened on the first WebP picture (see
// lazy_library.h).
#include <webp/decode.h>
#include <webp/demux.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary webp("WebP", QUENDRA_LIBWEBP_SONAME);
quendra::LazyLibrary demux("WebP", QUENDRA_LIBWEBPDEMUX_SONAME);
using Demuxer = const WebPDemuxer*;
}  // namespace

// clang-format off
QUENDRA_FORWARD(webp, VP8StatusCode, WebPGetFeaturesInternal, (const uint8_t* data, size_t size, WebPBitstreamFeatures* f, int version), (data, size, f, version))
QUENDRA_FORWARD(webp, int, WebPInitDecoderConfigInternal, (WebPDecoderConfig* config, int version), (config, version))
QUENDRA_FORWARD(webp, WebPIDecoder*, WebPIDecode, (const uint8_t* data, size_t size, WebPDecoderConfig* config), (data, size, config))
QUENDRA_FORWARD(webp, VP8StatusCode, WebPIUpdate, (WebPIDecoder* d, const uint8_t* data, size_t size), (d, data, size))
QUENDRA_FORWARD(webp, void, WebPIDelete, (WebPIDecoder* d), (d))
QUENDRA_FORWARD(demux, WebPDemuxer*, WebPDemuxInternal, (const WebPData* data, int partial, WebPDemuxState* state, int version), (data, partial, state, version))
QUENDRA_FORWARD(demux, void, WebPDemuxDelete, (WebPDemuxer* d), (d))
QUENDRA_FORWARD(demux, uint32_t, WebPDemuxGetI, (Demuxer d, WebPFormatFeature feature), (d, feature))
QUENDRA_FORWARD(demux, int, WebPDemuxGetFrame, (Demuxer d, int frame, WebPIterator* it), (d, frame, it))
QUENDRA_FORWARD(demux, void, WebPDemuxReleaseIterator, (WebPIterator* it), (it))
QUENDRA_FORWARD(demux, int, WebPDemuxGetChunk, (Demuxer d, const char fourcc[4], int n, WebPChunkIterator* it), (d, fourcc, n, it))
QUENDRA_FORWARD(demux, void, WebPDemuxReleaseChunkIterator, (WebPChunkIterator* it), (it))
// clang-format on
