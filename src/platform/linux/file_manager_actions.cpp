#include "platform/linux/file_manager_actions.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "shell/exec_line.h"

namespace quendra::desktop {

namespace {

struct ActionFile {
  const char* files;    // path below the data home, for the all-files verb
  const char* folders;  // for the folder verb; null when one file serves both
  ActionFileKind kind;
  mode_t mode;
};

// Dolphin runs only service menus that are executable; a Nautilus script must be.
constexpr std::array<ActionFile, 4> kActionFiles{{
    {"kio/servicemenus/quendra-nailer-files.desktop",
     "kio/servicemenus/quendra-nailer-folders.desktop", ActionFileKind::kDolphin, 0755},
    {"nemo/actions/quendra-nailer-files.nemo_action",
     "nemo/actions/quendra-nailer-folders.nemo_action", ActionFileKind::kNemo, 0644},
    {"file-manager/actions/quendra-nailer-files.desktop",
     "file-manager/actions/quendra-nailer-folders.desktop", ActionFileKind::kFileManagerActions,
     0644},
    {"nautilus/scripts/Quendra", nullptr, ActionFileKind::kNautilusScript, 0755},
}};

const char* PathOf(const ActionFile& f, bool folders) {
  return folders ? f.folders : f.files;
}

// A string value of a key file: backslashes and control characters escaped, a leading blank
// kept.
std::string KeyFileValue(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\r')
      out += "\\r";
    else if (c == ' ' && i == 0)
      out += "\\s";
    else
      out += c;
  }
  return out;
}

std::string Unpercent(const std::string& argument) {
  std::string out;
  for (size_t i = 0; i < argument.size(); ++i) {
    out += argument[i];
    if (argument[i] == '%' && i + 1 < argument.size() && argument[i + 1] == '%') ++i;
  }
  return out;
}

bool IsFileFieldCode(const std::string& argument) {
  return argument == "%f" || argument == "%F";
}

// The same command with its file field code replaced by `code` (Nemo's "%F" is a path; its
// "%f" is a display name).
std::string WithFieldCode(const std::string& command, const char* code) {
  std::string out;
  for (const std::string& a : SplitExecLine(command)) {
    if (!out.empty()) out += ' ';
    out += IsFileFieldCode(a) ? std::string(code) : QuoteExecArgument(Unpercent(a));
  }
  return out;
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

// Nautilus starts a script in the shown folder with the chosen names as its arguments. The
// script makes the name absolute and passes it on as one argument: every expansion is quoted,
// so nothing is split, globbed or evaluated, and the program's path is a literal.
std::string NautilusScript(const std::string& command) {
  std::string exec;
  for (const std::string& a : SplitExecLine(command))
    exec += ' ' + (IsFileFieldCode(a) ? std::string("\"$p\"") : ShellQuote(Unpercent(a)));
  return "#!/bin/sh\n"
         "# Opens the chosen file or folder in Quendra; written by its \"Add to context menu\".\n"
         "[ \"$#\" -ge 1 ] || exit 0\n"
         "case $1 in\n"
         "  /*) p=$1 ;;\n"
         "  *) p=$PWD/$1 ;;\n"
         "esac\n"
         "exec" +
         exec + "\n";
}

std::string PercentEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

enum class WriteResult { kWritten, kCannotCreate, kFailed };

// Writes to a temporary beside the file and renames it into place, so a write that fails
// never leaves a partial file nor destroys the one that was there.
WriteResult WriteAtomically(const std::string& path, const std::string& bytes, mode_t mode) {
  const auto slash = path.rfind('/');
  std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return WriteResult::kCannotCreate;
  bool ok = ::fchmod(fd, mode) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += size_t(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok ? WriteResult::kWritten : WriteResult::kFailed;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string UserDataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  std::string base = home != nullptr && home[0] != '\0' ? home : "";
  if (base.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid())) base = pw->pw_dir;
  }
  return base + "/.local/share";
}

std::string RenderActionFile(ActionFileKind kind, bool folders, const std::string& name,
                             const std::string& command) {
  const std::string exec = command.empty() ? "" : "Exec=" + KeyFileValue(command) + "\n";
  switch (kind) {
    case ActionFileKind::kDolphin:
      return "[Desktop Entry]\n"
             "Type=Service\n"
             "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
             "MimeType=" +
             std::string(folders ? "inode/directory;" : "all/allfiles;") +
             "\n"
             "X-KDE-Priority=TopLevel\n"
             "Actions=nailer;\n"
             "\n"
             "[Desktop Action nailer]\n"
             "Name=" +
             KeyFileValue(name) + "\nIcon=quendra\n" + exec;
    case ActionFileKind::kNemo:
      return "[Nemo Action]\n"
             "Name=" +
             KeyFileValue(PercentEscaped(name)) +
             "\n"
             "Icon-Name=quendra\n"
             "Selection=s\n"
             "Extensions=" +
             std::string(folders ? "dir;" : "nodirs;") + "\n" +
             (command.empty() ? "" : "Exec=" + KeyFileValue(WithFieldCode(command, "%F")) + "\n");
    case ActionFileKind::kFileManagerActions:
      return "[Desktop Entry]\n"
             "Type=Action\n"
             "Name=" +
             KeyFileValue(name) +
             "\n"
             "Icon=quendra\n"
             "Profiles=nailer;\n"
             "\n"
             "[X-Action-Profile nailer]\n"
             "Name=" +
             KeyFileValue(name) +
             "\nMimeTypes=" + std::string(folders ? "inode/directory;" : "all/allfiles;") +
             "\n"
             "SelectionCount==1\n" +
             exec;
    case ActionFileKind::kNautilusScript:
      return command.empty() ? "" : NautilusScript(command);
  }
  return "";
}

FileManagerActions::FileManagerActions(std::string dataHome) : dataHome_(std::move(dataHome)) {}

bool FileManagerActions::Parse(const std::string& key, Key& out) {
  if (key == kAllFilesVerbKey || key == kAllFilesCommandKey || key == kFolderVerbKey ||
      key == kFolderCommandKey) {
    out.folders = key == kFolderVerbKey || key == kFolderCommandKey;
    out.command = key == kAllFilesCommandKey || key == kFolderCommandKey;
    return true;
  }
  return false;
}

std::vector<std::string> FileManagerActions::FilesOf(bool folders) const {
  std::vector<std::string> out;
  for (const ActionFile& f : kActionFiles)
    if (const char* p = PathOf(f, folders)) out.push_back(dataHome_ + "/" + p);
  return out;
}

bool FileManagerActions::KeyExists(const std::string& key) {
  Key k;
  if (!Parse(key, k)) return false;
  for (const std::string& path : FilesOf(k.folders))
    if (Exists(path)) return true;
  return false;
}

bool FileManagerActions::OpenOrCreateKey(const std::string& key) {
  open_ = false;
  openFiles_.clear();
  if (!Parse(key, openKey_)) return false;
  for (size_t i = 0; i < kActionFiles.size(); ++i) {
    const char* p = PathOf(kActionFiles[i], openKey_.folders);
    if (p == nullptr) continue;
    const std::filesystem::path folder = std::filesystem::path(dataHome_ + "/" + p).parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (std::filesystem::is_directory(folder, error)) openFiles_.push_back(i);
  }
  open_ = !openFiles_.empty();
  return open_;
}

bool FileManagerActions::WriteDefaultValue(const std::string& value) {
  if (!open_) return false;
  const int verb = openKey_.folders ? 1 : 0;
  (openKey_.command ? command_ : name_)[verb] = value;
  for (size_t i : openFiles_) {
    const ActionFile& f = kActionFiles[i];
    std::string bytes;
    try {
      bytes = RenderActionFile(f.kind, openKey_.folders, name_[verb], command_[verb]);
    } catch (const std::invalid_argument&) {
      return false;  // a command that is no Exec line cannot be written
    }
    if (bytes.empty()) continue;
    const std::string path = dataHome_ + "/" + PathOf(f, openKey_.folders);
    if (WriteAtomically(path, bytes, f.mode) == WriteResult::kFailed) return false;
  }
  return true;
}

void FileManagerActions::CloseKey() {
  open_ = false;
  openFiles_.clear();
}

bool FileManagerActions::DeleteTree(const std::string& key) {
  Key k;
  if (!Parse(key, k) || k.command) return false;
  bool removed = false, failed = false;
  for (const std::string& path : FilesOf(k.folders)) {
    if (::unlink(path.c_str()) == 0)
      removed = true;
    else if (errno != ENOENT)
      failed = true;
  }
  return removed && !failed;
}

}  // namespace quendra::desktop
