#pragma once
// The system clipboard through Qt: a bitmap goes on it as an image, which Qt offers to other
// applications in every image format it writes (image/png and image/bmp among them).
#include <QImage>

#include "app/picture_hosts.h"

namespace quendra::qt {

// A deep copy of any bitmap as a 32-bit image (palette pictures are expanded).
QImage ToQImage(const Bitmap& bitmap);

class QtClipboard final : public ClipboardHost {
 public:
  // False when the clipboard is not ours right after setting it (another program holds it).
  bool SetClipboardBitmap(const Bitmap& bitmap) override;
};

}  // namespace quendra::qt
