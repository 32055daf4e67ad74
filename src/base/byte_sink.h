#pragma once
// Where writers put their bytes, piece by piece, so large pictures stream to a file or memory.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace quendra {

using ByteSink = std::function<void(const uint8_t*, size_t)>;

}  // namespace quendra
