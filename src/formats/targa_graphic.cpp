// Placeholder until the reader lands.
#include "formats/targa_graphic.h"

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTTargaGraphic() { return std::make_unique<TTargaGraphic>(); }
const GraphicClass TTargaGraphic::kClass{"TTargaGraphic", &TGraphicExGraphic::kClass, &NewTTargaGraphic};

void TTargaGraphic::LoadFromMemory(std::span<const uint8_t>) { throw EInvalidGraphic("TTargaGraphic: reader not built yet"); }

}  // namespace quendra
namespace quendra {
std::vector<uint8_t> EncodeTarga(const Bitmap&) { throw EInvalidGraphic("Targa writer not built yet"); }
}
