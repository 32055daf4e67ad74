#include "formats/gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "base/errors.h"
#include "formats/octree_quantizer.h"

namespace quendra {

namespace {

int Output(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  try {
    out->insert(out->end(), data, data + n);
  } catch (...) {
    return 0;  // giflib reports a write error; nothing may be thrown through C
  }
  return n;
}

[[noreturn]] void Fail(int error) {
  const char* text = GifErrorString(error);
  throw EInvalidGraphic(std::string("GIF: ") + (text ? text : "write error"));
}

// Closes the file on every path; EGifCloseFile also frees what giflib allocated.
struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};

std::optional<int> FirstEntryOf(const std::vector<RGBQuad>& pal, size_t entries, Color c) {
  for (size_t i = 0; i < std::min(entries, pal.size()); ++i)
    if (RGB(pal[i].red, pal[i].green, pal[i].blue) == c) return int(i);
  return std::nullopt;
}

}  // namespace

std::vector<uint8_t> EncodeGif(const Bitmap& src) {
  if (src.Empty()) throw EInvalidGraphic("Cannot save an empty picture as GIF");
  if (src.Width() > 0xFFFF || src.Height() > 0xFFFF)
    throw EInvalidGraphic("GIF pictures are at most 65535 pixels wide and high");
  const int bits = BitsPerPixel(src.Format());

  // The indexed picture and its colour table.
  Bitmap reduced;
  const Bitmap* indexed = &src;
  int tableBits = bits;
  std::optional<int> transparentIndex;
  if (bits > 8) {
    std::array<PaletteEntry, 256> pal;
    reduced = ReduceColorsForGif(src, &pal);
    indexed = &reduced;
    tableBits = 8;
    // Pixels of the transparent colour took the entry nearest to it.
    if (src.Transparent)
      transparentIndex = NearestPaletteIndex(pal, uint8_t(src.TransparentColor),
                                             uint8_t(src.TransparentColor >> 8),
                                             uint8_t(src.TransparentColor >> 16));
  } else if (src.Transparent) {
    transparentIndex = FirstEntryOf(src.Palette(), size_t(1) << bits, src.TransparentColor);
  }
  const int entries = 1 << tableBits;
  std::vector<GifColorType> colors(size_t(entries), GifColorType{0, 0, 0});
  const auto& pal = indexed->Palette();
  for (size_t i = 0; i < std::min(colors.size(), pal.size()); ++i)
    colors[i] = {pal[i].red, pal[i].green, pal[i].blue};

  std::vector<uint8_t> out;
  out.reserve(size_t(src.Width()) * size_t(src.Height()) / 2 + 1024);
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&out, Output, &error));
  if (!gif) Fail(error);
  ColorMapObject* map = GifMakeMapObject(entries, colors.data());
  if (!map) Fail(E_GIF_ERR_NOT_ENOUGH_MEM);
  EGifSetGifVersion(gif.get(), transparentIndex.has_value());
  const int put = EGifPutScreenDesc(gif.get(), src.Width(), src.Height(), 8, 0, map);
  GifFreeMapObject(map);
  if (put != GIF_OK) Fail(gif->Error);
  if (transparentIndex) {
    const GifByteType gce[4] = {0x01, 0, 0, GifByteType(*transparentIndex)};
    if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, gce) != GIF_OK) Fail(gif->Error);
  }
  if (EGifPutImageDesc(gif.get(), 0, 0, src.Width(), src.Height(), false, nullptr) != GIF_OK)
    Fail(gif->Error);
  std::vector<GifPixelType> line(size_t(src.Width()));
  for (int y = 0; y < src.Height(); ++y) {
    // giflib masks the line in place, so it always gets a copy of its own.
    const uint8_t* row = indexed->Row(y);
    if (tableBits == 1) {
      for (int x = 0; x < src.Width(); ++x) line[size_t(x)] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    } else if (tableBits == 4) {
      for (int x = 0; x < src.Width(); ++x)
        line[size_t(x)] = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    } else {
      std::copy(row, row + src.Width(), line.begin());
    }
    if (EGifPutLine(gif.get(), line.data(), src.Width()) != GIF_OK) Fail(gif->Error);
  }
  GifFileType* raw = gif.release();
  if (EGifCloseFile(raw, &error) != GIF_OK) Fail(error);
  return out;
}

}  // namespace quendra
