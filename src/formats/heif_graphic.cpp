// HEIF over libheif. The file is read in place (the mapping outlives the context), the primary
// image's size is checked against the pixel limit before anything is decoded, and libheif
// decodes it, already turned, mirrored and cropped, to interleaved 8-bit RGBA, which is copied
// into the bitmap as BGRA. libheif hands out images only in buffers of its own, so that copy
// is the one the reader cannot save.
//
// The colour space: an ICC profile (prof or rICC) as it is; an nclx box only when it names
// primaries other than sRGB's, or a plain gamma or linear curve. PQ and HLG (HDR) pictures are
// shown as decoded, without tone mapping.
#include "formats/heif_graphic.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <libheif/heif.h>

#include "base/errors.h"
#include "formats/block_reduce.h"
#include "formats/hevc_coded_size.h"
#include "formats/load_cancel.h"
#include "formats/over_white.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTHeifGraphic() {
  return std::make_unique<THeifGraphic>();
}
const GraphicClass THeifGraphic::kClass{"THeifGraphic", &kTGraphicClass, &NewTHeifGraphic};

namespace {

// Red and blue trade places within whole little-endian pixel words.
static_assert(std::endian::native == std::endian::little);

// libheif's own bound on the side of every image item it reads (tiles, alpha and thumbnails
// included); the primary picture also meets the program's pixel limit below.
constexpr int kMaxItemSide = 1 << 15;

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct NclxFree {
  void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};

[[noreturn]] void Fail(const char* what, const heif_error& e) {
  std::string message = std::string("HEIF: ") + what;
  if (e.message != nullptr && *e.message != 0) message += std::string(": ") + e.message;
  throw EInvalidGraphic(message);
}
void Check(const heif_error& e, const char* what) {
  if (e.code != heif_error_Ok) Fail(what, e);
}

// The plugins libheif registers itself, once for the program.
void InitLibheif() {
  static const bool done = [] {
    heif_init(nullptr);
    return true;
  }();
  (void)done;
}

// The curve an nclx transfer characteristic names, when it is one the viewer converts from.
enum class Transfer { SrgbLike, Gamma22, Gamma28, Linear, Other };
Transfer TransferOf(heif_transfer_characteristics t) {
  switch (t) {
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_unspecified:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_SMPTE_240M:
    case heif_transfer_characteristic_IEC_61966_2_1:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit:
      return Transfer::SrgbLike;  // camera curves, shown the way sRGB is
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
      return Transfer::Gamma22;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
      return Transfer::Gamma28;
    case heif_transfer_characteristic_linear:
      return Transfer::Linear;
    default:
      return Transfer::Other;  // PQ, HLG, logarithmic: left as decoded
  }
}

bool InUnitRange(float v) {
  return v > 0.0f && v < 1.0f;
}

void ReadNclx(const heif_color_profile_nclx& n, ColourSpace& colour) {
  const Transfer t = TransferOf(n.transfer_characteristics);
  if (t == Transfer::Other) return;
  const bool srgbPrimaries = n.color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                             n.color_primaries == heif_color_primaries_unspecified;
  if (srgbPrimaries && t == Transfer::SrgbLike) return;
  CalibratedRgb c{{0.3127, 0.3290},           {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06},
                  CalibratedRgb::Curve::Srgb, 2.2};
  if (!srgbPrimaries) {
    const float xy[] = {n.color_primary_white_x, n.color_primary_white_y, n.color_primary_red_x,
                        n.color_primary_red_y,   n.color_primary_green_x, n.color_primary_green_y,
                        n.color_primary_blue_x,  n.color_primary_blue_y};
    if (!std::all_of(std::begin(xy), std::end(xy), InUnitRange)) return;
    c.white[0] = xy[0], c.white[1] = xy[1], c.red[0] = xy[2], c.red[1] = xy[3];
    c.green[0] = xy[4], c.green[1] = xy[5], c.blue[0] = xy[6], c.blue[1] = xy[7];
  }
  if (t == Transfer::Linear) {
    c.curve = CalibratedRgb::Curve::Linear;
  } else if (t != Transfer::SrgbLike) {
    c.curve = CalibratedRgb::Curve::Gamma;
    c.gamma = t == Transfer::Gamma22 ? 2.2 : 2.8;
  }
  colour.calibrated = c;
}

// --- the primary item's canvas -----------------------------------------------------------------
// libheif 1.15 allocates a grid's or an overlay's canvas from the size its descriptor gives,
// which it never compares with the item's ispe: a few kilobytes could otherwise make it fill
// and convert gigabytes for a picture that claims to be a thumbnail. The descriptor is read
// here, through the boxes that locate it, and must name the size the ispe does.

struct Reader {
  std::span<const uint8_t> d;
  size_t at = 0;
  bool ok = true;
  uint64_t Get(size_t n) {  // big-endian, n <= 8 bytes
    if (n > d.size() - std::min(at, d.size())) {
      ok = false;
      at = d.size();
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | d[at++];
    return v;
  }
};

struct Box {
  uint32_t type = 0;
  std::span<const uint8_t> body;
};
constexpr uint32_t FourCc(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
         uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

// The first child box of the given type in a run of boxes; empty body when there is none.
Box FindBox(std::span<const uint8_t> run, uint32_t type) {
  Reader r{run};
  while (r.ok && r.at + 8 <= run.size()) {
    const size_t start = r.at;
    uint64_t size = r.Get(4);
    const uint32_t t = uint32_t(r.Get(4));
    if (size == 1) size = r.Get(8);
    if (size == 0) size = run.size() - start;
    const size_t head = r.at - start;
    if (!r.ok || size < head || size > run.size() - start) break;
    if (t == type) return {t, run.subspan(r.at, size_t(size) - head)};
    r.at = start + size_t(size);
  }
  return {};
}

// The bytes of item `id` as iloc places them (in the file or in idat), when they lie whole in
// the data; empty otherwise.
std::span<const uint8_t> ItemBytes(std::span<const uint8_t> file, std::span<const uint8_t> meta,
                                   uint32_t id) {
  Reader r{FindBox(meta, FourCc("iloc")).body};
  const uint64_t version = r.Get(1);
  r.Get(3);
  const uint64_t sizes = r.Get(2);
  const size_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15, baseSize = sizes >> 4 & 15,
               indexSize = version >= 1 ? sizes & 15 : 0;
  const uint64_t count = r.Get(version < 2 ? 2 : 4);
  for (uint64_t i = 0; i < count && r.ok; ++i) {
    const uint64_t item = r.Get(version < 2 ? 2 : 4);
    const uint64_t method = version >= 1 ? r.Get(2) & 15 : 0;
    r.Get(2);  // data reference
    const uint64_t base = r.Get(baseSize);
    const uint64_t extents = r.Get(2);
    uint64_t offset = 0, length = 0;
    for (uint64_t e = 0; e < extents && r.ok; ++e) {
      r.Get(indexSize);
      const uint64_t o = r.Get(offsetSize), l = r.Get(lengthSize);
      if (e == 0) offset = o, length = l;
    }
    if (item != id || !r.ok || extents == 0) continue;
    const std::span<const uint8_t> from = method == 1 ? FindBox(meta, FourCc("idat")).body : file;
    if (method > 1 || base + offset > from.size()) return {};
    const uint64_t start = base + offset;
    return from.subspan(size_t(start), size_t(length == 0 ? from.size() - start
                                                          : std::min(length, from.size() - start)));
  }
  return {};
}

// The canvas size a grid (iovl: overlay) descriptor names, or {-1, -1} when unreadable.
std::pair<int64_t, int64_t> CanvasSize(std::span<const uint8_t> descriptor, bool overlay) {
  Reader r{descriptor};
  r.Get(1);                               // version
  const bool wide = (r.Get(1) & 1) != 0;  // 32-bit sizes
  r.Get(overlay ? 8 : 2);                 // fill colour, or rows and columns
  const int64_t w = int64_t(r.Get(wide ? 4 : 2)), h = int64_t(r.Get(wide ? 4 : 2));
  return r.ok ? std::pair{w, h} : std::pair<int64_t, int64_t>{-1, -1};
}

void CheckCanvas(std::span<const uint8_t> file, int64_t width, int64_t height, int64_t limit) {
  const std::span<const uint8_t> meta = FindBox(file, FourCc("meta")).body;
  if (meta.size() < 4) return;  // libheif has refused such a file already
  const std::span<const uint8_t> children = meta.subspan(4);
  Reader pitm{FindBox(children, FourCc("pitm")).body};
  const bool pitmV0 = pitm.Get(4) >> 24 == 0;
  const uint32_t primary = uint32_t(pitm.Get(pitmV0 ? 2 : 4));
  // The primary's type, from its infe (version 2 or 3) in iinf.
  Reader iinf{FindBox(children, FourCc("iinf")).body};
  const bool iinfV0 = iinf.Get(4) >> 24 == 0;
  iinf.Get(iinfV0 ? 2 : 4);
  std::span<const uint8_t> infes = iinf.d.subspan(std::min(iinf.at, iinf.d.size()));
  // Every grid and overlay: the primary's canvas must be its ispe size, any other's (an alpha
  // or depth image, a thumbnail) no side longer than `limit`.
  while (!infes.empty()) {
    const Box infe = FindBox(infes, FourCc("infe"));
    if (infe.body.empty()) break;
    Reader e{infe.body};
    const uint64_t version = e.Get(4) >> 24;
    const uint64_t id = e.Get(version >= 3 ? 4 : 2);
    e.Get(2);
    const uint32_t type = uint32_t(e.Get(4));
    infes = infes.subspan(size_t(infe.body.data() + infe.body.size() - infes.data()));
    if (!e.ok || version < 2 || (type != FourCc("grid") && type != FourCc("iovl"))) continue;
    const auto [w, h] = CanvasSize(ItemBytes(file, children, uint32_t(id)), type == FourCc("iovl"));
    if (id == primary && (w != width || h != height))
      throw EInvalidGraphic("HEIF: the primary image's canvas does not match its size");
    if (w > limit || h > limit)
      throw EInvalidGraphic("HEIF: the file holds a canvas larger than its primary image");
  }
}

// No HEVC configuration in the file may code a picture with a side longer than `limit`.
// libde265 allocates what the parameter set asks for, whatever the container claims.
void CheckCodedSizes(std::span<const uint8_t> file, int64_t limit) {
  const std::span<const uint8_t> meta = FindBox(file, FourCc("meta")).body;
  if (meta.size() < 4) return;
  std::span<const uint8_t> run =
      FindBox(FindBox(meta.subspan(4), FourCc("iprp")).body, FourCc("ipco")).body;
  while (!run.empty()) {
    const Box config = FindBox(run, FourCc("hvcC"));
    if (config.body.empty()) return;
    const auto coded = HevcCodedSize(config.body);
    if (coded && (coded->width > limit || coded->height > limit))
      throw EInvalidGraphic("HEIF: the file codes a picture larger than its primary image");
    run = run.subspan(size_t(config.body.data() + config.body.size() - run.data()));
  }
}

void ReadColour(const heif_image_handle* handle, ColourSpace& colour) {
  switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
      std::vector<uint8_t> icc(heif_image_handle_get_raw_color_profile_size(handle));
      if (!icc.empty() &&
          heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
        colour.icc = std::move(icc);
      return;
    }
    case heif_color_profile_type_nclx: {
      heif_color_profile_nclx* raw = nullptr;
      if (heif_image_handle_get_nclx_color_profile(handle, &raw).code != heif_error_Ok) return;
      std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
      if (nclx) ReadNclx(*nclx, colour);
      return;
    }
    default:
      return;
  }
}

}  // namespace

namespace {

// A context over the bytes with the program's limits, and its primary image, checked.
struct Opened {
  std::unique_ptr<heif_context, ContextFree> ctx;
  std::unique_ptr<const heif_image_handle, HandleFree> handle;
  int width = 0, height = 0;  // after the file's own turns and crop
};

Opened Open(std::span<const uint8_t> data) {
  InitLibheif();
  Opened o;
  o.ctx.reset(heif_context_alloc());
  if (!o.ctx) throw EInvalidGraphic("HEIF: out of memory");
  heif_context_set_maximum_image_size_limit(o.ctx.get(), kMaxItemSide);
  heif_context_set_max_decoding_threads(
      o.ctx.get(), int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)));
  Check(heif_context_read_from_memory_without_copy(o.ctx.get(), data.data(), data.size(), nullptr),
        "not a readable HEIF file");
  heif_image_handle* rawHandle = nullptr;
  Check(heif_context_get_primary_image_handle(o.ctx.get(), &rawHandle), "no primary image");
  o.handle.reset(rawHandle);
  // The stored size (ispe) is what the decoder allocates; the shown size is after the crop.
  const int ispeWidth = heif_image_handle_get_ispe_width(rawHandle);
  const int ispeHeight = heif_image_handle_get_ispe_height(rawHandle);
  CheckDimensions(ispeWidth, ispeHeight);
  o.width = heif_image_handle_get_width(rawHandle);
  o.height = heif_image_handle_get_height(rawHandle);
  // No picture in the file (a tile, a thumbnail, alpha or depth) has a side longer than the
  // primary image's longer one, in whole 64-sample coding blocks (turns swap the sides).
  const int64_t limit =
      (int64_t(std::max({ispeWidth, ispeHeight, o.width, o.height})) + 63) / 64 * 64;
  CheckCanvas(data, ispeWidth, ispeHeight, limit);
  CheckDimensions(o.width, o.height);
  if (o.width <= 0 || o.height <= 0) throw EInvalidGraphic("HEIF: the primary image has no size");
  CheckCodedSizes(data, limit);
  return o;
}

