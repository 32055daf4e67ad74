#pragma once
// The picture size an AV1 bitstream codes, read from its sequence header. AVIF readers compare
// it with the size the container claims: libavif scales a coded picture to the claimed size, so
// a few hundred bytes could otherwise ask for the largest picture the pixel limit allows.
#include <cstdint>
#include <optional>
#include <span>

namespace quendra {

struct Av1Size {
  uint32_t width, height;
};

// The largest frame size of the first sequence header among the leading OBUs of `obus`;
// nothing when none is found or the header is cut short.
std::optional<Av1Size> Av1CodedSize(std::span<const uint8_t> obus);

}  // namespace quendra
