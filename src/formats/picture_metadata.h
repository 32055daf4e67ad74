#pragma once
// What a file says about how its stored pixels are meant to be seen: the turn or mirror that
// makes them upright, and the colour space they are in. Readers fill it in; the loader applies
// it once, to the picture it shows, so everything after the load sees upright sRGB pixels.
#include <cstdint>
#include <optional>
#include <vector>

namespace quendra {

// The EXIF orientation values: how the stored rows must be turned or mirrored to be upright.
enum class Orientation : uint8_t {
  Normal = 1,   // as stored
  Mirrored,     // left and right swapped
  HalfTurn,     // upside down
  Flipped,      // top and bottom swapped
  Transposed,   // mirrored along the top-left to bottom-right diagonal
  TurnRight,    // shown turned a quarter clockwise
  Transversed,  // mirrored along the other diagonal
  TurnLeft,     // shown turned a quarter counter-clockwise
};

// The orientation a tag value names; anything outside 1..8 counts as as stored.
constexpr Orientation OrientationFromTag(long value) {
  return value >= 1 && value <= 8 ? Orientation(value) : Orientation::Normal;
}
// Whether the upright picture has the stored picture's width as its height.
constexpr bool SwapsSides(Orientation o) {
  return uint8_t(o) >= uint8_t(Orientation::Transposed);
}

// A colour space given by primaries and a transfer curve instead of a profile (PNG's cHRM and
// gAMA, the nclx boxes of AVIF and HEIF).
struct CalibratedRgb {
  double white[2], red[2], green[2], blue[2];  // CIE xy chromaticities
  enum class Curve : uint8_t { Srgb, Gamma, Linear } curve = Curve::Srgb;
  double gamma = 2.2;  // the decoding exponent, for Curve::Gamma
};

struct ColourSpace {
  std::vector<uint8_t> icc;                 // an embedded ICC profile; wins when present
  std::optional<CalibratedRgb> calibrated;  // otherwise this, when the file names one
  bool grey = false;  // the stored pixels are grey levels: a grey profile applies to them only
  bool Known() const { return !icc.empty() || calibrated.has_value(); }
};

struct PictureMetadata {
  Orientation orientation = Orientation::Normal;
  ColourSpace colour;  // neither: sRGB
};

}  // namespace quendra
