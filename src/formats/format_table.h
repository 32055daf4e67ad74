#pragma once
// TFileFormatsList: the process-wide table from file extensions to graphic classes.
// Registering appends (nothing is replaced); lookup scans from the last entry, so the newest
// registration of an extension wins; unregistering a class removes its descendants too.
#include <string>
#include <vector>

#include "formats/graphic.h"

namespace quendra {

struct FileFormat {
  std::string extension;  // lower case, no dot
  std::string description;
  const GraphicClass* graphicClass;
};

class TFileFormatsList {
 public:
  // A new table holds its own four entries: wmf, emf, ico, bmp.
  TFileFormatsList();
  void Add(const std::string& ext, const std::string& description, const GraphicClass* cls);
  void Remove(const GraphicClass* cls);
  const GraphicClass* FindExt(const std::string& ext) const;
  const std::vector<FileFormat>& Entries() const { return entries_; }

 private:
  std::vector<FileFormat> entries_;
};

// Runs every format module's start-up registration on the table, in the modules' order:
// JPEG, the general format module, GIF, PNG, JPEG 2000.
void RegisterModuleFormats(TFileFormatsList& table);

// The process-wide table, created and filled on first use (before any window exists).
TFileFormatsList& FileFormats();

}  // namespace quendra
