#include "formats/format_table.h"

#include <algorithm>
#include <cctype>

#include "formats/gif_image.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/metafile.h"
#include "formats/pcx_graphic.h"
#include "formats/png_object.h"
#include "formats/targa_graphic.h"
#include "formats/tbitmap.h"
#include "formats/tiff_graphic.h"

namespace quendra {

static std::string Lower(std::string s) {
  for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TFileFormatsList::TFileFormatsList() {
  Add("wmf", "Metafiles", &TMetafile::kClass);
  Add("emf", "Enhanced Metafiles", &TMetafile::kClass);
  Add("ico", "Icons", &kTIconClass);
  Add("bmp", "Bitmaps", &TBitmap::kClass);
}

void TFileFormatsList::Add(const std::string& ext, const std::string& description,
                           const GraphicClass* cls) {
  entries_.push_back({Lower(ext), description, cls});
}

void TFileFormatsList::Remove(const GraphicClass* cls) {
  std::erase_if(entries_, [cls](const FileFormat& f) { return f.graphicClass->InheritsFrom(cls); });
}

const GraphicClass* TFileFormatsList::FindExt(const std::string& ext) const {
  std::string key = Lower(ext);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->extension == key) return it->graphicClass;
  return nullptr;
}

void RegisterModuleFormats(TFileFormatsList& t) {
  // JPEG module.
  t.Add("jpeg", "JPEG Image File", &TJPEGImage::kClass);
  t.Add("jpg", "JPEG Image File", &TJPEGImage::kClass);

  // General format module: replaces the platform's own registrations, then adds its readers.
  t.Remove(&TJPEGImage::kClass);
  t.Remove(&TBitmap::kClass);
  t.Remove(&kTIconClass);
  t.Remove(&TMetafile::kClass);
  t.Add("bmp", "Windows bitmaps", &TBitmap::kClass);
  t.Add("ico", "Windows icons", &kTIconClass);
  t.Add("wmf", "Windows metafiles", &TMetafile::kClass);
  t.Add("emf", "Enhanced Windows metafiles", &TMetafile::kClass);
  for (const char* e : {"jfif", "jpg", "jpe", "jpeg"}) t.Add(e, "JPEG images", &TJPEGImage::kClass);
  for (const char* e : {"msk", "rle", "dib"}) t.Add(e, "Windows bitmaps", &TBitmap::kClass);
  for (const char* e : {"tga", "vst", "vda", "win", "icb"})
    t.Add(e, "Truevision images", &TTargaGraphic::kClass);
  for (const char* e : {"tif", "tiff", "fax"}) t.Add(e, "TIFF images", &TTIFFGraphic::kClass);
  t.Add("eps", "Encapsulated Postscript images", &kTEPSGraphicClass);
  for (const char* e : {"pcx", "pcc", "scr"})
    t.Add(e, "ZSoft Paintbrush images", &TPCXGraphic::kClass);
  for (const char* e : {"rpf", "rla"}) t.Add(e, "Alias/Wavefront images", &kTRLAGraphicClass);
  for (const char* e : {"sgi", "rgba", "rgb", "bw"}) t.Add(e, "SGI images", &kTSGIGraphicClass);
  for (const char* e : {"psd", "pdd"}) t.Add(e, "Photoshop images", &kTPSDGraphicClass);
  for (const char* e : {"ppm", "pgm", "pbm"}) t.Add(e, "Portable pixel maps", &kTPPMGraphicClass);
  for (const char* e : {"cel", "pic"}) t.Add(e, "Autodesk images", &kTAutodeskGraphicClass);
  t.Add("pcd", "Kodak Photo-CD images", &kTPCDGraphicClass);
  t.Add("gif", "CompuServe images", &kTGIFGraphicClass);
  t.Add("cut", "Dr. Halo images", &kTCUTGraphicClass);
  for (const char* e : {"psp", "pfr", "tub"}) t.Add(e, "Paintshop Pro images", &kTPSPGraphicClass);
  t.Add("png", "Portable network graphic images", &kTPNGGraphicClass);
  t.Add("ged", "Arts & Letters images", &kTGEDGraphicClass);

  // GIF module.
  t.Add("GIF", "GIF Image", &TGIFImage::kClass);
  // PNG module.
  t.Add("PNG", "Portable Network Graphics", &TPNGObject::kClass);
  // JPEG 2000 module.
  for (const char* e : {"jp2", "j2k", "jpc"}) t.Add(e, "JPEG 2000 Image", &TJpeg2000Bitmap::kClass);
}

TFileFormatsList& FileFormats() {
  static TFileFormatsList* table = [] {
    auto* t = new TFileFormatsList();
    RegisterModuleFormats(*t);
    return t;
  }();
  return *table;
}

}  // namespace quendra
