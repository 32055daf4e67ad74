// Placeholder until the reader lands.
#include "formats/pcx_graphic.h"

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTPCXGraphic() { return std::make_unique<TPCXGraphic>(); }
const GraphicClass TPCXGraphic::kClass{"TPCXGraphic", &TGraphicExGraphic::kClass, &NewTPCXGraphic};

void TPCXGraphic::LoadFromMemory(std::span<const uint8_t>) { throw EInvalidGraphic("TPCXGraphic: reader not built yet"); }

}  // namespace quendra
