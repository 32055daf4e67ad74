#pragma once
// Helpers for tests that check readers against independent tools: a private temporary folder,
// running an external command, decoding a file with Pillow or ImageMagick into plain RGBA, and
// reading the shared conformance corpus and its manifest.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "support/temp_dir.h"

namespace quendra::test {

using testing::TempDir;

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
// Decodes a file with ImageMagick's convert to 8-bit RGBA (16-bit samples scaled).
std::optional<RgbaImage> DecodeWithImageMagick(const std::string& path);
// Composes the image over white and makes it opaque (rounded to nearest).
void BlendOverWhite(RgbaImage& img);
// A bitmap of any pixel format as RGBA: alpha 255, or the fourth byte of 32-bit pixels when asked.
RgbaImage ToRgba(const Bitmap& bmp, bool fourthByteIsAlpha = false);

// Largest per-channel difference of the RGB channels, and the mean absolute difference, over
// the pixels where `mask` (if given) has alpha > 0. Sizes must match.
struct Difference {
  int maxDiff = 0;
  double meanDiff = 0;
  size_t compared = 0;
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

}  // namespace quendra::test
