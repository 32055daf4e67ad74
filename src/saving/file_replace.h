#pragma once
// Replacing a file the way the desktop's own file replace does it (GIO's g_file_replace), for the
// save thread and quendra-convert alike:
// - a target the user may not write is refused with "Permission denied" and left alone;
// - a symlink is followed: the file it names is replaced and the link stays;
// - the new file keeps the old one's mode, and its owner and group where the process may set
//   them, through a temporary file renamed into place (AtomicFile);
// - where the owner cannot be kept (another user's file in a shared folder) or the file has
//   other hard links, the bytes are written into the file itself, and only once `encode` has
//   produced all of them, so an encoder failure still leaves the old file untouched.
// Failures throw EFileError with the system's reason, or the encoder's own error.
#include <functional>
#include <string>

#include "formats/tbitmap.h"

namespace quendra {

enum class ReplaceMode {
  Replace,    // an existing file is replaced
  NoReplace,  // an existing file is never replaced: "File exists"
};

void ReplaceFile(const std::string& target, const std::function<void(const ByteSink&)>& encode,
                 ReplaceMode mode = ReplaceMode::Replace);

// The file a path finally names once its symlinks are followed; the path itself when it is not
// a link. A dangling link gives the name it points to, where a save then creates the file.
std::string FollowSymlinks(const std::string& path);

}  // namespace quendra