using Image = std::unique_ptr<const heif_image, ImageFree>;

Image DecodeAs(const Opened& o, heif_colorspace space, heif_chroma chroma) {
  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (!options) throw EInvalidGraphic("HEIF: out of memory");
  options->convert_hdr_to_8bit = 1;  // 10- and 12-bit pictures come out as 8 bits
  heif_image* raw = nullptr;
  Check(heif_decode_image(o.handle.get(), &raw, space, chroma, options.get()),
        "cannot decode the image");
  ThrowIfCancelled();
  return Image(raw);
}

// libheif's conversion of the whole picture to 32 bits.
Bitmap Converted(const Opened& o) {
  const Image image = DecodeAs(o, heif_colorspace_RGB, heif_chroma_interleaved_RGBA);
  const heif_image* img = image.get();
  const int w = heif_image_get_width(img, heif_channel_interleaved);
  const int h = heif_image_get_height(img, heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
  if (plane == nullptr || w != o.width || h != o.height || stride < 4 * w ||
      heif_image_get_bits_per_pixel_range(img, heif_channel_interleaved) != 8)
    throw EInvalidGraphic("HEIF: the decoded image does not match its header");

  const bool alpha = heif_image_handle_has_alpha_channel(o.handle.get()) != 0;
  Bitmap out;
  out.Allocate(w, h, PixelFormat::pf32bit);
  for (int y = 0; y < h; ++y) {
    if ((y & 63) == 0) ThrowIfCancelled();
    const uint8_t* s = plane + size_t(y) * size_t(stride);
    uint8_t* row = out.Row(y);
    for (int x = 0; x < w; ++x, s += 4, row += 4) {
      uint32_t v;  // whole pixels as words: the compiler vectorises this
      std::memcpy(&v, s, 4);
      v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
      std::memcpy(row, &v, 4);
    }
    if (alpha) BlendOverWhite(out.Row(y), w);
  }
  return out;
}

// One 8-bit plane of the decoded picture, of the size its chroma format gives; null when the
// picture lacks it or has it in another form.
const uint8_t* Plane(const heif_image* img, heif_channel c, int w, int h, size_t& stride) {
  if (!heif_image_has_channel(img, c) || heif_image_get_bits_per_pixel_range(img, c) != 8 ||
      heif_image_get_width(img, c) != w || heif_image_get_height(img, c) != h)
    return nullptr;
  int s = 0;
  const uint8_t* p = heif_image_get_plane_readonly(img, c, &s);
  if (p == nullptr || s < w) return nullptr;
  stride = size_t(s);
  return p;
}

// The decoded picture reduced by `denom` before its colours are converted, when it is 8-bit
// YCbCr with a matrix the reduction knows; null otherwise.
std::optional<Bitmap> ReducedNative(const Opened& o, int denom) {
  if (heif_image_handle_get_luma_bits_per_pixel(o.handle.get()) != 8) return std::nullopt;
  // Asked for as 4:2:0, the form HEVC pictures are coded in: libheif hands over the decoder's
  // planes without converting them (it would make 4:4:4 RGB of an undefined request).
  const Image image = DecodeAs(o, heif_colorspace_YCbCr, heif_chroma_420);
  const heif_image* img = image.get();
  const heif_colorspace space = heif_image_get_colorspace(img);
  const heif_chroma chroma = heif_image_get_chroma_format(img);
  YCbCrPlanes p;
  p.width = o.width, p.height = o.height;
  if (space != heif_colorspace_YCbCr || chroma != heif_chroma_420) return std::nullopt;
  p.chromaShiftX = p.chromaShiftY = 1;
  p.y = Plane(img, heif_channel_Y, p.width, p.height, p.yStride);
  if (p.y == nullptr) return std::nullopt;
  {
    const int cw = (p.width + p.chromaShiftX) >> p.chromaShiftX;
    const int ch = (p.height + p.chromaShiftY) >> p.chromaShiftY;
    size_t crStride = 0;
    p.cb = Plane(img, heif_channel_Cb, cw, ch, p.cStride);
    p.cr = Plane(img, heif_channel_Cr, cw, ch, crStride);
    if (p.cb == nullptr || p.cr == nullptr || crStride != p.cStride) return std::nullopt;
  }
  if (heif_image_has_channel(img, heif_channel_Alpha)) {
    p.alpha = Plane(img, heif_channel_Alpha, p.width, p.height, p.alphaStride);
    if (p.alpha == nullptr) return std::nullopt;
  }
  // The matrix the decoder reports, else the file's; without either libheif's own default.
  heif_color_profile_nclx* raw = nullptr;
  if (heif_image_get_nclx_color_profile(img, &raw).code != heif_error_Ok || raw == nullptr)
    heif_image_handle_get_nclx_color_profile(o.handle.get(), &raw);
  const std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
  if (nclx) {
    const auto weights = LumaWeights(int(nclx->matrix_coefficients));
    if (!weights) return std::nullopt;
    p.kr = weights->first, p.kb = weights->second;
    p.fullRange = nclx->full_range_flag != 0;
  }
  return ReducedFromYCbCr(p, denom);
}

}  // namespace

void THeifGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  ThrowIfCancelled();
  const Opened o = Open(data);
  PictureMetadata look;
  ReadColour(o.handle.get(), look.colour);
  metadata_ = std::move(look);  // orientation stays Normal: libheif turns the pixels itself
  Hold(data, o.width, o.height);
}

Bitmap THeifGraphic::Decode(int denom) const {
  const Opened o = Open(Held());
  ThrowIfCancelled();
  if (denom == 1) return Converted(o);
  if (auto reduced = ReducedNative(o, denom)) return std::move(*reduced);
  return ReducedBgra(Converted(o), denom);
}

namespace {
constexpr std::string_view kHeifExtensions[] = {"HEIC", "HEIF"};
constexpr std::string_view kHeifListed[] = {".heic", ".heif"};
}  // namespace

const FormatRecord kHeifFormat{&THeifGraphic::kClass,
                               kHeifExtensions,
                               "High Efficiency Image Files",
                               kHeifListed,
                               true,
                               nullptr};

}  // namespace quendra
