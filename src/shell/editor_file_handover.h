#pragma once
// Editors that take the picture as a file: the Ctrl+V of some bitmap editors does not paste
// the desktop's clipboard as a picture of its own (GIMP pastes only into a picture already
// open, mtPaint only from its own clipboard), so they are started with the picture instead.
#include <optional>
#include <string>

#include "base/bitmap.h"
#include "shell/launcher.h"
#include "shell/progassoc.h"

namespace quendra {

// Whether the editor gets the picture as a file rather than through Ctrl+V.
bool TakesPictureAsFile(const DesktopApplication& editor);

// Writes the picture as a BMP file of a fresh name in the user's cache folder
// ($XDG_CACHE_HOME/quendra, else ~/.cache/quendra), after removing files handed over more than a
// day ago; the path, or nothing when it could not be written.
std::optional<std::string> WriteHandoverFile(const Bitmap& picture);

// Both steps, then starts the editor on the file; false when any of them failed.
bool OpenInEditorAsFile(const DesktopApplication& editor, const Bitmap& picture,
                        ProgramLauncher& launcher);

}  // namespace quendra
