#pragma once
// Small real picture files for the viewer's tests, written with the program's own BMP writer.
#include <string>

#include "base/bitmap.h"
#include "support/temp_dir.h"

namespace quendra::testing {

// A 24-bit picture of the given size whose pixels encode their position.
Bitmap Gradient(int width, int height);
// Writes Gradient(width, height) as a BMP file into the folder and returns its path.
std::string WriteBmp(const TempDir& dir, const std::string& name, int width, int height);

}  // namespace quendra::testing
