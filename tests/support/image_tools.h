#pragma once
// Helpers for tests that check readers against independent tools:
// running an external command, decoding a file with Pillow or ImageMagick into plain RGBA, and
// reading the shared conformance corpus and its manifest.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "base/bitmap.h"
#include "formats/picture_metadata.h"
#include "support/temp_dir.h"

namespace quendra::testing {

// Runs a shell command; returns its exit status (-1 when it could not run). Output is discarded
// unless `output` is given, which then receives stdout.
int Run(const std::string& command, std::string* output = nullptr);
// Quotes a string for the shell.
std::string ShellQuote(const std::string& s);

// Runs a Python program with the system interpreter that has Pillow; argv[1..] are `args`.
int RunPython(const std::string& program, const std::vector<std::string>& args = {});
bool HavePillow();
// Runs a Pillow program after a prelude that imports Image and defines card(w, h): an RGB test
// picture with gradients, hard edges and flat areas. `out` in the program is argv[1].
int RunPillow(const std::string& program, const std::string& out);
bool HaveCommand(
    const std::string& name);  // true when `name` is found on PATH or is an executable path

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Appends byte values written as ints (hand-made file bodies).
inline void Append(std::vector<uint8_t>& v, std::initializer_list<int> bytes) {
  for (int b : bytes) v.push_back(uint8_t(b));
}

// Eight-bit RGBA pixels, rows top to bottom.
struct RgbaImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return rgba.data() + (size_t(y) * width + x) * 4; }
};

// Reads a file with one of our graphic classes and hands back its bitmap.
template <class G>
Bitmap ReadWith(const std::string& path) {
  G graphic;
  graphic.LoadFromFile(path);
  Bitmap b;
  graphic.AssignTo(b);
  return b;
}

// Decodes any file Pillow reads (first frame) to RGBA; nullopt when Pillow fails on it.
std::optional<RgbaImage> DecodeWithPillow(const std::string& path);
// The same for many files in one interpreter run (much faster); entries match `paths`.
std::vector<std::optional<RgbaImage>> DecodeAllWithPillow(const std::vector<std::string>& paths);
// Reads a binary PNM file (P4, P5 or P6; 16-bit samples reduced with v >> 8) as RGBA.
std::optional<RgbaImage> ReadPnm(const std::string& path);
// Decodes the first picture of a file with ImageMagick's convert to 8-bit RGBA (16-bit samples
// scaled), turned upright by its orientation tag when asked.
std::optional<RgbaImage> DecodeWithImageMagick(const std::string& path, bool autoOrient = false);
// Composes the image over white and makes it opaque (rounded to nearest).
void BlendOverWhite(RgbaImage& img);
// What a reader that keeps alpha shows: the colours over white, the alpha still there.
inline RgbaImage ShownOverWhite(RgbaImage img) {
  RgbaImage blended = img;
  BlendOverWhite(blended);
  for (size_t i = 3; i < img.rgba.size(); i += 4) blended.rgba[i] = img.rgba[i];
  return blended;
}
// A bitmap of any pixel format as RGBA: alpha 255, or the fourth byte of 32-bit pixels when asked.
RgbaImage ToRgba(const Bitmap& bmp, bool fourthByteIsAlpha = false);

// Largest per-channel difference of the RGB channels, and the mean absolute difference, over
// the pixels (only those not fully transparent in `expected` when asked). Sizes that differ
// give 256 in all.
struct Difference {
  int maxDiff = 0;
  double meanDiff = 0;
  size_t compared = 0;
  int maxAlphaDiff = 0;  // the same for alpha
  // The largest difference of red, green and blue, and of alpha too when asked.
  int Max(bool withAlpha = false) const {
    return withAlpha ? std::max(maxDiff, maxAlphaDiff) : maxDiff;
  }
};
Difference CompareRgb(const RgbaImage& actual, const RgbaImage& expected,
                      bool onlyOpaqueExpected = false);

// The shared conformance corpus.
std::string TestDataDir();  // the folder, or "" when it does not exist
struct ManifestRow {
  std::string path, role, expect, check, note;
  int width = 0, height = 0;
};
std::vector<ManifestRow> ReadManifest();  // empty when the corpus is missing
std::string DirName(const std::string& path);
// The corpus folder a manifest path belongs to: "bmp" for bmp/... and bad/bmp/....
std::string CorpusFormat(const std::string& path);
// The input rows of one corpus folder, in manifest order.
std::vector<ManifestRow> CorpusInputs(const std::string& format);

// A file read the way the viewer reads it: the reader is the one FileFormats() lists for the
// extension (for an extension the table does not list, such as a bare .j2c codestream, the one
// for `fallbackExt`). Throws what the reader throws.
struct Decoded {
  int graphicWidth = 0, graphicHeight = 0;
  Bitmap bitmap;
  PictureMetadata look;
};
Decoded DecodeThroughFormats(const std::string& path, const std::string& fallbackExt = "");
// The same as RGBA, the alpha taken from the fourth byte of a 32-bit bitmap.
struct LoadedRgba {
  RgbaImage rgba;
  PictureMetadata look;
};
LoadedRgba LoadRgbaThroughFormats(const std::string& path);

// The message a reader of class G refuses the bytes with, reading and decoding them; empty when
// it takes them.
template <class G>
std::string RefusalOf(const std::vector<uint8_t>& bytes) {
  try {
    G graphic;
    graphic.LoadFromMemory(bytes);
    Bitmap b;
    graphic.AssignTo(b);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// Writes an RGBA image as a binary PPM (alpha dropped) or PAM (with alpha).
void WritePpm(const std::string& path, const RgbaImage& img);
void WritePam(const std::string& path, const RgbaImage& img);
// A smooth, photo-like test picture with some noise: many colours, few equal neighbours.
RgbaImage PhotoLike(int width, int height, uint32_t seed = 1);
// Each pixel of the result the rounded mean of a denom x denom block (the last ones cut short).
RgbaImage BlockMeans(const RgbaImage& img, int denom);

}  // namespace quendra::testing
