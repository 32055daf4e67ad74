#pragma once
// TMetafile and TIcon: registered so that the format table is complete. A metafile reads its
// header (size) but cannot become a bitmap yet, so showing one takes the loader's failure path.
#include "formats/graphic.h"

namespace quendra {

class TMetafile : public TGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }

 private:
  int width_ = 0, height_ = 0;
};

// Classes of the general format module that this program never loads through (their
// extensions are outside the file filter); they have no reader in this build.
extern const GraphicClass kTIconClass;
extern const GraphicClass kTEPSGraphicClass, kTRLAGraphicClass, kTSGIGraphicClass,
    kTPSDGraphicClass, kTPPMGraphicClass, kTAutodeskGraphicClass, kTPCDGraphicClass,
    kTGIFGraphicClass, kTCUTGraphicClass, kTPSPGraphicClass, kTPNGGraphicClass, kTGEDGraphicClass;

}  // namespace quendra
