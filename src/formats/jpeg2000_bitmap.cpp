#include "formats/jpeg2000_bitmap.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "base/errors.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTJpeg2000Bitmap() {
  return std::make_unique<TJpeg2000Bitmap>();
}
const GraphicClass TJpeg2000Bitmap::kClass{"TJpeg2000Bitmap", &TBitmap::kClass,
                                           &NewTJpeg2000Bitmap};

namespace {

constexpr uint8_t kJp2Signature[8] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
constexpr uint8_t kJ2kSignature[4] = {0xFF, 0x4F, 0xFF, 0x51};

[[noreturn]] void DecodeFailed() {
  throw EJpeg2000Error("JPEG 2000 image decoding failed");
}
[[noreturn]] void EncodeFailed() {
  throw EJpeg2000Error("JPEG 2000 image encoding failed");
}

// The codec talks only when asked; its messages are dropped.
void Quiet(const char*, void*) {}

struct CodecDeleter {
  void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
  void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using Codec = std::unique_ptr<opj_codec_t, CodecDeleter>;
using Stream = std::unique_ptr<opj_stream_t, StreamDeleter>;
using OpjImage = std::unique_ptr<opj_image_t, ImageDeleter>;

void SilenceCodec(opj_codec_t* c) {
  opj_set_info_handler(c, Quiet, nullptr);
  opj_set_warning_handler(c, Quiet, nullptr);
  opj_set_error_handler(c, Quiet, nullptr);
}

// A read stream over a block of memory.
struct MemoryIn {
  const uint8_t* data;
  size_t size, pos;
};

OPJ_SIZE_T InRead(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemoryIn*>(user);
  if (m->pos >= m->size) return OPJ_SIZE_T(-1);
  size_t k = std::min<size_t>(n, m->size - m->pos);
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return k;
}
OPJ_OFF_T InSkip(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemoryIn*>(user);
  if (n < 0) {
    if (size_t(-n) > m->pos) return -1;
    m->pos -= size_t(-n);
  } else {
    m->pos = size_t(n) > m->size - m->pos ? m->size : m->pos + size_t(n);
  }
  return n;
}
OPJ_BOOL InSeek(OPJ_OFF_T to, void* user) {
  auto* m = static_cast<MemoryIn*>(user);
  if (to < 0 || uint64_t(to) > m->size) return OPJ_FALSE;
  m->pos = size_t(to);
  return OPJ_TRUE;
}

// A write stream in fixed chunks: growing never copies what is written, so the codestream costs
// its own size and no more. The JP2 writer seeks back to fill in box lengths.
struct ChunkedOut {
  static constexpr size_t kChunk = size_t(1) << 20;
  std::vector<std::unique_ptr<uint8_t[]>> chunks;
  size_t pos = 0, size = 0;

