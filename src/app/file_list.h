#pragma once
// The file list: bare names of the picture files of the current folder, kept sorted without
// regard to case in the user's locale order, with at most one selected item.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quendra {

// The supported extensions, one string (".bmp.jpg.png..."), from the format records in their
// order; a name passes when its extension occurs in it.
const std::string& SupportedExtensions();

bool IsPictureFile(const std::string& name);
// True when the path is a directory, and also when it cannot be queried at all.
bool IsFolder(const std::string& path);
// True only for a directory that exists: a path the user names that is one is a folder,
// whatever its name looks like ("." passes IsPictureFile).
bool IsExistingFolder(const std::string& path);

// Orders names case-insensitively by the current locale's collation (LC_CTYPE, LC_COLLATE);
// names equal that way keep a stable order by their bytes.
void SortNames(std::vector<std::string>& names);

class TListBox {
 public:
  int Count() const { return int(items_.size()); }
  const std::string& Item(int i) const { return items_[size_t(i)]; }
  const std::vector<std::string>& Items() const { return items_; }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int i) {
    itemIndex_ = (i >= 0 && i < Count()) ? i : -1;
    Changed();
  }
  void Clear() {
    items_.clear();
    itemIndex_ = -1;
    ++generation_;
    Changed();
  }
  // Replaces the items by names already in list order (see SortNames); no selection.
  void Assign(std::vector<std::string> sortedNames) {
    items_ = std::move(sortedNames);
    itemIndex_ = -1;
    ++generation_;
    Changed();
  }
  // Runs after every change of the items or the selection, so a view can show it.
  std::function<void()> OnChange;
  // Changes whenever the items change (not the selection), so a view can tell cheaply.
  uint64_t Generation() const { return generation_; }
  // First item equal to name without regard to case, or -1.
  int IndexOfCaseless(const std::string& name) const;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::vector<std::string> items_;
  int itemIndex_ = -1;
  uint64_t generation_ = 0;
};

// Empties the list, enumerates the folder (hidden entries too, dot-names skipped, sub-folders
// whose names pass listed like files) and fills the list; returns the number listed. A folder
// that cannot be read gives 0. Sets currentFolder to the folder with a trailing separator.
int ScanFolder(const std::string& folder, TListBox& list, std::string& currentFolder);

}  // namespace quendra
