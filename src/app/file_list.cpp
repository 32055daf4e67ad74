#include "app/file_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <numeric>

#include "app/paths.h"

namespace quendra {

bool IsPictureFile(const std::string& name) {
  std::string ext = ExtractFileExt(name);
  if (ext.empty()) return false;
  // Extensions that can match are ASCII, so they are upper-cased by ASCII alone: a locale's
  // rules (Turkish i to dotted I) must not decide which files are listed. Other bytes pass
  // through and never match.
  auto upper = [](std::string s) {
    for (auto& c : s)
      if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
  };
  return upper(kSupportedExtensions).find(upper(ext)) != std::string::npos;
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

// Upper-cased wide text of a name; bytes that are not valid in the locale's encoding stand for
// themselves, so every name gets a key.
static std::wstring FoldCase(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  std::mbstate_t st{};
  const char* p = s.data();
  size_t left = s.size();
  while (left > 0) {
    wchar_t wc;
    size_t n = std::mbrtowc(&wc, p, left, &st);
    if (n == size_t(-1) || n == size_t(-2) || n == 0) {
      wc = wchar_t(0xF700 + static_cast<unsigned char>(*p));  // private-use stand-in
      n = 1;
      st = {};
    }
    out.push_back(wchar_t(std::towupper(wint_t(wc))));
    p += n;
    left -= n;
  }
  return out;
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
