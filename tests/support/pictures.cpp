#include "support/pictures.h"

#include <fstream>

#include "formats/tbitmap.h"

namespace quendra::testing {

Bitmap Gradient(int width, int height) {
  Bitmap b(width, height, PixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = b.Row(y) + 3 * x;
      p[0] = uint8_t(x * 7);
      p[1] = uint8_t(y * 13);
      p[2] = uint8_t(x + y);
    }
  return b;
}

std::string WriteBmp(const TempDir& dir, const std::string& name, int width, int height) {
  auto bytes = EncodeBmp(Gradient(width, height));
  std::string path = dir / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

}  // namespace quendra::testing
