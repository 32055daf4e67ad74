// JPEG XL over libjxl. The whole file is handed to the decoder at once (it is mapped), the size
// is checked against the pixel limit as soon as the basic information is read, and the first
// frame is decoded as 8-bit RGBA straight into the bitmap, whose red and blue are then swapped.
//
// The colour space: lossy (XYB) pictures are asked for in sRGB, which libjxl converts to
// itself; any other picture whose pixels are not plain sRGB hands its ICC profile (the one
// embedded, or one libjxl makes from the encoded colour space) to the loader.
#include "formats/jxl_graphic.h"

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include "base/errors.h"
#include "formats/load_cancel.h"
#include "formats/over_white.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTJxlGraphic() {
  return std::make_unique<TJxlGraphic>();
}
const GraphicClass TJxlGraphic::kClass{"TJxlGraphic", &kTGraphicClass, &NewTJxlGraphic};

namespace {

// Red and blue trade places within whole little-endian pixel words.
static_assert(std::endian::native == std::endian::little);

constexpr size_t kThreads = 2;

[[noreturn]] void Fail(const char* what) {
  throw EInvalidGraphic(std::string("JPEG XL: ") + what);
}

JxlColorEncoding Srgb(bool grey) {
  JxlColorEncoding c;
  std::memset(&c, 0, sizeof c);
  c.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
  c.white_point = JXL_WHITE_POINT_D65;
  c.primaries = JXL_PRIMARIES_SRGB;
  c.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
  c.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
  return c;
}

bool IsSrgb(const JxlColorEncoding& c) {
  const bool space = c.color_space == JXL_COLOR_SPACE_GRAY ||
                     (c.color_space == JXL_COLOR_SPACE_RGB && c.primaries == JXL_PRIMARIES_SRGB);
  return space && c.white_point == JXL_WHITE_POINT_D65 &&
         c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// The colour space of the pixels the decoder will hand out.
void ReadColour(JxlDecoder* dec, ColourSpace& colour) {
  JxlColorEncoding encoded;
  if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoded) ==
          JXL_DEC_SUCCESS &&
      IsSrgb(encoded))
    return;
  size_t size = 0;
  if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
          JXL_DEC_SUCCESS ||
      size == 0)
    return;
  std::vector<uint8_t> icc(size);
  if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(),
                                     icc.size()) == JXL_DEC_SUCCESS)
    colour.icc = std::move(icc);
}

}  // namespace

void TJxlGraphic::LoadFromMemory(std::span<const uint8_t> data) {
  const JxlSignature sig = JxlSignatureCheck(data.data(), data.size());
  if (sig != JXL_SIG_CODESTREAM && sig != JXL_SIG_CONTAINER) Fail("not a JPEG XL file");
  JxlDecoderPtr dec = JxlDecoderMake(nullptr);
  JxlThreadParallelRunnerPtr runner = JxlThreadParallelRunnerMake(nullptr, kThreads);
  if (!dec || !runner ||
      JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) !=
          JXL_DEC_SUCCESS ||
      JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                               JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS)
    Fail("cannot start the decoder");
  // Premultiplied pictures come out with straight alpha, like every other reader's.
  JxlDecoderSetUnpremultiplyAlpha(dec.get(), JXL_TRUE);
  if (JxlDecoderSetInput(dec.get(), data.data(), data.size()) != JXL_DEC_SUCCESS)
    Fail("cannot start the decoder");
  JxlDecoderCloseInput(dec.get());

  JxlBasicInfo info{};
  PictureMetadata look;
  Bitmap out;
  const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  for (;;) {
    ThrowIfCancelled();
    const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
    if (status == JXL_DEC_ERROR) Fail("the file is damaged");
    if (status == JXL_DEC_NEED_MORE_INPUT) Fail("the file ends early");
    if (status == JXL_DEC_SUCCESS) Fail("the file holds no image");
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) Fail("bad header");
      CheckDimensions(info.xsize, info.ysize);
      if (info.xsize == 0 || info.ysize == 0) Fail("the image has no size");
    } else if (status == JXL_DEC_COLOR_ENCODING) {
      if (!info.uses_original_profile) {
        const JxlColorEncoding srgb = Srgb(info.num_color_channels == 1);
        JxlDecoderSetPreferredColorProfile(dec.get(), &srgb);
      }
      ReadColour(dec.get(), look.colour);
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      // libjxl hands the picture out upright: a quarter turn swaps its sides.
      const bool swap = info.orientation >= JXL_ORIENT_TRANSPOSE;
      const int w = int(swap ? info.ysize : info.xsize), h = int(swap ? info.xsize : info.ysize);
      out.Allocate(w, h, PixelFormat::pf32bit);
      JxlPixelFormat rows = format;
      rows.align = out.Stride();
      size_t needed = 0;
      if (JxlDecoderImageOutBufferSize(dec.get(), &rows, &needed) != JXL_DEC_SUCCESS ||
          needed > out.Bytes().size() ||
          JxlDecoderSetImageOutBuffer(dec.get(), &rows, out.Bytes().data(), out.Bytes().size()) !=
              JXL_DEC_SUCCESS)
        Fail("the image does not match its header");
    } else if (status == JXL_DEC_FULL_IMAGE) {
      break;  // the first frame is the picture; an animation's others are not decoded
    } else {
      Fail("unexpected decoder event");
    }
  }
  if (out.Empty()) Fail("the file holds no image");
  for (int y = 0; y < out.Height(); ++y) {
    if ((y & 63) == 0) ThrowIfCancelled();
    uint8_t* p = out.Row(y);
    for (int x = 0; x < out.Width(); ++x, p += 4) {
      uint32_t v;  // whole pixels as words: the compiler vectorises this
      std::memcpy(&v, p, 4);
      v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
      std::memcpy(p, &v, 4);
    }
    if (info.alpha_bits > 0) BlendOverWhite(out.Row(y), out.Width());
  }
  image_ = std::move(out);
  metadata_ = std::move(look);  // orientation stays Normal: libjxl turned the pixels already
}

namespace {
constexpr std::string_view kJxlExtensions[] = {"JXL"};
constexpr std::string_view kJxlListed[] = {".jxl"};
}  // namespace

const FormatRecord kJxlFormat{&TJxlGraphic::kClass, kJxlExtensions, "JPEG XL",
                              kJxlListed,           false,          nullptr};

}  // namespace quendra
