// Placeholder until the BMP reader lands.
#include "formats/graphic_error.h"
#include "formats/tbitmap.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTBitmap() { return std::make_unique<TBitmap>(); }
const GraphicClass TBitmap::kClass{"TBitmap", &kTGraphicClass, &NewTBitmap};
const GraphicClass TGraphicExGraphic::kClass{"TGraphicExGraphic", &TBitmap::kClass, nullptr};

void TBitmap::LoadFromMemory(std::span<const uint8_t> data) { image_ = DecodeBmp(data); }

Bitmap DecodeBmp(std::span<const uint8_t>) { throw EInvalidGraphic("BMP reader not built yet"); }
std::vector<uint8_t> EncodeBmp(const Bitmap&) { throw EInvalidGraphic("BMP writer not built yet"); }

}  // namespace quendra
