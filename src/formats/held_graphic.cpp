#include "formats/held_graphic.h"

#include <cstring>
#include <vector>

namespace quendra {

void THeldGraphic::DecodeRows(const std::function<void(int, int)>& begin,
                              const RowFunction& row) const {
  const Bitmap b = Decode(Denominator());
  begin(b.Width(), b.Height());
  if (b.Format() == PixelFormat::pf24bit) {
    for (int y = 0; y < b.Height(); ++y) row(b.Row(y), y);
    return;
  }
  std::vector<uint8_t> bgr(size_t(b.Width()) * 3);
  std::vector<uint8_t> scratch(b.Format() == PixelFormat::pf32bit ? 0 : size_t(b.Width()) * 4);
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* s = RowAs32(b, y, scratch.data());
    for (int x = 0; x < b.Width(); ++x) std::memcpy(&bgr[3 * size_t(x)], s + 4 * x, 3);
    row(bgr.data(), y);
  }
}

void THeldGraphic::SetScale(JpegScale s) {
  if (s == scale_) return;
  scale_ = s;
  Changed();
}

void THeldGraphic::Hold(std::span<const uint8_t> data, int width, int height) {
  data_.assign(data.begin(), data.end());
  width_ = width, height_ = height;
  scale_ = JpegScale::jsFullSize;
}

}  // namespace quendra
