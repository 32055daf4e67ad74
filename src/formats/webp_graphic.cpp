// WebP over libwebp and its demuxer. The container is read at load time (canvas size, the first
// frame's place, EXIF orientation, ICC profile); the bytes are kept, and the first frame is
// decoded when a bitmap is asked for, by the incremental decoder fed the bytes in pieces, which
// gives a cancel check between pieces. libwebp's own rescaler makes the 1/2, 1/4 and 1/8
// scales; rows are handed on from the picture decoded at that scale, a small one when the
// viewer asks for rows (it fits large pictures).
//
// The first frame of an animation lies on a canvas that starts fully transparent (what libwebp's
// animation decoder does for it), so nothing but frame 1 needs composing.
#include "formats/webp_graphic.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <webp/decode.h>
#include <webp/demux.h>

#include "base/errors.h"
#include "formats/exif_orientation.h"
#include "formats/load_cancel.h"
#include "formats/over_white.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTWebPGraphic() {
  return std::make_unique<TWebPGraphic>();
}
const GraphicClass TWebPGraphic::kClass{"TWebPGraphic", &kTGraphicClass, &NewTWebPGraphic};

namespace {

// Bytes handed to the decoder between two cancel checks.
constexpr size_t kFeedBytes = size_t(64) << 10;

struct Demux {
  WebPDemuxer* demux = nullptr;
  ~Demux() { WebPDemuxDelete(demux); }
};

struct IncrementalDecoder {
  WebPIDecoder* dec = nullptr;
  ~IncrementalDecoder() {
    if (dec) WebPIDelete(dec);
  }
};

// The first frame's bitstream and where it lies on the canvas.
struct Frame {
  const uint8_t* bits = nullptr;
  size_t size = 0;
  int x = 0, y = 0, width = 0, height = 0;
  int canvasWidth = 0, canvasHeight = 0;
  bool alpha = false;  // the frame has alpha, or leaves part of the canvas transparent
  bool Covers() const { return x == 0 && y == 0 && width == canvasWidth && height == canvasHeight; }
};

std::string StatusText(VP8StatusCode s) {
  switch (s) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return "WebP: out of memory";
    case VP8_STATUS_BITSTREAM_ERROR:
      return "WebP: the picture data is damaged";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "WebP: the picture uses a feature the decoder does not support";
    case VP8_STATUS_NOT_ENOUGH_DATA:
    case VP8_STATUS_SUSPENDED:
      return "WebP: the picture data ends early";
    default:
      return "WebP: the picture cannot be decoded";
  }
}

// Parses the container and finds frame 1; the canvas size is checked against the pixel limit.
Frame Open(std::span<const uint8_t> data, Demux& d) {
  const WebPData whole{data.data(), data.size()};
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  d.demux = WebPDemuxPartial(&whole, &state);
  if (d.demux == nullptr || state == WEBP_DEMUX_PARSE_ERROR)
    throw EInvalidGraphic("WebP: not a WebP file, or its container is damaged");
  if (state != WEBP_DEMUX_DONE)
    throw EInvalidGraphic("WebP: the file ends before its picture does");
  Frame f;
  const uint32_t cw = WebPDemuxGetI(d.demux, WEBP_FF_CANVAS_WIDTH);
  const uint32_t ch = WebPDemuxGetI(d.demux, WEBP_FF_CANVAS_HEIGHT);
  CheckDimensions(cw, ch);
  f.canvasWidth = int(cw), f.canvasHeight = int(ch);
  WebPIterator it;
  if (!WebPDemuxGetFrame(d.demux, 1, &it)) throw EInvalidGraphic("WebP: the file holds no picture");
  f.bits = it.fragment.bytes, f.size = it.fragment.size;
  f.x = it.x_offset, f.y = it.y_offset, f.width = it.width, f.height = it.height;
  const bool complete = it.complete != 0;
  WebPDemuxReleaseIterator(&it);
  if (!complete) throw EInvalidGraphic("WebP: the file ends before its picture does");
  WebPBitstreamFeatures features;
  const VP8StatusCode s = WebPGetFeatures(f.bits, f.size, &features);
  if (s != VP8_STATUS_OK) throw EInvalidGraphic(StatusText(s));
  if (features.width != f.width || features.height != f.height || f.width <= 0 || f.height <= 0)
    throw EInvalidGraphic("WebP: the frame's size does not match its picture");
  if (f.x < 0 || f.y < 0 || f.x > f.canvasWidth - f.width || f.y > f.canvasHeight - f.height)
    throw EInvalidGraphic("WebP: the first frame lies outside the canvas");
  f.alpha = features.has_alpha != 0 || !f.Covers();
  return f;
}

