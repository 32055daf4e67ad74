#include "base/paths.h"

#include "base/text.h"

#include <unistd.h>

#include <climits>
#include <vector>

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

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::string whole = path;
  if (path[0] != kPathDelimiter) {
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return path;  // no working folder to stand on
    whole = std::string(cwd) + kPathDelimiter + path;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= whole.size()) {
    size_t end = whole.find(kPathDelimiter, start);
    if (end == std::string::npos) end = whole.size();
    std::string part = whole.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += kPathDelimiter + part;
  return result.empty() ? std::string(1, kPathDelimiter) : result;
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
