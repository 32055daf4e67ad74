#pragma once
// The file manager's verb on Linux: the store's two verb keys become action files in the
// user's own data folder, one for each family of file managers.
//   all files:  kio/servicemenus/quendra-nailer-files.desktop       Dolphin (executable)
//               nemo/actions/quendra-nailer-files.nemo_action        Nemo
//               file-manager/actions/quendra-nailer-files.desktop    Caja, PCManFM-Qt
//               nautilus/scripts/Quendra                             Nautilus (files and folders)
//   folders:    the same three action files named quendra-nailer-folders.*
// A verb key exists when any of its files does; its command key is the command inside them.
// Every file is written to a temporary name and renamed into place.
#include <string>
#include <vector>

#include "shell/context_menu.h"

namespace quendra::desktop {

// $XDG_DATA_HOME when it is an absolute path, otherwise ~/.local/share.
std::string UserDataHome();

class FileManagerActions final : public VerbStore {
 public:
  explicit FileManagerActions(std::string dataHome = UserDataHome());

  bool KeyExists(const std::string& key) override;
  // Creates the folders of the key's files; false when none of them can be made.
  bool OpenOrCreateKey(const std::string& key) override;
  // Rewrites the open key's files with the new name or command. A file whose temporary
  // cannot be created is skipped; false when a write fails half-way (no partial file stays).
  bool WriteDefaultValue(const std::string& value) override;
  void CloseKey() override;
  // Deletes a verb key's files. A command key cannot go alone: it lives in the verb's files.
  bool DeleteTree(const std::string& key) override;

  // Full paths of the files that carry the verb for all files (or for folders).
  std::vector<std::string> FilesOf(bool folders) const;

 private:
  struct Key {
    bool folders = false;
    bool command = false;
  };
  static bool Parse(const std::string& key, Key& out);

  std::string dataHome_;
  bool open_ = false;
  Key openKey_;
  std::vector<size_t> openFiles_;  // indexes of the open key's files whose folder exists
  // What the verbs' files say; both are written by the add operation, name first.
  std::string name_[2] = {kVerbText, kVerbText};
  std::string command_[2];
};

// The contents of one action file; empty when the file has nothing to say yet (a Nautilus
// script without a command). Exposed for tests.
enum class ActionFileKind { kDolphin, kNemo, kFileManagerActions, kNautilusScript };
std::string RenderActionFile(ActionFileKind kind, bool folders, const std::string& name,
                             const std::string& command);

}  // namespace quendra::desktop
