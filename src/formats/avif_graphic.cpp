// AVIF over libavif (with whichever AV1 decoder it was built with, dav1d first). The file is
// parsed, its size checked against the pixel limit, the first frame decoded and converted by
// libavif straight into the bitmap's rows. libavif leaves the rotation (irot) and mirror (imir)
// boxes to its caller: they become the picture's orientation, which the loader applies, and any
// EXIF orientation inside the file is ignored, as the format asks.
#include "formats/avif_graphic.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include <avif/avif.h>

#include "base/errors.h"
#include "formats/av1_coded_size.h"
#include "formats/block_reduce.h"
#include "formats/load_cancel.h"
#include "formats/over_white.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTAvifGraphic() {
  return std::make_unique<TAvifGraphic>();
}
const GraphicClass TAvifGraphic::kClass{"TAvifGraphic", &kTGraphicClass, &NewTAvifGraphic};

namespace {

struct Decoder {
  avifDecoder* decoder = avifDecoderCreate();
  ~Decoder() {
    if (decoder) avifDecoderDestroy(decoder);
  }
};

[[noreturn]] void Fail(const char* what, avifResult r) {
  throw EInvalidGraphic(std::string("AVIF: ") + what + " (" + avifResultToString(r) + ")");
}

// irot turns the stored picture counter-clockwise by quarter turns, then imir exchanges its top
// and bottom (mode 0) or its left and right (mode 1): the EXIF orientation that does the same.
Orientation OrientationOf(const avifImage& img) {
  const bool rotate = (img.transformFlags & AVIF_TRANSFORM_IROT) != 0;
  const bool mirror = (img.transformFlags & AVIF_TRANSFORM_IMIR) != 0;
  const int quarters = rotate ? img.irot.angle & 3 : 0;
  static constexpr Orientation kTurned[4] = {Orientation::Normal, Orientation::TurnLeft,
                                             Orientation::HalfTurn, Orientation::TurnRight};
  static constexpr Orientation kTurnedThenFlipped[4] = {
      Orientation::Flipped, Orientation::Transposed, Orientation::Mirrored,
      Orientation::Transversed};
  static constexpr Orientation kTurnedThenMirrored[4] = {
      Orientation::Mirrored, Orientation::Transversed, Orientation::Flipped,
      Orientation::Transposed};
  if (!mirror) return kTurned[quarters];
  return img.imir.mode == 0 ? kTurnedThenFlipped[quarters] : kTurnedThenMirrored[quarters];
}

// An embedded profile; else the colour boxes' primaries and transfer curve when they are not
// sRGB's. Curves the viewer cannot show (PQ and HLG, for HDR) and curves it does not know leave
// the picture as sRGB.
ColourSpace ColourOf(const avifImage& img) {
  ColourSpace c;
  if (img.icc.size > 0) {
    c.icc.assign(img.icc.data, img.icc.data + img.icc.size);
    return c;
  }
  const bool srgbPrimaries = img.colorPrimaries == AVIF_COLOR_PRIMARIES_BT709 ||
                             img.colorPrimaries == AVIF_COLOR_PRIMARIES_UNSPECIFIED ||
                             img.colorPrimaries == AVIF_COLOR_PRIMARIES_UNKNOWN;
  CalibratedRgb rgb{};
  switch (img.transferCharacteristics) {
    case AVIF_TRANSFER_CHARACTERISTICS_SRGB:
    case AVIF_TRANSFER_CHARACTERISTICS_BT709:  // a camera curve, shown as sRGB's
    case AVIF_TRANSFER_CHARACTERISTICS_BT601:
    case AVIF_TRANSFER_CHARACTERISTICS_UNSPECIFIED:
    case AVIF_TRANSFER_CHARACTERISTICS_UNKNOWN:
      if (srgbPrimaries) return c;
      rgb.curve = CalibratedRgb::Curve::Srgb;
      break;
    case AVIF_TRANSFER_CHARACTERISTICS_BT470M:
      rgb.curve = CalibratedRgb::Curve::Gamma, rgb.gamma = 2.2;
      break;
    case AVIF_TRANSFER_CHARACTERISTICS_BT470BG:
      rgb.curve = CalibratedRgb::Curve::Gamma, rgb.gamma = 2.8;
      break;
    case AVIF_TRANSFER_CHARACTERISTICS_LINEAR:
      rgb.curve = CalibratedRgb::Curve::Linear;
      break;
    default:
      return c;
  }
  float xy[8];  // red, green, blue, white: x then y
  avifColorPrimariesGetValues(
      srgbPrimaries ? avifColorPrimaries(AVIF_COLOR_PRIMARIES_BT709) : img.colorPrimaries, xy);
  rgb.red[0] = xy[0], rgb.red[1] = xy[1], rgb.green[0] = xy[2], rgb.green[1] = xy[3];
  rgb.blue[0] = xy[4], rgb.blue[1] = xy[5], rgb.white[0] = xy[6], rgb.white[1] = xy[7];
  c.calibrated = rgb;
  return c;
}

// Whether an item information entry (version 2 or 3) names an item of type "grid".
bool HasGridItem(std::span<const uint8_t> data) {
  static const char kInfe[] = "infe";
  for (auto at = data.begin(); (at = std::search(at, data.end(), kInfe, kInfe + 4)) != data.end();
       ++at) {
    const size_t i = size_t(at - data.begin());
    if (data.size() - i < 20 || data[i + 4] < 2) continue;
    const size_t type = i + 4 + 4 + (data[i + 4] == 3 ? 4 : 2) + 2;  // after ID and protection
    if (std::memcmp(&data[type], "grid", 4) == 0) return true;
  }
  return false;
}

// libavif scales the coded picture to the size the container claims: a picture coded smaller
// than that is refused before it is decoded. A grid's tiles are each smaller than the whole, so
// files that hold a grid are left to libavif's own checks of their tiles.
void CheckCodedSize(const avifDecoder& dec, std::span<const uint8_t> data) {
  if (HasGridItem(data)) return;
  avifExtent extent{};
  if (avifDecoderNthImageMaxExtent(&dec, 0, &extent) != AVIF_RESULT_OK || extent.size == 0 ||
      extent.offset >= data.size())
    return;
  const auto coded = Av1CodedSize(data.subspan(
      size_t(extent.offset), std::min<uint64_t>(extent.size, data.size() - extent.offset)));
  if (coded && (coded->width < dec.image->width || coded->height < dec.image->height))
    throw EInvalidGraphic("AVIF: the header claims a larger picture than the file codes");
}

}  // namespace

