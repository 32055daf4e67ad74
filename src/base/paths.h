#pragma once
// Path helpers on this platform's paths: UTF-8 byte strings with '/' as the only separator (a
// colon is an ordinary character of a file name here).
#include <string>

namespace quendra {

inline constexpr char kPathDelimiter = '/';

// Text after the last separator.
std::string ExtractFileName(const std::string& path);
// Text up to and including the last separator (empty when there is none).
std::string ExtractFilePath(const std::string& path);
// From the last dot to the end, dot included, when that dot follows the last separator.
std::string ExtractFileExt(const std::string& path);
// The path with a separator appended unless it already ends with one ("" becomes "/").
std::string AddTrailingPathDelimiter(const std::string& path);

// The path made absolute against the working folder, the way the desktop reads a path typed on
// a command line: "." parts, doubled and trailing separators go and ".." takes away the part
// before it, all lexically, so symlinks stay in the path as the user named them. "" stays "".
std::string AbsolutePath(const std::string& path);

// Shows a byte string as valid UTF-8: each byte that is not part of a valid sequence becomes
// U+FFFD. File names keep their bytes everywhere else; this is only for display.
std::string DisplayName(const std::string& bytes);

}  // namespace quendra
