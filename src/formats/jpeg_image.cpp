// Placeholder until the JPEG reader lands.
#include "formats/jpeg_image.h"

#include "formats/graphic_error.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTJPEGImage() { return std::make_unique<TJPEGImage>(); }
const GraphicClass TJPEGImage::kClass{"TJPEGImage", &kTGraphicClass, &NewTJPEGImage};

void TJPEGImage::LoadFromMemory(std::span<const uint8_t>) { throw EInvalidGraphic("JPEG reader not built yet"); }
void TJPEGImage::AssignTo(Bitmap&) const { throw EInvalidGraphic("JPEG reader not built yet"); }
static int Div(int v, JpegScale s) { int d = 1 << int(s); return (v + d - 1) / d; }
int TJPEGImage::ScaledWidth() const { return Div(width_, scale_); }
int TJPEGImage::ScaledHeight() const { return Div(height_, scale_); }
void TJPEGImage::SetScale(JpegScale s) {
  if (s == scale_) return;
  scale_ = s;
  Changed();
}
std::vector<uint8_t> EncodeJpeg(const Bitmap&, int) { throw EInvalidGraphic("JPEG writer not built yet"); }

}  // namespace quendra
