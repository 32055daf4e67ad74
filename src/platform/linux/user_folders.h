#pragma once
// The user's own folders as the desktop names them (xdg-user-dirs).
#include <string>

namespace quendra::desktop {

// The user's pictures folder (XDG_PICTURES_DIR, what `xdg-user-dir PICTURES` prints) when it
// exists, else the home folder.
std::string UserPicturesFolder();

}  // namespace quendra::desktop
