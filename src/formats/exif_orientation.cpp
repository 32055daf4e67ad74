#include "formats/exif_orientation.h"

#include <cstring>

namespace quendra {

Orientation ExifOrientation(std::span<const uint8_t> exif) {
  if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0) exif = exif.subspan(6);
  const size_t n = exif.size();
  if (n < 8) return Orientation::Normal;
  const uint8_t* p = exif.data();
  const bool big = p[0] == 'M' && p[1] == 'M';
  if (!big && !(p[0] == 'I' && p[1] == 'I')) return Orientation::Normal;
  auto u16 = [&](size_t at) -> uint32_t {
    return big ? uint32_t(p[at] << 8 | p[at + 1]) : uint32_t(p[at] | p[at + 1] << 8);
  };
  auto u32 = [&](size_t at) -> uint64_t {
    return big ? u16(at) << 16 | u16(at + 2) : u16(at) | u16(at + 2) << 16;
  };
  if (u16(2) != 42) return Orientation::Normal;
  const uint64_t ifd = u32(4);
  if (ifd > n - 2) return Orientation::Normal;
  const uint32_t entries = u16(size_t(ifd));
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t e = ifd + 2 + uint64_t(i) * 12;
    if (e + 12 > n) break;
    if (u16(size_t(e)) != 0x0112) continue;
    // SHORT, one value, held in the entry itself.
    if (u16(size_t(e) + 2) != 3 || u32(size_t(e) + 4) != 1) return Orientation::Normal;
    return OrientationFromTag(long(u16(size_t(e) + 8)));
  }
  return Orientation::Normal;
}

}  // namespace quendra
