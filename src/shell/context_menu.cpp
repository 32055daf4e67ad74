#include "shell/context_menu.h"

#include <stdexcept>

#include "shell/exec_line.h"

namespace quendra {

namespace {

// Keeps a key open for one write and closes it however the write ends.
class OpenKey {
 public:
  OpenKey(VerbStore& store, const std::string& key)
      : store_(store), open_(store.OpenOrCreateKey(key)) {}
  ~OpenKey() {
    if (open_) store_.CloseKey();
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  explicit operator bool() const { return open_; }

 private:
  VerbStore& store_;
  bool open_;
};

void WriteDefault(VerbStore& store, const std::string& value) {
  if (store.WriteDefaultValue(value)) return;
  const std::string valueName;  // the default value has the empty name
  throw std::runtime_error("Failed to set data for '" + valueName + "'");
}

// Opens or creates the key and writes its default value; skipped when it cannot be opened.
void WriteKey(VerbStore& store, const std::string& key, const std::string& value) {
  if (OpenKey open{store, key}) WriteDefault(store, value);
}

}  // namespace

std::string VerbCommandLine(const std::string& executable) {
  return QuoteExecArgument(executable) + " %f";
}

bool IsContextMenuRegistered(VerbStore& store) {
  return store.KeyExists(kAllFilesVerbKey);
}

void AddContextMenuEntry(VerbStore& store, const std::string& executable) {
  if (store.KeyExists(kAllFilesVerbKey)) return;
  WriteKey(store, kAllFilesVerbKey, kVerbText);
  WriteKey(store, kAllFilesCommandKey, VerbCommandLine(executable));
  if (!store.KeyExists(kFolderVerbKey)) {
    WriteKey(store, kFolderVerbKey, kVerbText);
    WriteKey(store, kFolderCommandKey, VerbCommandLine(executable));
  }
}

void RemoveContextMenuEntry(VerbStore& store) {
  if (!store.KeyExists(kAllFilesVerbKey)) return;
  (void)store.DeleteTree(kAllFilesVerbKey);
  (void)store.DeleteTree(kFolderVerbKey);
}

std::string RegisterCaption(VerbStore& store) {
  return IsContextMenuRegistered(store) ? kRemoveFromContextMenu : kAddToContextMenu;
}

void ToggleContextMenuEntry(VerbStore& store, const std::string& executable) {
  if (IsContextMenuRegistered(store))
    RemoveContextMenuEntry(store);
  else
    AddContextMenuEntry(store, executable);
}

}  // namespace quendra
