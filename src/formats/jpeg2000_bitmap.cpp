// Placeholder until the reader lands.
#include "formats/jpeg2000_bitmap.h"

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTJpeg2000Bitmap() { return std::make_unique<TJpeg2000Bitmap>(); }
const GraphicClass TJpeg2000Bitmap::kClass{"TJpeg2000Bitmap", &TBitmap::kClass, &NewTJpeg2000Bitmap};

void TJpeg2000Bitmap::LoadFromMemory(std::span<const uint8_t>) { throw EInvalidGraphic("TJpeg2000Bitmap: reader not built yet"); }

}  // namespace quendra
