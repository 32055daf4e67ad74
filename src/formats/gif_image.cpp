// Placeholder until the reader lands.
#include "formats/gif_image.h"

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTGIFImage() { return std::make_unique<TGIFImage>(); }
const GraphicClass TGIFImage::kClass{"TGIFImage", &kTGraphicClass, &NewTGIFImage};

void TGIFImage::LoadFromMemory(std::span<const uint8_t>) { throw EInvalidGraphic("TGIFImage: reader not built yet"); }

}  // namespace quendra
