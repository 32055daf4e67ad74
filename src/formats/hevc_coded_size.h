#pragma once
// The picture size an HEVC configuration (an hvcC box's body) codes, read from its sequence
// parameter set. HEIF readers compare it with the size the container claims: the decoder
// allocates what the parameter set asks for, so a few kilobytes claiming a thumbnail could
// otherwise make it allocate and decode the largest picture it takes.
#include <cstdint>
#include <optional>
#include <span>

namespace quendra {

struct HevcSize {
  uint32_t width, height;  // coded luma samples, before the conformance window's crop
};

// The size of the first sequence parameter set in the configuration; nothing when there is
// none or it is cut short.
std::optional<HevcSize> HevcCodedSize(std::span<const uint8_t> hvcc);

}  // namespace quendra
