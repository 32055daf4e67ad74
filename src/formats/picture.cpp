#include "formats/picture.h"

#include "base/errors.h"
#include "formats/format_table.h"
#include "formats/tbitmap.h"

namespace quendra {

std::string PictureExtension(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return {};
  return path.substr(dot + 1);
}

void TPicture::LoadFromFile(const std::string& path) {
  std::string ext = PictureExtension(path);
  const GraphicClass* cls = FileFormats().FindExt(ext);
  if (!cls) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  if (!cls->create)
    throw EInvalidGraphic(std::string("No reader for ") + cls->name + " in this build (." + ext +
                          ")");
  std::unique_ptr<TGraphic> g = cls->create();
  g->LoadFromFile(path);  // on failure g is discarded and the old graphic stays
  SetGraphic(std::move(g));
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> g) {
  graphic_ = std::move(g);
  if (graphic_) graphic_->OnChange = [this] { Changed(); };
  Changed();
}

void TPicture::AssignBitmap(Bitmap bmp) {
  auto b = std::make_unique<TBitmap>();
  b->SetImage(std::move(bmp));
  SetGraphic(std::move(b));
}

TBitmap& TPicture::AsBitmap() {
  if (auto* b = dynamic_cast<TBitmap*>(graphic_.get())) return *b;
  // The graphic is replaced right after: its pixels move rather than being copied, so a picture
  // at the pixel limit is held once, not twice.
  Bitmap bmp;
  if (graphic_) graphic_->HandOver(bmp);
  AssignBitmap(std::move(bmp));
  return static_cast<TBitmap&>(*graphic_);
}

}  // namespace quendra
