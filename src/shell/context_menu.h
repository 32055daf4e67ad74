#pragma once
// The file manager's verb "nailer": one entry for every file and one for every folder that
// opens it in the viewer. The verb lives in a per-user store shaped like a registry (keys named
// by backslash paths, each with a default string value); the store is the only state, asked
// afresh every time.
#include <string>

namespace quendra {

inline constexpr const char* kAllFilesVerbKey = "software\\classes\\*\\shell\\nailer";
inline constexpr const char* kAllFilesCommandKey = "software\\classes\\*\\shell\\nailer\\command";
inline constexpr const char* kFolderVerbKey = "software\\classes\\Directory\\shell\\nailer";
inline constexpr const char* kFolderCommandKey =
    "software\\classes\\Directory\\shell\\nailer\\command";
inline constexpr const char* kVerbText = "Quendra";  // the entry's text in the menu

inline constexpr const char* kAddToContextMenu = "Add to context menu";
inline constexpr const char* kRemoveFromContextMenu = "Remove from context menu";

// The current user's store of verbs. Every operation starts from the root; one key is open at
// a time, between OpenOrCreateKey and CloseKey.
class VerbStore {
 public:
  virtual ~VerbStore() = default;
  virtual bool KeyExists(const std::string& key) = 0;
  // Creates the key (and any missing key above it) or opens it; false when it cannot.
  virtual bool OpenOrCreateKey(const std::string& key) = 0;
  // Sets the open key's default value; false when the write failed, in which case nothing
  // partial is left behind.
  virtual bool WriteDefaultValue(const std::string& value) = 0;
  virtual void CloseKey() = 0;
  // Deletes the key and everything below it; false when it was absent or could not go.
  virtual bool DeleteTree(const std::string& key) = 0;
};

// The verb's command line: the executable, quoted by the Exec rules, and the field code of
// the chosen file or folder, which the file manager hands over as one argument.
std::string VerbCommandLine(const std::string& executable);

// True when the all-files verb key exists; nothing else is looked at.
bool IsContextMenuRegistered(VerbStore& store);

// Writes the all-files verb with its command unless it exists, and the folder verb only when
// that is absent. A key that cannot be created is skipped; a failed write throws
// std::runtime_error "Failed to set data for ''" and what was written stays.
void AddContextMenuEntry(VerbStore& store, const std::string& executable);

// Deletes both verb trees, but only when the all-files verb exists.
void RemoveContextMenuEntry(VerbStore& store);

// The caption of the menu item that switches the verb: what a click will do.
std::string RegisterCaption(VerbStore& store);

// A click on that item: asks the store again and removes or adds.
void ToggleContextMenuEntry(VerbStore& store, const std::string& executable);

}  // namespace quendra
