#include "base/paths.h"

#include "base/text.h"

namespace quendra {

std::string ExtractFileName(const std::string& path) {
  size_t p = path.rfind(kPathDelimiter);
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFilePath(const std::string& path) {
  size_t p = path.rfind(kPathDelimiter);
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileExt(const std::string& path) {
  size_t dot = path.rfind('.');
  size_t sep = path.rfind(kPathDelimiter);
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
  return path.substr(dot);
}

std::string AddTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == kPathDelimiter) return path;
  return path + kPathDelimiter;
}

std::string DisplayName(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp;
    size_t n = DecodeUtf8(bytes, i, cp);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(bytes, i, n);
      i += n;
    }
  }
  return out;
}

}  // namespace quendra
