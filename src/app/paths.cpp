#include "app/paths.h"

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

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one.
static size_t Utf8SequenceLength(const std::string& s, size_t i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
      (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return n;
}

std::string DisplayName(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    size_t n = Utf8SequenceLength(bytes, i);
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
