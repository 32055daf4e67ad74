#include "saving/save_by_extension.h"

#include <algorithm>

#include "base/paths.h"
#include "base/text.h"
#include "formats/format_record.h"
#include "saving/file_replace.h"

namespace quendra {

namespace {

std::string LowerExt(const std::string& fileName) {
  return AsciiLower(ExtractFileExt(fileName));
}

// Only a writer's own extension: the plan has already mapped its aliases.
std::optional<SaveFormat> FormatOf(const std::string& ext) {
  const WriterRecord* w = FindWriter(ext, false);
  return w ? std::optional(w->format) : std::nullopt;
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
  const WriterRecord* w = FindWriter(LowerExt(fileName), true);
  return w ? std::optional(w->format) : std::nullopt;
}

void EncodeForSave(const Bitmap& bmp, SaveFormat format, const ByteSink& sink) {
  WriterOf(format).encode(bmp, sink);
}

void WritePictureFile(const Bitmap& bmp, SaveFormat format, const std::string& path,
                      ReplaceMode mode) {
  ReplaceFile(
      path, [&](const ByteSink& sink) { EncodeForSave(bmp, format, sink); }, mode);
}

}  // namespace quendra
