// libheif's functions that the HEIF reader calls, forwarded to the library opened on the first
// HEIF picture (see lazy_library.h).
#include <libheif/heif.h>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary heif("HEIF", QUENDRA_LIBHEIF_SONAME);
using Handle = const heif_image_handle*;
using Image = const heif_image*;
}  // namespace

// clang-format off
QUENDRA_FORWARD(heif, heif_error, heif_init, (heif_init_params* p), (p))
QUENDRA_FORWARD(heif, heif_context*, heif_context_alloc, (void), ())
QUENDRA_FORWARD(heif, void, heif_context_free, (heif_context* c), (c))
QUENDRA_FORWARD(heif, void, heif_context_set_max_decoding_threads, (heif_context* c, int n), (c, n))
QUENDRA_FORWARD(heif, void, heif_context_set_maximum_image_size_limit, (heif_context* c, int w), (c, w))
QUENDRA_FORWARD(heif, heif_error, heif_context_read_from_memory_without_copy, (heif_context* c, const void* mem, size_t size, const heif_reading_options* o), (c, mem, size, o))
QUENDRA_FORWARD(heif, heif_error, heif_context_get_primary_image_handle, (heif_context* c, heif_image_handle** h), (c, h))
QUENDRA_FORWARD(heif, int, heif_image_handle_get_width, (Handle h), (h))
QUENDRA_FORWARD(heif, int, heif_image_handle_get_height, (Handle h), (h))
QUENDRA_FORWARD(heif, int, heif_image_handle_get_ispe_width, (Handle h), (h))
QUENDRA_FORWARD(heif, int, heif_image_handle_get_ispe_height, (Handle h), (h))
QUENDRA_FORWARD(heif, int, heif_image_handle_has_alpha_channel, (Handle h), (h))
QUENDRA_FORWARD(heif, heif_color_profile_type, heif_image_handle_get_color_profile_type, (Handle h), (h))
QUENDRA_FORWARD(heif, size_t, heif_image_handle_get_raw_color_profile_size, (Handle h), (h))
QUENDRA_FORWARD(heif, heif_error, heif_image_handle_get_raw_color_profile, (Handle h, void* out), (h, out))
QUENDRA_FORWARD(heif, heif_error, heif_image_handle_get_nclx_color_profile, (Handle h, heif_color_profile_nclx** out), (h, out))
QUENDRA_FORWARD(heif, void, heif_nclx_color_profile_free, (heif_color_profile_nclx* p), (p))
QUENDRA_FORWARD(heif, void, heif_image_handle_release, (Handle h), (h))
QUENDRA_FORWARD(heif, heif_decoding_options*, heif_decoding_options_alloc, (), ())
QUENDRA_FORWARD(heif, void, heif_decoding_options_free, (heif_decoding_options* o), (o))
QUENDRA_FORWARD(heif, heif_error, heif_decode_image, (Handle h, heif_image** out, heif_colorspace s, heif_chroma c, const heif_decoding_options* o), (h, out, s, c, o))
QUENDRA_FORWARD(heif, int, heif_image_get_width, (Image i, heif_channel c), (i, c))
QUENDRA_FORWARD(heif, int, heif_image_get_height, (Image i, heif_channel c), (i, c))
QUENDRA_FORWARD(heif, int, heif_image_get_bits_per_pixel_range, (Image i, heif_channel c), (i, c))
QUENDRA_FORWARD(heif, const uint8_t*, heif_image_get_plane_readonly, (Image i, heif_channel c, int* stride), (i, c, stride))
QUENDRA_FORWARD(heif, int, heif_image_handle_get_luma_bits_per_pixel, (Handle h), (h))
QUENDRA_FORWARD(heif, heif_colorspace, heif_image_get_colorspace, (Image i), (i))
QUENDRA_FORWARD(heif, heif_chroma, heif_image_get_chroma_format, (Image i), (i))
QUENDRA_FORWARD(heif, int, heif_image_has_channel, (Image i, heif_channel c), (i, c))
QUENDRA_FORWARD(heif, heif_error, heif_image_get_nclx_color_profile, (Image i, heif_color_profile_nclx** out), (i, out))
QUENDRA_FORWARD(heif, void, heif_image_release, (Image i), (i))
// clang-format on
