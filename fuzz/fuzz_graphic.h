#pragma once
// The body every reader's fuzz target shares: load arbitrary bytes with graphic class G and
// make its bitmap. A reader may refuse the bytes, but only by throwing; anything else (a crash,
// a sanitizer report, a hang) is a finding. QUENDRA_FUZZ_VERBOSE=1 prints each outcome when
// replaying files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <span>

#include "base/bitmap.h"

namespace quendra::fuzz {

inline bool Verbose() {
  const char* v = std::getenv("QUENDRA_FUZZ_VERBOSE");
  return v && *v;
}

// The decoded bitmap, or nothing when the reader refused the bytes. `prepare` runs between
// loading and decoding (to pick a JPEG scale, say).
template <class G>
std::optional<Bitmap> Load(const uint8_t* data, size_t size, void (*prepare)(G&) = nullptr) {
  try {
    G graphic;
    graphic.LoadFromMemory(std::span<const uint8_t>(data, size));
    if (prepare) prepare(graphic);
    Bitmap b;
    graphic.AssignTo(b);
    if (Verbose()) std::printf("decoded %dx%d\n", b.Width(), b.Height());
    // Read every row through the common conversion so that a wrong size shows; huge pictures
    // only cost time there, the reader has done its part.
    if (!b.Empty() && int64_t(b.Width()) * b.Height() <= (int64_t(1) << 22)) (void)b.To32();
    return b;
  } catch (const std::exception& e) {
    if (Verbose()) std::printf("refused: %s\n", e.what());
    return std::nullopt;
  }
}

}  // namespace quendra::fuzz
