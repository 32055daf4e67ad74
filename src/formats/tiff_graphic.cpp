// Placeholder until the reader lands.
#include "formats/tiff_graphic.h"

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTTIFFGraphic() { return std::make_unique<TTIFFGraphic>(); }
const GraphicClass TTIFFGraphic::kClass{"TTIFFGraphic", &TGraphicExGraphic::kClass, &NewTTIFFGraphic};

void TTIFFGraphic::LoadFromMemory(std::span<const uint8_t>) { throw EInvalidGraphic("TTIFFGraphic: reader not built yet"); }

}  // namespace quendra
