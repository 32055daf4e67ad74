#include "app/file_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <numeric>

#include "base/paths.h"
#include "base/text.h"
#include "formats/format_record.h"

namespace quendra {

const std::string& SupportedExtensions() {
  static const std::string all = [] {
    std::string s;
    for (const FormatRecord* r : FormatRecords())
      for (std::string_view ext : r->listed) s += ext;
    return s;
  }();
  return all;
}

bool IsPictureFile(const std::string& name) {
  std::string ext = ExtractFileExt(name);
  if (ext.empty()) return false;
  // Extensions that can match are ASCII: a locale's rules (Turkish i to dotted I) must not
  // decide which files are listed.
  return AsciiUpper(SupportedExtensions()).find(AsciiUpper(ext)) != std::string::npos;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;
  return S_ISDIR(st.st_mode);
}

bool IsExistingFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Upper-cased code points of a name as wide text (wchar_t holds a code point here), with a
// stand-in for each byte that is not valid UTF-8, so every name gets a key.
static std::wstring FoldCase(const std::string& s) {
  std::u32string folded = FoldedCodePoints(s);
  return std::wstring(folded.begin(), folded.end());
}

static std::wstring CollationKey(const std::string& s) {
  std::wstring folded = FoldCase(s);
  size_t n = std::wcsxfrm(nullptr, folded.c_str(), 0);
  if (n == size_t(-1)) return folded;
  std::wstring key(n + 1, L'\0');
  std::wcsxfrm(key.data(), folded.c_str(), n + 1);
  key.resize(n);
  return key;
}

void SortNames(std::vector<std::string>& names) {
  // Keys once, then one sort: n log n comparisons of precomputed keys.
  std::vector<std::wstring> keys;
  keys.reserve(names.size());
  for (const auto& n : names) keys.push_back(CollationKey(n));
  std::vector<size_t> order(names.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    int c = keys[a].compare(keys[b]);
    return c != 0 ? c < 0 : names[a] < names[b];
  });
  std::vector<std::string> sorted;
  sorted.reserve(names.size());
  for (size_t i : order) sorted.push_back(std::move(names[i]));
  names = std::move(sorted);
}

int TListBox::IndexOfCaseless(const std::string& name) const {
  std::wstring key = FoldCase(name);
  for (int i = 0; i < Count(); ++i)
    if (FoldCase(items_[size_t(i)]) == key) return i;
  return -1;
}

int ScanFolder(const std::string& folder, TListBox& list, std::string& currentFolder) {
  list.Clear();
  currentFolder = AddTrailingPathDelimiter(folder);
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(currentFolder.c_str()), &::closedir);
  if (dir) {
    while (const dirent* e = ::readdir(dir.get())) {
      if (e->d_name[0] == '.') continue;
      if (IsPictureFile(e->d_name)) names.emplace_back(e->d_name);
    }
  }
  SortNames(names);
  list.Assign(std::move(names));
  return list.Count();
}

}  // namespace quendra
