#include "imaging/save_by_extension.h"

#include <algorithm>
#include <cctype>

#include "app/paths.h"
#include "formats/emf_writer.h"
#include "formats/gif_writer.h"
#include "formats/graphic_error.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/png_writer.h"
#include "formats/targa_graphic.h"
#include "imaging/file_replace.h"

namespace quendra {

namespace {

std::string LowerExt(const std::string& fileName) {
  std::string ext = ExtractFileExt(fileName);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::optional<SaveFormat> FormatOf(const std::string& ext) {
  if (ext == ".bmp") return SaveFormat::Bmp;
  if (ext == ".jp2") return SaveFormat::Jpeg2000;
  if (ext == ".tga") return SaveFormat::Targa;
  if (ext == ".jpg") return SaveFormat::Jpeg;
  if (ext == ".png") return SaveFormat::Png;
  if (ext == ".gif") return SaveFormat::Gif;
  if (ext == ".emf") return SaveFormat::Emf;
  return std::nullopt;
}

}  // namespace

SavePlan PlanSave(const std::string& fileName) {
  SavePlan plan{fileName, std::nullopt};
  std::string ext = LowerExt(fileName);
  if (ext.empty() || AcceptedSaveExts.find(ext) == std::string_view::npos) {
    // The extension (when there is one) is replaced, else ".jpg" is appended.
    plan.fileName = fileName.substr(0, fileName.size() - ext.size()) + std::string(DefaultSaveExt);
    ext = DefaultSaveExt;
  }
  if (std::string_view(".jpc.j2k").find(ext) != std::string_view::npos) ext = ".jp2";
  if (ext == ".jpeg") ext = ".jpg";
  plan.format = FormatOf(ext);
  return plan;
}

std::optional<SaveFormat> WriterForExtension(const std::string& fileName) {
  std::string ext = LowerExt(fileName);
  if (ext == ".jpeg") return SaveFormat::Jpeg;
  if (ext == ".j2k" || ext == ".jpc") return SaveFormat::Jpeg2000;
  return FormatOf(ext);
}

void EncodeForSave(const Bitmap& bmp, SaveFormat format, const ByteSink& sink) {
  std::vector<uint8_t> bytes;
  switch (format) {
    case SaveFormat::Bmp:
      return WriteBmp(bmp, sink);
    case SaveFormat::Png:
      return WritePng(bmp, sink);
    case SaveFormat::Jpeg:
      bytes = EncodeJpeg(bmp, 90);
      break;
    case SaveFormat::Gif:
      bytes = EncodeGif(bmp);
      break;
    case SaveFormat::Targa:
      if (bmp.Empty()) throw EInvalidGraphic("Cannot save an empty picture as Targa");
      return WriteTarga(bmp, true, sink);
    case SaveFormat::Jpeg2000:
      return WriteJpeg2000(bmp, 97, false, sink);
    case SaveFormat::Emf:
      return WriteEmf(bmp, sink);
  }
  sink(bytes.data(), bytes.size());
}

void WritePictureFile(const Bitmap& bmp, SaveFormat format, const std::string& path,
                      ReplaceMode mode) {
  ReplaceFile(
      path, [&](const ByteSink& sink) { EncodeForSave(bmp, format, sink); }, mode);
}

}  // namespace quendra
