#include "formats/jpeg2000_bitmap.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "formats/graphic_error.h"

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

// A growing write stream; the JP2 writer seeks back to fill in box lengths.
struct MemoryOut {
  std::vector<uint8_t> bytes;
  size_t pos = 0;
};

OPJ_SIZE_T OutWrite(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemoryOut*>(user);
  if (m->pos + n > m->bytes.size()) m->bytes.resize(m->pos + n);
  std::memcpy(m->bytes.data() + m->pos, buf, n);
  m->pos += n;
  return n;
}
OPJ_OFF_T OutSkip(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemoryOut*>(user);
  if (n < 0 && size_t(-n) > m->pos) return -1;
  m->pos = size_t(OPJ_OFF_T(m->pos) + n);
  if (m->pos > m->bytes.size()) m->bytes.resize(m->pos);
  return n;
}
OPJ_BOOL OutSeek(OPJ_OFF_T to, void* user) {
  auto* m = static_cast<MemoryOut*>(user);
  if (to < 0) return OPJ_FALSE;
  m->pos = size_t(to);
  if (m->pos > m->bytes.size()) m->bytes.resize(m->pos);
  return OPJ_TRUE;
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

}  // namespace

void TJpeg2000Bitmap::LoadFromMemory(std::span<const uint8_t> data) {
  image_ = Bitmap();
  OPJ_CODEC_FORMAT format;
  if (data.size() >= 8 && std::memcmp(data.data(), kJp2Signature, 8) == 0)
    format = OPJ_CODEC_JP2;
  else if (data.size() >= 4 && std::memcmp(data.data(), kJ2kSignature, 4) == 0)
    format = OPJ_CODEC_J2K;
  else
    throw EJpeg2000Error("Unknown JPEG 2000 file type");

  MemoryIn in{data.data(), data.size(), 0};
  Stream stream(opj_stream_create(64 * 1024, OPJ_TRUE));
  Codec codec(opj_create_decompress(format));
  if (!stream || !codec) DecodeFailed();
  opj_stream_set_user_data(stream.get(), &in, nullptr);
  opj_stream_set_user_data_length(stream.get(), data.size());
  opj_stream_set_read_function(stream.get(), InRead);
  opj_stream_set_skip_function(stream.get(), InSkip);
  opj_stream_set_seek_function(stream.get(), InSeek);
  SilenceCodec(codec.get());

  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(codec.get(), &params)) DecodeFailed();
  opj_image_t* raw = nullptr;
  if (!opj_read_header(stream.get(), codec.get(), &raw)) {
    opj_image_destroy(raw);
    DecodeFailed();
  }
  OpjImage img(raw);
  if (!img || img->numcomps == 0 || img->x1 <= img->x0 || img->y1 <= img->y0) DecodeFailed();

  // Sizes before the codec allocates: the picture, and every component's samples together.
  const int64_t width = int64_t(img->x1) - img->x0, height = int64_t(img->y1) - img->y0;
  CheckDimensions(width, height);
  int64_t samples = 0;
  for (OPJ_UINT32 c = 0; c < img->numcomps; ++c) {
    const auto& comp = img->comps[c];
    if (comp.dx == 0 || comp.dy == 0) DecodeFailed();
    samples += ((width + comp.dx - 1) / comp.dx) * ((height + comp.dy - 1) / comp.dy);
    if (samples > kMaxPixels) CheckDimensions(samples, 2 * kMaxSide);  // throws
  }

  if (!opj_decode(codec.get(), stream.get(), img.get()) ||
      !opj_end_decompress(codec.get(), stream.get()))
    DecodeFailed();
  if (img->numcomps == 0 || img->x1 <= img->x0 || img->y1 <= img->y0) DecodeFailed();

  const int count = int(img->numcomps);
  const int used = count == 3 || count == 4 ? count : 1;
  const PixelFormat pf = count == 3   ? PixelFormat::pf24bit
                         : count == 4 ? PixelFormat::pf32bit
                                      : PixelFormat::pf8bit;
  Bitmap bmp(int(img->x1 - img->x0), int(img->y1 - img->y0), pf);
  const int step = BitsPerPixel(pf) / 8;
  const std::vector<Role> roles = ComponentRoles(*img, used);

  for (int c = 0; c < used; ++c) {
    const opj_image_comp_t& comp = img->comps[c];
    if (!comp.data || comp.prec == 0 || comp.prec > 31 || comp.dx == 0 || comp.dy == 0)
      DecodeFailed();
    // An 8-bit bitmap has one byte per pixel, whatever the role says.
    const int target = step == 1 ? 0 : TargetByte(roles[size_t(c)], c, count, img->color_space);
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
  if (img->color_space == OPJ_CLRSPC_SYCC && used >= 3) SyccToRgb(bmp);
  image_ = std::move(bmp);
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
  OpjImage img(opj_image_create(OPJ_UINT32(comps), parms, OPJ_CLRSPC_SRGB));
  if (!img) throw EJpeg2000Error("Failed to create JPEG 2000 image struct for saving");
  img->x0 = img->y0 = 0;
  img->x1 = OPJ_UINT32(width);
  img->y1 = OPJ_UINT32(height);
  if (alpha) img->comps[3].alpha = 1;

  // Component k takes byte 2, 1, 0, 3 of each pixel (red, green, blue, alpha).
  static constexpr int kByteOf[4] = {2, 1, 0, 3};
  std::vector<uint8_t> row32(is24 || is32 ? 0 : size_t(width) * 4);
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = src.Row(y);
    int step = is32 ? 4 : 3;
    if (!is24 && !is32) {
      ExpandRowTo32(src, y, row32.data());
      p = row32.data();
      step = 4;
    }
    for (int k = 0; k < comps; ++k) {
      OPJ_INT32* d = img->comps[k].data + size_t(y) * size_t(width);
      const uint8_t* s = p + kByteOf[k];
      for (int x = 0; x < width; ++x) d[x] = s[x * step];
    }
  }

  opj_cparameters_t params;
  opj_set_default_encoder_parameters(&params);
  params.cp_disto_alloc = 1;
  params.tcp_numlayers = 1;
  params.tcp_rates[0] =
      lossless ? 0.0f : Jpeg2000Ratio(int64_t(width) * height * comps, comps, quality);
  // Six resolution levels; a picture too small for them gets as many as its sides allow, since
  // the codec refuses more levels than a side can halve.
  int levels = 6;
  while (levels > 1 && (std::min(width, height) >> (levels - 1)) == 0) --levels;
  params.numresolution = levels;

  Codec codec(opj_create_compress(OPJ_CODEC_JP2));
  if (!codec) EncodeFailed();
  SilenceCodec(codec.get());
  if (!opj_setup_encoder(codec.get(), &params, img.get())) EncodeFailed();
  // The encoder codes its code-blocks on every core; a library without threads keeps one.
  opj_codec_set_threads(codec.get(), int(std::max(1u, std::thread::hardware_concurrency())));
  MemoryOut out;
  Stream stream(opj_stream_create(64 * 1024, OPJ_FALSE));
  if (!stream) EncodeFailed();
  opj_stream_set_user_data(stream.get(), &out, nullptr);
  opj_stream_set_write_function(stream.get(), OutWrite);
  opj_stream_set_skip_function(stream.get(), OutSkip);
  opj_stream_set_seek_function(stream.get(), OutSeek);
  if (!opj_start_compress(codec.get(), img.get(), stream.get()) ||
      !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get()))
    EncodeFailed();
  stream.reset();  // flushes what the stream still buffers
  return std::move(out.bytes);
}

}  // namespace quendra
