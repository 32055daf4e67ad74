// Feeds arbitrary bytes to what reads a picture's metadata: the EXIF orientation and, as an
// embedded colour profile, the colour conversion of a small picture. The first byte chooses.
#include <cstdint>
#include <span>

#include "base/bitmap.h"
#include "formats/exif_orientation.h"
#include "imaging/colour_management.h"
#include "imaging/orient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::span<const uint8_t> rest(data + 1, size - 1);
  quendra::Bitmap b(5, 3, quendra::PixelFormat::pf32bit);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width() * 4; ++x) b.Row(y)[x] = uint8_t(x * 37 + y * 11);
  if (data[0] & 1) {
    quendra::OrientBitmap(b, quendra::ExifOrientation(rest));
  } else {
    quendra::ColourSpace colour;
    colour.icc.assign(rest.begin(), rest.end());
    quendra::ConvertToOutputColours(b, colour);
  }
  return 0;
}
