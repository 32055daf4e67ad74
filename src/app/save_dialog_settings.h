#pragma once
// SPD: the save dialog's settings as the commands set them and read them back. The dialog
// object outlives each use, so the filter index the user chose last is remembered.
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace quendra {

struct SaveFilter {
  std::string_view description;  // as shown in the dialog
  std::string_view patterns;     // separated by ";"
};

// The same eight entries for both save commands, in this order (index 1 is the first).
extern const std::array<SaveFilter, 8> kSaveFilters;

class TSavePictureDialog {
 public:
  std::string Title = "Save";
  std::string DefaultExt = "jpg";
  std::span<const SaveFilter> Filter;
  int FilterIndex = 1;  // 1-based
  std::string InitialDir;
  std::string FileName;
  // Never asks before overwriting an existing file.
  bool OverwritePrompt = false;
};

}  // namespace quendra