namespace {

// A decoder over the bytes with the program's limits, its container parsed and checked.
void Open(Decoder& d, std::span<const uint8_t> data) {
  if (d.decoder == nullptr) throw EInvalidGraphic("AVIF: the decoder cannot start");
  avifDecoder* dec = d.decoder;
  dec->maxThreads = 2;
  dec->imageSizeLimit = uint32_t(kMaxPixels);
  dec->imageDimensionLimit = uint32_t(kMaxSide);
  // Only the first frame of a sequence is shown; a sequence that claims more frames than this
  // is refused before its tables are read.
  dec->imageCountLimit = 1u << 16;
  dec->ignoreExif = AVIF_TRUE;  // the orientation is the rotation and mirror boxes'
  dec->ignoreXMP = AVIF_TRUE;
  avifResult r = avifDecoderSetIOMemory(dec, data.data(), data.size());
  if (r != AVIF_RESULT_OK) Fail("the file cannot be read", r);
  r = avifDecoderParse(dec);
  if (r != AVIF_RESULT_OK) Fail("not an AVIF file, or a damaged one", r);
  CheckDimensions(dec->image->width, dec->image->height);
  CheckCodedSize(*dec, data);
}

// The planes of an 8-bit picture whose matrix is a plain weighting, for a reduced conversion.
std::optional<YCbCrPlanes> PlanesOf(const avifImage& img) {
  const auto weights = LumaWeights(int(img.matrixCoefficients));
  if (img.depth != 8 || img.alphaPremultiplied || !weights) return std::nullopt;
  YCbCrPlanes p;
  p.width = int(img.width), p.height = int(img.height);
  p.y = img.yuvPlanes[AVIF_CHAN_Y], p.yStride = img.yuvRowBytes[AVIF_CHAN_Y];
  if (img.yuvFormat != AVIF_PIXEL_FORMAT_YUV400) {
    p.cb = img.yuvPlanes[AVIF_CHAN_U], p.cr = img.yuvPlanes[AVIF_CHAN_V];
    p.cStride = img.yuvRowBytes[AVIF_CHAN_U];
    if (img.yuvRowBytes[AVIF_CHAN_V] != p.cStride) return std::nullopt;
    p.chromaShiftX = img.yuvFormat == AVIF_PIXEL_FORMAT_YUV444 ? 0 : 1;
    p.chromaShiftY = img.yuvFormat == AVIF_PIXEL_FORMAT_YUV420 ? 1 : 0;
  }
  p.alpha = img.alphaPlane, p.alphaStride = img.alphaRowBytes;
  p.kr = weights->first, p.kb = weights->second;
  p.fullRange = img.yuvRange == AVIF_RANGE_FULL;
  p.smoothChroma = true;
  if (p.y == nullptr || (p.cb == nullptr) != (p.cr == nullptr)) return std::nullopt;
  return p;
}

// libavif's own conversion of the whole picture.
Bitmap Converted(const avifImage& img) {
  const bool alpha = img.alphaPlane != nullptr;
  Bitmap out;
  out.Allocate(int(img.width), int(img.height), PixelFormat::pf32bit);  // libavif writes all
  // Always four bytes a pixel: libavif converts to them several times faster than to three.
  // Opaque pictures keep the program's fourth byte of 0.
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, &img);
  rgb.format = AVIF_RGB_FORMAT_BGRA;
  rgb.depth = 8;
  rgb.pixels = out.Row(0);
  rgb.rowBytes = uint32_t(out.Stride());
  const avifResult r = avifImageYUVToRGB(&img, &rgb);
  if (r != AVIF_RESULT_OK) Fail("the picture's colours cannot be converted", r);
  for (int y = 0; y < out.Height(); ++y) {
    uint8_t* row = out.Row(y);
    if (alpha) {
      BlendOverWhite(row, out.Width());
    } else {
      for (int x = 0; x < out.Width(); ++x) row[4 * x + 3] = 0;
    }
  }
  return out;
}

}  // namespace

void TAvifGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  ThrowIfCancelled();
  Decoder d;
  Open(d, data);
  const avifImage& img = *d.decoder->image;
  metadata_.orientation = OrientationOf(img);
  metadata_.colour = ColourOf(img);
  Hold(data, int(img.width), int(img.height));
}

Bitmap TAvifGraphic::Decode(int denom) const {
  Decoder d;
  Open(d, Held());
  ThrowIfCancelled();
  const avifResult r = avifDecoderNextImage(d.decoder);
  if (r != AVIF_RESULT_OK) Fail("the picture cannot be decoded", r);
  ThrowIfCancelled();
  const avifImage& img = *d.decoder->image;
  // A sequence's frames may differ from its header; the scaled size is the header's.
  if (int(img.width) != FullWidth() || int(img.height) != FullHeight())
    throw EInvalidGraphic("AVIF: the first frame's size does not match the file's");
  if (denom == 1) return Converted(img);
  if (const auto planes = PlanesOf(img)) return ReducedFromYCbCr(*planes, denom);
  return ReducedBgra(Converted(img), denom);
}

namespace {
constexpr std::string_view kAvifExtensions[] = {"avif"};
constexpr std::string_view kAvifListed[] = {".avif"};
}  // namespace

const FormatRecord kAvifFormat{
    &TAvifGraphic::kClass, kAvifExtensions, "AV1 images (AVIF)", kAvifListed, true, nullptr};

}  // namespace quendra
