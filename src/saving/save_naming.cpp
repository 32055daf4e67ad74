#include "saving/save_naming.h"

#include <sys/stat.h>

#include "base/paths.h"

namespace quendra {

namespace {

// Anything but a folder counts as taken: a file, a link to a file, a dangling link (saving
// there would replace the link) or a device.
bool FileTaken(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return false;
  if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
  return true;
}

// The path with its extension replaced by ext (appended when it has none).
std::string WithExtension(const std::string& path, const std::string& ext) {
  return path.substr(0, path.size() - ExtractFileExt(path).size()) + ext;
}

}  // namespace

std::string UniqueFileName(const std::string& path) {
  if (!FileTaken(path)) return path;
  const std::string ext = ExtractFileExt(path);
  for (unsigned long long n = 1;; ++n) {
    std::string suffix(1, '[');  // not "[" + string: GCC 12's -Wrestrict false alarm at -O3
    suffix += std::to_string(n);
    suffix.push_back(']');
    suffix += ext;
    std::string candidate = WithExtension(path, suffix);
    if (!FileTaken(candidate)) return candidate;
  }
}

}  // namespace quendra
