// libpng's functions that the PNG reader calls, forwarded to the library opened on the first PNG
// picture (see lazy_library.h): most runs show a JPEG, and libpng brings zlib.
#include <png.h>

#include <cstdlib>

#include "formats/lazy_library.h"

namespace {
quendra::LazyLibrary libpng("PNG", QUENDRA_LIBPNG_SONAME);
}  // namespace

// clang-format off
QUENDRA_FORWARD(libpng, png_infop, png_create_info_struct, (png_const_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, png_structp, png_create_read_struct, (png_const_charp user_png_ver, png_voidp error_ptr, png_error_ptr error_fn, png_error_ptr warn_fn), (user_png_ver, error_ptr, error_fn, warn_fn))
QUENDRA_FORWARD(libpng, void, png_destroy_read_struct, (png_structpp png_ptr_ptr, png_infopp info_ptr_ptr, png_infopp end_info_ptr_ptr), (png_ptr_ptr, info_ptr_ptr, end_info_ptr_ptr))
QUENDRA_FORWARD(libpng, png_byte, png_get_color_type, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, png_voidp, png_get_error_ptr, (png_const_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_image_height, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_image_width, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, png_byte, png_get_interlace_type, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, png_voidp, png_get_io_ptr, (png_const_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, size_t, png_get_rowbytes, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_valid, (png_const_structrp png_ptr, png_const_inforp info_ptr, png_uint_32 flag), (png_ptr, info_ptr, flag))
QUENDRA_FORWARD(libpng, void, png_read_end, (png_structrp png_ptr, png_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, void, png_read_image, (png_structrp png_ptr, png_bytepp image), (png_ptr, image))
QUENDRA_FORWARD(libpng, void, png_read_info, (png_structrp png_ptr, png_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, void, png_read_row, (png_structrp png_ptr, png_bytep row, png_bytep display_row), (png_ptr, row, display_row))
QUENDRA_FORWARD(libpng, void, png_read_update_info, (png_structrp png_ptr, png_inforp info_ptr), (png_ptr, info_ptr))
QUENDRA_FORWARD(libpng, void, png_set_bgr, (png_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, void, png_set_chunk_malloc_max, (png_structrp png_ptr, png_alloc_size_t user_chunk_cache_max), (png_ptr, user_chunk_cache_max))
QUENDRA_FORWARD(libpng, void, png_set_expand, (png_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, void, png_set_gray_to_rgb, (png_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, int, png_set_interlace_handling, (png_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, void, png_set_keep_unknown_chunks, (png_structrp png_ptr, int keep, png_const_bytep chunk_list, int num_chunks), (png_ptr, keep, chunk_list, num_chunks))
QUENDRA_FORWARD(libpng, void, png_set_packing, (png_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, void, png_set_read_fn, (png_structrp png_ptr, png_voidp io_ptr, png_rw_ptr read_data_fn), (png_ptr, io_ptr, read_data_fn))
QUENDRA_FORWARD(libpng, void, png_set_scale_16, (png_structrp png_ptr), (png_ptr))
QUENDRA_FORWARD(libpng, void, png_set_user_limits, (png_structrp png_ptr, png_uint_32 user_width_max, png_uint_32 user_height_max), (png_ptr, user_width_max, user_height_max))
QUENDRA_FORWARD(libpng, int, png_sig_cmp, (png_const_bytep sig, size_t start, size_t num_to_check), (sig, start, num_to_check))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_IHDR, (png_const_structrp png_ptr, png_const_inforp info_ptr, png_uint_32 *width, png_uint_32 *height, int *bit_depth, int *color_type, int *interlace_method, int *compression_method, int *filter_method), (png_ptr, info_ptr, width, height, bit_depth, color_type, interlace_method, compression_method, filter_method))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_PLTE, (png_const_structrp png_ptr, png_inforp info_ptr, png_colorp *palette, int *num_palette), (png_ptr, info_ptr, palette, num_palette))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_cHRM, (png_const_structrp png_ptr, png_const_inforp info_ptr, double *white_x, double *white_y, double *red_x, double *red_y, double *green_x, double *green_y, double *blue_x, double *blue_y), (png_ptr, info_ptr, white_x, white_y, red_x, red_y, green_x, green_y, blue_x, blue_y))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_gAMA, (png_const_structrp png_ptr, png_const_inforp info_ptr, double *file_gamma), (png_ptr, info_ptr, file_gamma))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_iCCP, (png_const_structrp png_ptr, png_inforp info_ptr, png_charpp name, int *compression_type, png_bytepp profile, png_uint_32 *proflen), (png_ptr, info_ptr, name, compression_type, profile, proflen))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_tRNS, (png_const_structrp png_ptr, png_inforp info_ptr, png_bytep *trans_alpha, int *num_trans, png_color_16p *trans_color), (png_ptr, info_ptr, trans_alpha, num_trans, trans_color))
QUENDRA_FORWARD(libpng, png_uint_32, png_get_eXIf_1, (png_const_structrp png_ptr, png_const_inforp info_ptr, png_uint_32 *num_exif, png_bytep *exif), (png_ptr, info_ptr, num_exif, exif))
// clang-format on

// It never returns: the reader's error handler long-jumps out of it.
extern "C" void png_error(png_const_structrp png, png_const_charp message) {
  static const auto real = libpng.Function<decltype(&::png_error)>("png_error");
  real(png, message);
  std::abort();
}
