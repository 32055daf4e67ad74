#pragma once
// The name the save dialog proposes when overwriting is not allowed.
#include <string>

namespace quendra {

// The path itself when no file exists there (a folder of that name does not count); else the
// first of name[1].ext, name[2].ext, ... (each formed from the given path, "[n]" put before
// the extension, or appended when the name has none) at which no file exists.
std::string UniqueFileName(const std::string& path);

}  // namespace quendra
