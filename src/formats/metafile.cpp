#include "formats/metafile.h"

#include <cstring>

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewMetafile() {
  return std::make_unique<TMetafile>();
}
const GraphicClass TMetafile::kClass{"TMetafile", &kTGraphicClass, &NewMetafile};

const GraphicClass kTIconClass{"TIcon", &kTGraphicClass, nullptr};
const GraphicClass kTEPSGraphicClass{"TEPSGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTRLAGraphicClass{"TRLAGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTSGIGraphicClass{"TSGIGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPSDGraphicClass{"TPSDGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPPMGraphicClass{"TPPMGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTAutodeskGraphicClass{"TAutodeskGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPCDGraphicClass{"TPCDGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTGIFGraphicClass{"TGIFGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTCUTGraphicClass{"TCUTGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPSPGraphicClass{"TPSPGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTPNGGraphicClass{"TPNGGraphic", &kTGraphicClass, nullptr};
const GraphicClass kTGEDGraphicClass{"TGEDGraphic", &kTGraphicClass, nullptr};

static int32_t Le32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                 uint32_t(p[3]) << 24);
}

void TMetafile::LoadFromMemory(std::span<const uint8_t> d) {
  // Enhanced metafile header record: type 1, bounds at 8, frame (0.01 mm) at 24, " EMF" at 40.
  if (d.size() < 88 || Le32(d.data()) != 1 || std::memcmp(d.data() + 40, " EMF", 4) != 0)
    throw EInvalidGraphic("Invalid metafile");
  int64_t w = int64_t(Le32(d.data() + 16)) - Le32(d.data() + 8) + 1;
  int64_t h = int64_t(Le32(d.data() + 20)) - Le32(d.data() + 12) + 1;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) throw EInvalidGraphic("Invalid metafile");
  width_ = int(w);
  height_ = int(h);
}

}  // namespace quendra
