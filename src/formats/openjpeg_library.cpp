// OpenJPEG's functions that the JPEG 2000 reader and writer call, forwarded to the library
// opened on the first JPEG 2000 picture or save (see lazy_library.h).
#include <openjpeg.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary openjp2("JPEG 2000", QUENDRA_LIBOPENJP2_SONAME);
using Codec = opj_codec_t*;
using Stream = opj_stream_t*;
}  // namespace

// clang-format off
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_codec_set_threads, (Codec c, int threads), (c, threads))
QUENDRA_FORWARD(openjp2, Codec, opj_create_compress, (OPJ_CODEC_FORMAT f), (f))
QUENDRA_FORWARD(openjp2, Codec, opj_create_decompress, (OPJ_CODEC_FORMAT f), (f))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_decode, (Codec c, Stream s, opj_image_t* image), (c, s, image))
QUENDRA_FORWARD(openjp2, void, opj_destroy_codec, (Codec c), (c))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_end_compress, (Codec c, Stream s), (c, s))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_end_decompress, (Codec c, Stream s), (c, s))
QUENDRA_FORWARD(openjp2, void, opj_image_destroy, (opj_image_t* image), (image))
QUENDRA_FORWARD(openjp2, opj_image_t*, opj_image_tile_create, (OPJ_UINT32 n, opj_image_cmptparm_t* parms, OPJ_COLOR_SPACE space), (n, parms, space))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_read_header, (Stream s, Codec c, opj_image_t** image), (s, c, image))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_set_decoded_components, (Codec c, OPJ_UINT32 n, const OPJ_UINT32* indices, OPJ_BOOL transforms), (c, n, indices, transforms))
QUENDRA_FORWARD(openjp2, void, opj_set_default_decoder_parameters, (opj_dparameters_t* p), (p))
QUENDRA_FORWARD(openjp2, void, opj_set_default_encoder_parameters, (opj_cparameters_t* p), (p))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_set_error_handler, (Codec c, opj_msg_callback f, void* data), (c, f, data))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_set_info_handler, (Codec c, opj_msg_callback f, void* data), (c, f, data))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_set_warning_handler, (Codec c, opj_msg_callback f, void* data), (c, f, data))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_setup_decoder, (Codec c, opj_dparameters_t* p), (c, p))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_setup_encoder, (Codec c, opj_cparameters_t* p, opj_image_t* image), (c, p, image))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_start_compress, (Codec c, opj_image_t* image, Stream s), (c, image, s))
QUENDRA_FORWARD(openjp2, Stream, opj_stream_create, (OPJ_SIZE_T bytes, OPJ_BOOL input), (bytes, input))
QUENDRA_FORWARD(openjp2, void, opj_stream_destroy, (Stream s), (s))
QUENDRA_FORWARD(openjp2, void, opj_stream_set_read_function, (Stream s, opj_stream_read_fn f), (s, f))
QUENDRA_FORWARD(openjp2, void, opj_stream_set_seek_function, (Stream s, opj_stream_seek_fn f), (s, f))
QUENDRA_FORWARD(openjp2, void, opj_stream_set_skip_function, (Stream s, opj_stream_skip_fn f), (s, f))
QUENDRA_FORWARD(openjp2, void, opj_stream_set_write_function, (Stream s, opj_stream_write_fn f), (s, f))
QUENDRA_FORWARD(openjp2, void, opj_stream_set_user_data, (Stream s, void* data, opj_stream_free_user_data_fn f), (s, data, f))
QUENDRA_FORWARD(openjp2, void, opj_stream_set_user_data_length, (Stream s, OPJ_UINT64 length), (s, length))
QUENDRA_FORWARD(openjp2, OPJ_BOOL, opj_write_tile, (Codec c, OPJ_UINT32 tile, OPJ_BYTE* data, OPJ_UINT32 size, Stream s), (c, tile, data, size, s))
// clang-format on
