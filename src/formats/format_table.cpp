#include "formats/format_table.h"

#include <algorithm>
#include <stdexcept>

#include "base/text.h"
#include "formats/avif_graphic.h"
#include "formats/format_record.h"
#include "formats/gif_image.h"
#include "formats/heif_graphic.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/jxl_graphic.h"
#include "formats/metafile.h"
#include "formats/pcx_graphic.h"
#include "formats/png_object.h"
#include "formats/targa_graphic.h"
#include "formats/tbitmap.h"
#include "formats/tiff_graphic.h"
#include "formats/webp_graphic.h"

namespace quendra {

TFileFormatsList::TFileFormatsList() {
  Add("wmf", "Metafiles", &TMetafile::kClass);
  Add("emf", "Enhanced Metafiles", &TMetafile::kClass);
  Add("ico", "Icons", &kTIconClass);
  Add("bmp", "Bitmaps", &TBitmap::kClass);
}

void TFileFormatsList::Add(const std::string& ext, const std::string& description,
                           const GraphicClass* cls) {
  entries_.push_back({AsciiLower(ext), description, cls});
}

void TFileFormatsList::Remove(const GraphicClass* cls) {
  std::erase_if(entries_, [cls](const FileFormat& f) { return f.graphicClass->InheritsFrom(cls); });
}

const GraphicClass* TFileFormatsList::FindExt(const std::string& ext) const {
  std::string key = AsciiLower(ext);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->extension == key) return it->graphicClass;
  return nullptr;
}

// A codec module's start-up registration: its record's extensions, in order.
static void AddModule(TFileFormatsList& t, const FormatRecord& record) {
  for (std::string_view ext : record.extensions)
    t.Add(std::string(ext), std::string(record.description), record.graphicClass);
}

void RegisterModuleFormats(TFileFormatsList& t) {
  AddModule(t, kJpegFormat);

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

  AddModule(t, kGifFormat);
  AddModule(t, kPngFormat);
  AddModule(t, kJpeg2000Format);
  AddModule(t, kWebpFormat);
  AddModule(t, kAvifFormat);
  AddModule(t, kHeifFormat);
  AddModule(t, kJxlFormat);
}

std::span<const FormatRecord* const> FormatRecords() {
  static const FormatRecord* const records[] = {
      &kBmpFormat,      &kJpegFormat, &kPngFormat, &kGifFormat,  &kTargaFormat,
      &kJpeg2000Format, &kEmfFormat,  &kPcxFormat, &kTiffFormat, &kWebpFormat,
      &kAvifFormat,     &kHeifFormat, &kJxlFormat};
  return records;
}

const FormatRecord* FindFormatRecord(const GraphicClass& cls) {
  for (const FormatRecord* r : FormatRecords())
    if (r->graphicClass == &cls) return r;
  return nullptr;
}

const WriterRecord* FindWriter(std::string_view ext, bool aliases) {
  for (const FormatRecord* r : FormatRecords()) {
    const WriterRecord* w = r->writer;
    if (w == nullptr) continue;
    if (w->extension == ext) return w;
    if (aliases && std::find(w->aliases.begin(), w->aliases.end(), ext) != w->aliases.end())
      return w;
  }
  return nullptr;
}

const WriterRecord& WriterOf(SaveFormat format) {
  for (const FormatRecord* r : FormatRecords())
    if (r->writer != nullptr && r->writer->format == format) return *r->writer;
  throw std::logic_error("no writer record for a save format");
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