  void Grow(size_t to) {
    while (chunks.size() * kChunk < to) chunks.push_back(std::make_unique<uint8_t[]>(kChunk));
    size = std::max(size, to);
  }
};

OPJ_SIZE_T OutWrite(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<ChunkedOut*>(user);
  m->Grow(m->pos + n);
  const auto* from = static_cast<const uint8_t*>(buf);
  for (size_t left = n; left > 0;) {
    const size_t at = m->pos % ChunkedOut::kChunk;
    const size_t k = std::min(left, ChunkedOut::kChunk - at);
    std::memcpy(m->chunks[m->pos / ChunkedOut::kChunk].get() + at, from, k);
    from += k, m->pos += k, left -= k;
  }
  return n;
}
OPJ_OFF_T OutSkip(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<ChunkedOut*>(user);
  if (n < 0 && size_t(-n) > m->pos) return -1;
  m->pos = size_t(OPJ_OFF_T(m->pos) + n);
  m->Grow(m->pos);
  return n;
}
OPJ_BOOL OutSeek(OPJ_OFF_T to, void* user) {
  auto* m = static_cast<ChunkedOut*>(user);
  if (to < 0) return OPJ_FALSE;
  m->pos = size_t(to);
  m->Grow(m->pos);
  return OPJ_TRUE;
}

// Tiles of at most kTileSide a side, the picture split evenly so that no edge tile is a sliver:
// the codec works on one tile at a time, so its memory is a tile's, not the picture's.
constexpr int kTileSide = 1024;

struct TileGrid {
  int side, count, last;  // a tile's side, the number of tiles, the side of the last one
};

TileGrid SplitSide(int length) {
  const int count = (length + kTileSide - 1) / kTileSide;
  const int side = (length + count - 1) / count;
  const int used = (length + side - 1) / side;
  return {side, used, length - (used - 1) * side};
}

// Component roles: which byte of the pixel (blue, green, red, alpha) a component fills.
enum Role { kUnspecified = 0, kRed, kGreen, kBlue, kLuma, kCb, kCr, kAlpha };

int TargetByte(Role role, int index, int count, OPJ_COLOR_SPACE cs) {
  switch (role) {
    case kRed:
      return 2;
    case kGreen:
      return 1;
    case kBlue:
      return 0;
    case kLuma:
      return cs == OPJ_CLRSPC_SYCC ? 2 : 0;
    case kCb:
      return 1;
    case kCr:
      return 0;
    case kAlpha:
      return 3;
    case kUnspecified:
      break;
  }
  return count - index - 1;
}

// OpenJPEG has applied the channel definitions by the time it returns the picture: colour
// channels stand in their natural order and alpha channels carry a flag. Roles follow from that
// order and the colour space.
std::vector<Role> ComponentRoles(const opj_image_t& img, int used) {
  std::vector<Role> roles(size_t(used), kUnspecified);
  int colour = 0;
  for (int i = 0; i < used; ++i) {
    if (img.comps[i].alpha != 0) {
      roles[size_t(i)] = kAlpha;
      continue;
    }
    const int c = colour++;
    switch (img.color_space) {
      case OPJ_CLRSPC_SYCC:
        roles[size_t(i)] = c == 0 ? kLuma : c == 1 ? kCb : c == 2 ? kCr : kAlpha;
        break;
      case OPJ_CLRSPC_GRAY:
        roles[size_t(i)] = c == 0 ? kLuma : kAlpha;
        break;
      default:
        // sRGB and codestreams without a colour space: red, green, blue, then alpha.
        roles[size_t(i)] = c == 0 ? kRed : c == 1 ? kGreen : c == 2 ? kBlue : kAlpha;
        break;
    }
  }
  return roles;
}

uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Calls visit(type, body, length) for each box in [at, end); stops at a malformed box.
template <class F>
void ForEachBox(std::span<const uint8_t> d, size_t at, size_t end, F visit) {
  while (end - at >= 8) {
    uint64_t length = Be32(&d[at]);
    const uint32_t type = Be32(&d[at + 4]);
    size_t header = 8;
    if (length == 1) {
      if (end - at < 16) return;
      length = uint64_t(Be32(&d[at + 8])) << 32 | Be32(&d[at + 12]);
      header = 16;
    } else if (length == 0) {
      length = end - at;
    }
    if (length < header || length > end - at) return;
    visit(type, at + header, size_t(length) - header);
    at += size_t(length);
  }
}

// The JP2 header's palette, as far as sizes go: the codec expands a palette into one full-size
// component per channel its component mapping lists.
struct PaletteInfo {
  bool present = false;
  size_t channels = 0;
};

PaletteInfo ReadPaletteInfo(std::span<const uint8_t> d) {
  constexpr uint32_t kJp2h = 0x6A703268, kPclr = 0x70636C72, kCmap = 0x636D6170;
  PaletteInfo info;
  ForEachBox(d, 0, d.size(), [&](uint32_t type, size_t body, size_t length) {
    if (type != kJp2h) return;
    ForEachBox(d, body, body + length, [&](uint32_t t, size_t, size_t len) {
      if (t == kPclr) info.present = true;
      if (t == kCmap) info.channels = len / 4;
    });
  });
  return info;
}

// The codec sets up per-tile and per-component state while it reads the main header, before
// any size can be checked through it: a few bytes can ask for gigabytes there. The image and
// tile size marker (SIZ, right after the start of the codestream) is checked first.
constexpr uint64_t kMaxTileComponents = uint64_t(1) << 16;

void CheckCodestreamSize(std::span<const uint8_t> d, OPJ_CODEC_FORMAT format) {
  size_t at = 0, end = d.size();
  if (format == OPJ_CODEC_JP2) {
    constexpr uint32_t kJp2c = 0x6A703263;
    bool found = false;
    ForEachBox(d, 0, d.size(), [&](uint32_t type, size_t body, size_t length) {
      if (type == kJp2c && !found) at = body, end = body + length, found = true;
    });
    if (!found) return;  // the codec reports what is wrong
  }
  // SOC, then SIZ: marker, length, capabilities, then 32-bit sizes and the component count.
  if (end - at < 4 + 2 + 2 + 32 + 2 || d[at] != 0xFF || d[at + 1] != 0x4F || d[at + 2] != 0xFF ||
      d[at + 3] != 0x51)
    return;
  const uint8_t* p = d.data() + at + 8;
  const uint64_t xsiz = Be32(p), ysiz = Be32(p + 4), x0 = Be32(p + 8), y0 = Be32(p + 12);
  const uint64_t tw = Be32(p + 16), th = Be32(p + 20), tx0 = Be32(p + 24), ty0 = Be32(p + 28);
  const uint64_t comps = uint64_t(p[32]) << 8 | p[33];
  if (xsiz <= x0 || ysiz <= y0 || tw == 0 || th == 0 || tx0 > x0 || ty0 > y0) return;
  CheckDimensions(int64_t(xsiz - x0), int64_t(ysiz - y0));
  const uint64_t tiles = ((xsiz - tx0 + tw - 1) / tw) * ((ysiz - ty0 + th - 1) / th);
  if (tiles * std::max<uint64_t>(comps, 1) > kMaxTileComponents)
    throw EJpeg2000Error("JPEG 2000 picture of " + std::to_string(xsiz - x0) + " x " +
                         std::to_string(ysiz - y0) + " has " + std::to_string(tiles) +
                         " tiles of " + std::to_string(comps) +
                         " components; at most 65536 tile components are supported");
  // Every tile has at least one tile-part, whose SOT segment and SOD marker take 14 bytes: a
  // codestream shorter than that cannot hold the tiles the codec would set up state for.
  constexpr uint64_t kTilePartBytes = 14;
  if (tiles * kTilePartBytes > end - at)
    throw EJpeg2000Error("JPEG 2000 data is too short for its " + std::to_string(tiles) + " tiles");
}

uint8_t Clamp255(double v) {
  double r = std::nearbyint(v);  // the default rounding mode: halves to even
  return uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
}

void SyccToRgb(Bitmap& bmp) {
  const int step = BitsPerPixel(bmp.Format()) / 8;
  for (int y = 0; y < bmp.Height(); ++y) {
    uint8_t* p = bmp.Row(y);
    for (int x = 0; x < bmp.Width(); ++x, p += step) {
      const double Y = p[2], cb = p[1] - 128.0, cr = p[0] - 128.0;
      const uint8_t r = Clamp255(Y + 1.402 * cr);
      const uint8_t g = Clamp255(Y - 0.34414 * cb - 0.71414 * cr);
      const uint8_t b = Clamp255(Y + 1.772 * cb);
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
}

OPJ_CODEC_FORMAT CodecFormatOf(std::span<const uint8_t> data) {
  if (data.size() >= 8 && std::memcmp(data.data(), kJp2Signature, 8) == 0) return OPJ_CODEC_JP2;
  if (data.size() >= 4 && std::memcmp(data.data(), kJ2kSignature, 4) == 0) return OPJ_CODEC_J2K;
  throw EJpeg2000Error("Unknown JPEG 2000 file type");
}

// A silenced decompressor reading from in, which must outlive it.
struct Decoder {
  Stream stream;
  Codec codec;
};

Decoder OpenDecoder(MemoryIn& in, OPJ_CODEC_FORMAT format) {
  Decoder dec{Stream(opj_stream_create(64 * 1024, OPJ_TRUE)), Codec(opj_create_decompress(format))};
  if (!dec.stream || !dec.codec) DecodeFailed();
  opj_stream_t* stream = dec.stream.get();
  opj_stream_set_user_data(stream, &in, nullptr);
  opj_stream_set_user_data_length(stream, in.size);
  opj_stream_set_read_function(stream, InRead);
  opj_stream_set_skip_function(stream, InSkip);
  opj_stream_set_seek_function(stream, InSeek);
  SilenceCodec(dec.codec.get());

  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(dec.codec.get(), &params)) DecodeFailed();
  return dec;
}

OpjImage ReadCodestreamHeader(Decoder& dec) {
  opj_image_t* raw = nullptr;
  if (!opj_read_header(dec.stream.get(), dec.codec.get(), &raw)) {
    opj_image_destroy(raw);
    DecodeFailed();
  }
  OpjImage img(raw);
  if (!img || img->numcomps == 0 || img->x1 <= img->x0 || img->y1 <= img->y0) DecodeFailed();
  return img;
}

// Sizes before the codec allocates. The limit is on pixels; the codec then holds a full-size
// plane per component it produces, so the components are limited to what the picture shows:
// a palette may expand to at most four channels, and of a codestream without one only the
// components that become pixels are decoded (all of 3 or 4, else the first).
void LimitComponents(const opj_image_t& img, std::span<const uint8_t> data, OPJ_CODEC_FORMAT format,
                     opj_codec_t* codec) {
  const int64_t width = int64_t(img.x1) - img.x0, height = int64_t(img.y1) - img.y0;
  CheckDimensions(width, height);
  for (OPJ_UINT32 c = 0; c < img.numcomps; ++c)
    if (img.comps[c].dx == 0 || img.comps[c].dy == 0) DecodeFailed();
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  const PaletteInfo palette = format == OPJ_CODEC_JP2 ? ReadPaletteInfo(data) : PaletteInfo{};
  if (palette.present) {
    if (img.numcomps > 4 || palette.channels > 4)
      throw EJpeg2000Error("JPEG 2000 picture of " + size + " has " +
                           std::to_string(std::max<size_t>(img.numcomps, palette.channels)) +
                           " palette components; at most 4 are supported");
  } else if (img.numcomps != 3 && img.numcomps != 4 && img.numcomps > 1) {
    const OPJ_UINT32 first = 0;
    if (!opj_set_decoded_components(codec, 1, &first, OPJ_FALSE)) DecodeFailed();
  }
}

// One decoded component into byte target of each pixel (step bytes apart), each sample
// covering dx by dy pixels and scaled to 8 bits.
void CopyComponent(const opj_image_comp_t& comp, int target, int step, Bitmap& bmp) {
  if (!comp.data || comp.prec == 0 || comp.prec > 31 || comp.dx == 0 || comp.dy == 0)
    DecodeFailed();
  const int64_t offset = comp.sgnd ? int64_t(1) << (comp.prec - 1) : 0;
  const int64_t maximum = (int64_t(1) << comp.prec) - 1;
  const bool scale = comp.prec != 8;
  const int dx = int(comp.dx), dy = int(comp.dy);
  for (OPJ_UINT32 i = 0; i < comp.h; ++i) {
    const int64_t y0 = int64_t(i) * dy;
    if (y0 >= bmp.Height()) break;
    const int rows = int(std::min<int64_t>(dy, bmp.Height() - y0));
    const OPJ_INT32* src = comp.data + size_t(i) * comp.w;
    for (OPJ_UINT32 j = 0; j < comp.w; ++j) {
      const int64_t x0 = int64_t(j) * dx;
      if (x0 >= bmp.Width()) break;
      const int64_t v = int64_t(src[j]) + offset;
      uint8_t byte;
      if (scale)
        byte = uint8_t(std::clamp<int64_t>(v, 0, maximum) * 255 / maximum);
      else
        byte = uint8_t(v & 0xFF);
      const int cols = int(std::min<int64_t>(dx, bmp.Width() - x0));
      for (int r = 0; r < rows; ++r) {
        uint8_t* p = bmp.Row(int(y0) + r) + x0 * step + target;
        for (int k = 0; k < cols; ++k) p[k * step] = byte;
      }
    }
  }
}

Bitmap ComponentsToBitmap(const opj_image_t& img) {
  const int count = int(img.numcomps);
  const int used = count == 3 || count == 4 ? count : 1;
  const PixelFormat pf = count == 3   ? PixelFormat::pf24bit
                         : count == 4 ? PixelFormat::pf32bit
                                      : PixelFormat::pf8bit;
  Bitmap bmp(int(img.x1 - img.x0), int(img.y1 - img.y0), pf);
  const int step = BitsPerPixel(pf) / 8;
  const std::vector<Role> roles = ComponentRoles(img, used);
  for (int c = 0; c < used; ++c) {
    const opj_image_comp_t& comp = img.comps[c];
    // An 8-bit bitmap has one byte per pixel, whatever the role says.
    const int target = step == 1 ? 0 : TargetByte(roles[size_t(c)], c, count, img.color_space);
    CopyComponent(comp, target, step, bmp);
  }
  if (img.color_space == OPJ_CLRSPC_SYCC && used >= 3) SyccToRgb(bmp);
  return bmp;
}

}  // namespace

void TJpeg2000Bitmap::LoadFromMemory(std::span<const uint8_t> data) {
  image_ = Bitmap();
  const OPJ_CODEC_FORMAT format = CodecFormatOf(data);
  CheckCodestreamSize(data, format);

  MemoryIn in{data.data(), data.size(), 0};
  Decoder dec = OpenDecoder(in, format);
  OpjImage img = ReadCodestreamHeader(dec);
  LimitComponents(*img, data, format, dec.codec.get());

  if (!opj_decode(dec.codec.get(), dec.stream.get(), img.get()) ||
      !opj_end_decompress(dec.codec.get(), dec.stream.get()))
    DecodeFailed();
  if (img->numcomps == 0 || img->x1 <= img->x0 || img->y1 <= img->y0) DecodeFailed();
  image_ = ComponentsToBitmap(*img);
}

std::vector<uint8_t> TJpeg2000Bitmap::SaveToMemory() const {
  return EncodeJpeg2000(image_, Quality, Lossless);
}

float Jpeg2000Ratio(int64_t samples, int components, int quality) {
  const float n = float(samples);
  const float q = float(115 - quality);
  return n / (n * 100.0f / (q * q) + 550.0f + 142.0f * float(components - 1));
}

std::vector<uint8_t> EncodeJpeg2000(const Bitmap& src, int quality, bool lossless) {
  std::vector<uint8_t> out;
  WriteJpeg2000(src, quality, lossless,
                [&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); });
  return out;
}

void WriteJpeg2000(const Bitmap& src, int quality, bool lossless, const ByteSink& sink) {
  quality = std::clamp(quality, 0, 100);  // the rule is made for 0 to 100
  if (src.Empty()) throw EJpeg2000Error("Failed to create JPEG 2000 image struct for saving");
  const int width = src.Width(), height = src.Height();
  const bool is32 = src.Format() == PixelFormat::pf32bit;
  const bool is24 = src.Format() == PixelFormat::pf24bit;
  // A fourth byte that is 0 everywhere holds no alpha: written as alpha it would make the
  // picture fully transparent in every other reader.
  bool alpha = false;
  if (is32) {
    for (int y = 0; y < height && !alpha; ++y) {
      const uint8_t* p = src.Row(y);
      for (int x = 0; x < width; ++x)
        if (p[4 * x + 3] != 0) {
          alpha = true;
          break;
        }
    }
  }
  const int comps = alpha ? 4 : 3;

  opj_image_cmptparm_t parms[4];
  std::memset(parms, 0, sizeof parms);
  for (int k = 0; k < comps; ++k) {
    parms[k].dx = parms[k].dy = 1;
    parms[k].w = OPJ_UINT32(width);
    parms[k].h = OPJ_UINT32(height);
    parms[k].prec = 8;
    parms[k].sgnd = 0;
  }
  // The samples go to the codec tile by tile, so the picture holds no planes of its own.
  OpjImage img(opj_image_tile_create(OPJ_UINT32(comps), parms, OPJ_CLRSPC_SRGB));
  if (!img) throw EJpeg2000Error("Failed to create JPEG 2000 image struct for saving");
  img->x0 = img->y0 = 0;
  img->x1 = OPJ_UINT32(width);
  img->y1 = OPJ_UINT32(height);
  if (alpha) img->comps[3].alpha = 1;

  const TileGrid across = SplitSide(width), down = SplitSide(height);
  opj_cparameters_t params;
  opj_set_default_encoder_parameters(&params);
  params.cp_disto_alloc = 1;
  params.tcp_numlayers = 1;
  params.tcp_rates[0] =
      lossless ? 0.0f : Jpeg2000Ratio(int64_t(width) * height * comps, comps, quality);
  params.tile_size_on = OPJ_TRUE;
  params.cp_tx0 = params.cp_ty0 = 0;
  params.cp_tdx = across.side;
  params.cp_tdy = down.side;
  // Six resolution levels; a tile too small for them gets as many as its sides allow, since
  // the codec refuses more levels than a side can halve.
  const int smallest = std::min({across.side, across.last, down.side, down.last});
  int levels = 6;
  while (levels > 1 && (smallest >> (levels - 1)) == 0) --levels;
  params.numresolution = levels;

  Codec codec(opj_create_compress(OPJ_CODEC_JP2));
  if (!codec) EncodeFailed();
  SilenceCodec(codec.get());
  if (!opj_setup_encoder(codec.get(), &params, img.get())) EncodeFailed();
  // The encoder codes its code-blocks on every core; a library without threads keeps one.
  opj_codec_set_threads(codec.get(), int(std::max(1u, std::thread::hardware_concurrency())));
  ChunkedOut out;
  Stream stream(opj_stream_create(64 * 1024, OPJ_FALSE));
  if (!stream) EncodeFailed();
  opj_stream_set_user_data(stream.get(), &out, nullptr);
  opj_stream_set_write_function(stream.get(), OutWrite);
  opj_stream_set_skip_function(stream.get(), OutSkip);
  opj_stream_set_seek_function(stream.get(), OutSeek);
  if (!opj_start_compress(codec.get(), img.get(), stream.get())) EncodeFailed();

  // One tile's planes, component after component, one byte a sample; component k takes byte
  // 2, 1, 0, 3 of each pixel (red, green, blue, alpha).
  static constexpr int kByteOf[4] = {2, 1, 0, 3};
  std::vector<uint8_t> planes(size_t(across.side) * size_t(down.side) * size_t(comps));
  std::vector<uint8_t> row32(is24 || is32 ? 0 : size_t(width) * 4);
  const int step = is32 ? 4 : is24 ? 3 : 4;
  OPJ_UINT32 tile = 0;
  for (int ty = 0; ty < down.count; ++ty) {
    const int y0 = ty * down.side, th = std::min(down.side, height - y0);
    for (int tx = 0; tx < across.count; ++tx, ++tile) {
      const int x0 = tx * across.side, tw = std::min(across.side, width - x0);
      const size_t plane = size_t(tw) * size_t(th);
      for (int y = 0; y < th; ++y) {
        const uint8_t* p = src.Row(y0 + y);
        if (!is24 && !is32) p = RowAs32(src, y0 + y, row32.data());
        p += size_t(x0) * size_t(step);
        for (int k = 0; k < comps; ++k) {
          uint8_t* d = planes.data() + size_t(k) * plane + size_t(y) * size_t(tw);
          const uint8_t* s = p + kByteOf[k];
          for (int x = 0; x < tw; ++x) d[x] = s[x * step];
        }
      }
      if (!opj_write_tile(codec.get(), tile, planes.data(), OPJ_UINT32(plane * size_t(comps)),
                          stream.get()))
        EncodeFailed();
    }
  }
  if (!opj_end_compress(codec.get(), stream.get())) EncodeFailed();
  stream.reset();  // flushes what the stream still buffers
  for (size_t at = 0; at < out.size; at += ChunkedOut::kChunk)
    sink(out.chunks[at / ChunkedOut::kChunk].get(), std::min(ChunkedOut::kChunk, out.size - at));
}

namespace {
constexpr std::string_view kJpeg2000Extensions[] = {"jp2", "j2k", "jpc"};
constexpr std::string_view kJpeg2000Listed[] = {".jp2"};
constexpr std::string_view kJpeg2000Aliases[] = {".j2k", ".jpc"};
void SaveJpeg2000(const Bitmap& bmp, const ByteSink& sink) {
  WriteJpeg2000(bmp, 97, false, sink);
}
const WriterRecord kJpeg2000Writer{SaveFormat::Jpeg2000, ".jp2", kJpeg2000Aliases, &SaveJpeg2000};
}  // namespace

const FormatRecord kJpeg2000Format{
    &TJpeg2000Bitmap::kClass, kJpeg2000Extensions, "JPEG 2000 Image", kJpeg2000Listed, false,
    &kJpeg2000Writer};

}  // namespace quendra
