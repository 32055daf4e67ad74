// Placeholder until the reader lands.
#include "formats/png_object.h"

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTPNGObject() { return std::make_unique<TPNGObject>(); }
const GraphicClass TPNGObject::kClass{"TPNGObject", &kTGraphicClass, &NewTPNGObject};

void TPNGObject::LoadFromMemory(std::span<const uint8_t>) { throw EInvalidGraphic("TPNGObject: reader not built yet"); }

}  // namespace quendra
namespace quendra {
std::vector<uint8_t> EncodePng(const Bitmap&) { throw EInvalidGraphic("PNG writer not built yet"); }
}
