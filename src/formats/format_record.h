#pragma once
// One record per codec: everything the rest of the program knows of a format. The format table
// is filled from these records, the save plan picks writers from them, the file list admits
// their extensions and the loader asks them whether a format decodes at reduced scale. Adding a
// format is one record and one codec file.
#include <span>
#include <string_view>

#include "base/bitmap.h"
#include "base/byte_sink.h"
#include "formats/graphic.h"

namespace quendra {

enum class SaveFormat { Bmp, Jpeg2000, Targa, Jpeg, Png, Gif, Emf };

struct WriterRecord {
  SaveFormat format;
  std::string_view extension;                 // the name a save of this format is written under
  std::span<const std::string_view> aliases;  // further full extensions that name this writer
  // Encodes the bitmap in its own pixel format with the program's settings for the format and
  // hands the bytes to the sink; throws the writer's error.
  void (*encode)(const Bitmap& bmp, const ByteSink& sink);
};

struct FormatRecord {
  const GraphicClass* graphicClass;
  // The codec module's own registrations in the format table (extension without a dot, as the
  // module writes it), in order, under one description; empty when another module registers
  // the class.
  std::span<const std::string_view> extensions;
  std::string_view description;
  // The extensions the file list admits for this format (".bmp"), dot included.
  std::span<const std::string_view> listed;
  // The reader can decode at 1/2, 1/4 or 1/8 of the full size (a TReducedScaleGraphic).
  bool decodesAtReducedScale;
  const WriterRecord* writer;  // null: read only
};

// Every codec's record, in the order the file list names the formats.
std::span<const FormatRecord* const> FormatRecords();
// The record of a graphic class or of its nearest ancestor that has one; null when none has.
const FormatRecord* FindFormatRecord(const GraphicClass& cls);
// The writer whose extension (or, with aliases, one of its aliases) is `ext`, lower case with
// the dot; null when none is.
const WriterRecord* FindWriter(std::string_view ext, bool aliases);
const WriterRecord& WriterOf(SaveFormat format);

}  // namespace quendra
