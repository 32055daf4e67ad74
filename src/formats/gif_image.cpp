// GIF over giflib, first frame only. Records are walked one by one up to the first image, so
// later frames are never decoded and never size anything.
//
// A first frame as large as the logical screen is the picture itself. A smaller (or shifted)
// first frame is drawn at its position on a screen-sized canvas, clipped to the screen; the
// canvas starts as the screen's background colour, or as the transparent index when the frame
// has one, so that uncovered parts are transparent as well. Rows are decoded one at a time
// into a single line buffer, so a frame descriptor larger than the screen costs one line.
//
// A file that breaks off before the first frame is complete is an error: a truncated frame
// cannot be told apart from a decompression bomb that was cut short.
#include "formats/gif_image.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "formats/gif_writer.h"

namespace quendra {

static std::unique_ptr<TGraphic> NewTGIFImage() {
  return std::make_unique<TGIFImage>();
}
const GraphicClass TGIFImage::kClass{"TGIFImage", &kTGraphicClass, &NewTGIFImage};

namespace {

struct Source {
  const uint8_t* data;
  size_t size, pos;
};

int ReadFn(GifFileType* gif, GifByteType* out, int n) {
  auto* s = static_cast<Source*>(gif->UserData);
  size_t take = std::min(size_t(n < 0 ? 0 : n), s->size - s->pos);
  std::memcpy(out, s->data + s->pos, take);
  s->pos += take;
  return int(take);
}

struct GifCloser {
  GifFileType* gif = nullptr;
  ~GifCloser() {
    if (gif) {
      int err = 0;
      DGifCloseFile(gif, &err);
    }
  }
};

[[noreturn]] void Fail(int code) {
  const char* msg = GifErrorString(code);
  throw EInvalidGraphic(std::string("GIF: ") + (msg ? msg : "unknown error"));
}

// Walks the records up to the first image descriptor; returns the transparent index a graphic
// control extension gave on the way (-1 without one).
int SkipToFirstImage(GifFileType* gif) {
  int transparentIndex = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) Fail(gif->Error);
    if (type == TERMINATE_RECORD_TYPE) throw EInvalidGraphic("GIF: the file holds no image");
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) Fail(gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock gcb;
        if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
          transparentIndex = gcb.TransparentColor;
      }
      while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) Fail(gif->Error);
      }
      continue;
    }
    if (type == IMAGE_DESC_RECORD_TYPE) return transparentIndex;
  }
}

// The canvas's index where the first frame does not cover it.
int BackgroundIndex(const GifFileType* gif, int transparentIndex, const Bitmap& out) {
  int fill = transparentIndex >= 0 ? transparentIndex : gif->SBackGroundColor;
  if (transparentIndex < 0 && gif->Image.ColorMap && gif->SColorMap &&
      fill < gif->SColorMap->ColorCount) {
    // The background index belongs to the global table; find its colour in the frame's own.
    const GifColorType bg = gif->SColorMap->Colors[fill];
    fill = 0;
    for (size_t i = 0; i < out.Palette().size(); ++i) {
      const RGBQuad& q = out.Palette()[i];
      if (q.red == bg.Red && q.green == bg.Green && q.blue == bg.Blue) {
        fill = int(i);
        break;
      }
    }
  }
  return fill;
}

// The frame's rows, one line buffer at a time, drawn at (originX, originY) and clipped to out.
void DecodeGifRows(GifFileType* gif, int originX, int originY, Bitmap& out) {
  const GifImageDesc& desc = gif->Image;
  const int fw = desc.Width, fh = desc.Height;
  // Interlaced frames arrive in four passes: every 8th row from 0, every 8th from 4, every 4th
  // from 2, every 2nd from 1.
  static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  std::vector<GifPixelType> line(static_cast<size_t>(fw));
  const int x0 = std::max(0, originX), x1 = std::min(out.Width(), originX + fw);
  auto emit = [&](int frameRow) {
    const int y = originY + frameRow;
    if (y < 0 || y >= out.Height() || x0 >= x1) return;
    std::memcpy(out.Row(y) + x0, line.data() + (x0 - originX), size_t(x1 - x0));
  };
  if (desc.Interlace) {
    for (int pass = 0; pass < 4; ++pass)
      for (int r = kStart[pass]; r < fh; r += kStep[pass]) {
        if (DGifGetLine(gif, line.data(), fw) == GIF_ERROR) Fail(gif->Error);
        emit(r);
      }
  } else {
    for (int r = 0; r < fh; ++r) {
      if (DGifGetLine(gif, line.data(), fw) == GIF_ERROR) Fail(gif->Error);
      emit(r);
    }
  }
}

}  // namespace

void TGIFImage::LoadFromMemory(std::span<const uint8_t> data) {
  Source src{data.data(), data.size(), 0};
  int err = 0;
  GifCloser file;
  file.gif = DGifOpen(&src, ReadFn, &err);
  if (!file.gif) Fail(err);
  GifFileType* gif = file.gif;
  const int screenW = gif->SWidth, screenH = gif->SHeight;
  if (screenW <= 0 || screenH <= 0) throw EInvalidGraphic("GIF: the logical screen has no size");
  CheckDimensions(screenW, screenH);

  const int transparentIndex = SkipToFirstImage(gif);
  if (DGifGetImageDesc(gif) == GIF_ERROR) Fail(gif->Error);
  const GifImageDesc& desc = gif->Image;
  const int fw = desc.Width, fh = desc.Height;
  if (fw <= 0 || fh <= 0) throw EInvalidGraphic("GIF: the first frame has no size");
  CheckDimensions(fw, fh);

  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  Bitmap out;
  const bool ownBitmap = fw == screenW && fh == screenH;
  out.Reset(ownBitmap ? fw : screenW, ownBitmap ? fh : screenH, PixelFormat::pf8bit);
  if (map && map->ColorCount > 0 && map->Colors) {
    out.Palette().resize(size_t(std::min(map->ColorCount, 256)));
    for (size_t i = 0; i < out.Palette().size(); ++i)
      out.Palette()[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
  }
  // (Without any colour table the default grey palette of the bitmap stands in.)

  if (!ownBitmap) {
    const int fill = BackgroundIndex(gif, transparentIndex, out);
    for (int y = 0; y < out.Height(); ++y)
      std::memset(out.Row(y), fill & 0xFF, size_t(out.Width()));
  }
  DecodeGifRows(gif, ownBitmap ? 0 : desc.Left, ownBitmap ? 0 : desc.Top, out);

  if (transparentIndex >= 0 && size_t(transparentIndex) < out.Palette().size()) {
    const RGBQuad& q = out.Palette()[size_t(transparentIndex)];
    out.Transparent = true;
    out.TransparentColor = RGB(q.red, q.green, q.blue);
  }
  image_ = std::move(out);
}

namespace {
constexpr std::string_view kGifExtensions[] = {"GIF"};
constexpr std::string_view kGifListed[] = {".gif"};
void SaveGif(const Bitmap& bmp, const ByteSink& sink) {
  std::vector<uint8_t> bytes = EncodeGif(bmp);
  sink(bytes.data(), bytes.size());
}
const WriterRecord kGifWriter{SaveFormat::Gif, ".gif", {}, &SaveGif};
}  // namespace

const FormatRecord kGifFormat{&TGIFImage::kClass, kGifExtensions, "GIF Image",
                              kGifListed,         false,          &kGifWriter};

}  // namespace quendra