int CeilDiv(int v, int d) {
  return (v + d - 1) / d;
}

// Decodes frame 1 at 1/denom into `out`, sized for the canvas at that scale (32 bits when the
// frame has alpha, else 24).
void DecodeFrame(const Frame& f, int denom, Bitmap& out) {
  const bool alpha = out.Format() == PixelFormat::pf32bit;
  const int bpp = alpha ? 4 : 3;
  // The scaled frame stays inside the scaled canvas: floor(x/d) + ceil(w/d) <= ceil((x+w)/d).
  const int fx = f.x / denom, fy = f.y / denom;
  const int fw = CeilDiv(f.width, denom), fh = CeilDiv(f.height, denom);
  if (!f.Covers())
    for (int y = 0; y < out.Height(); ++y) {
      uint8_t* row = out.Row(y);
      for (int x = 0; x < out.Width(); ++x) std::memcpy(row + 4 * x, "\xff\xff\xff\x00", 4);
    }
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) throw EInvalidGraphic("WebP: the decoder cannot start");
  config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = out.Row(fy) + size_t(fx) * bpp;
  config.output.u.RGBA.stride = int(out.Stride());
  config.output.u.RGBA.size = out.Stride() * size_t(fh - 1) + size_t(fw) * bpp;
  // Lossy pictures are filtered on a second thread, which writes rows while the decoder waits
  // for bytes: the rows are read only once the decoder has finished (and joined it).
  config.options.use_threads = 1;
  if (denom > 1) {
    config.options.use_scaling = 1;
    config.options.scaled_width = fw;
    config.options.scaled_height = fh;
  }
  IncrementalDecoder d;  // after config, which it uses: destroyed first
  d.dec = WebPIDecode(f.bits, f.size, &config);
  if (d.dec == nullptr) throw EInvalidGraphic("WebP: the decoder cannot start");
  for (size_t fed = 0;;) {
    ThrowIfCancelled();
    fed = std::min(f.size, fed + kFeedBytes);
    const VP8StatusCode s = WebPIUpdate(d.dec, f.bits, fed);
    if (s == VP8_STATUS_OK) break;
    if (s != VP8_STATUS_SUSPENDED || fed == f.size) throw EInvalidGraphic(StatusText(s));
  }
  if (alpha)
    for (int y = fy; y < fy + fh; ++y) BlendOverWhite(out.Row(y) + 4 * fx, fw);
  ThrowIfCancelled();
}

Bitmap CanvasFor(const Frame& f, int denom) {
  Bitmap out;
  out.Allocate(CeilDiv(f.canvasWidth, denom), CeilDiv(f.canvasHeight, denom),
               f.alpha ? PixelFormat::pf32bit : PixelFormat::pf24bit);  // every pixel is written
  return out;
}

}  // namespace

void TWebPGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  Demux d;
  const Frame f = Open(data, d);
  PictureMetadata look;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(d.demux, "EXIF", 1, &chunk))
    look.orientation = ExifOrientation({chunk.chunk.bytes, chunk.chunk.size});
  WebPDemuxReleaseChunkIterator(&chunk);
  if (WebPDemuxGetChunk(d.demux, "ICCP", 1, &chunk))
    look.colour.icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
  WebPDemuxReleaseChunkIterator(&chunk);
  metadata_ = std::move(look);
  Hold(data, f.canvasWidth, f.canvasHeight);
}

Bitmap TWebPGraphic::Decode(int denom) const {
  Demux d;
  const Frame f = Open(Held(), d);
  Bitmap out = CanvasFor(f, denom);
  DecodeFrame(f, denom, out);
  return out;
}

namespace {
constexpr std::string_view kWebpExtensions[] = {"webp"};
constexpr std::string_view kWebpListed[] = {".webp"};
}  // namespace

const FormatRecord kWebpFormat{
    &TWebPGraphic::kClass, kWebpExtensions, "WebP images", kWebpListed, true, nullptr};

}  // namespace quendra
