#pragma once
// Choosing a writer from a file name, and writing a bitmap with the settings the program uses
// for each format. The save thread and quendra-convert share every writer and setting here.
#include <optional>
#include <string>
#include <string_view>

#include "base/bitmap.h"
#include "formats/format_record.h"
#include "saving/file_replace.h"

namespace quendra {

inline constexpr std::string_view DefaultSaveExt = ".jpg";
// An extension is accepted when it occurs anywhere in this text (a substring test).
inline constexpr std::string_view AcceptedSaveExts = ".bmp.jp2.jpc.j2k.tga.jpeg.jpg.png.gif.emf";

// What the save thread does with a name: the name it writes under (an extension that is not
// accepted becomes ".jpg") and the writer, or none for an accepted partial extension such as
// ".jpe" ("Graphic type cannot be saved!").
struct SavePlan {
  std::string fileName;
  std::optional<SaveFormat> format;
};
SavePlan PlanSave(const std::string& fileName);

// The strict rule of quendra-convert: only a full writer extension (".bmp", ".jpg", ".jpeg",
// ".png", ".gif", ".tga", ".jp2", ".j2k", ".jpc", ".emf", any case) names a writer.
std::optional<SaveFormat> WriterForExtension(const std::string& fileName);

// Encodes the bitmap in its own pixel format with the program's settings for the format
// (JPEG quality 90; PNG Sub/Up rows at deflate level 8; GIF with the octree palette; Targa
// run-length; JP2 at quality 97; EMF one bitmap drawing) and hands the bytes to the sink.
// Throws the writer's error.
void EncodeForSave(const Bitmap& bmp, SaveFormat format, const ByteSink& sink);

// Encodes and writes the file as the desktop's file replace does (see ReplaceFile): a failure
// leaves the old file as it was and no partial file behind. Throws EFileError or the writer's
// error.
void WritePictureFile(const Bitmap& bmp, SaveFormat format, const std::string& path,
                      ReplaceMode mode = ReplaceMode::Replace);

}  // namespace quendra
