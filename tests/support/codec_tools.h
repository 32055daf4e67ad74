#pragma once
// Test helpers for the codec tests: scratch folders, running the independent tools that write
// and read picture files (ImageMagick, netpbm, OpenJPEG's programs, Pillow) and comparing what
// they see with what our readers produce.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "support/image_tools.h"

namespace quendra::codectest {

// The general test helpers under the names these tests use.
using test::RgbaImage;
using ScratchDir = testing::TempDir;
inline bool HaveTool(const std::string& program) {
  return test::HaveCommand(program);
}
inline std::string Quoted(const std::string& s) {
  return test::ShellQuote(s);
}
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  test::WriteFileBytes(path, bytes);
}
inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  return test::ReadFileBytes(path);
}
// Runs a shell command; returns its exit status, its standard output in *out when given.
int RunTool(const std::string& command, std::vector<uint8_t>* out = nullptr);

// The first picture of a file as ImageMagick reads it (auto-oriented), or Pillow reads it.
std::optional<RgbaImage> ReadWithImageMagick(const std::string& path);
std::optional<RgbaImage> ReadWithPillow(const std::string& path);
// Writes an RGBA image as a binary PPM (alpha dropped) or PAM (with alpha).
void WritePpm(const std::string& path, const RgbaImage& img);
void WritePam(const std::string& path, const RgbaImage& img);

// Our bitmap in RGBA; the fourth byte of 32-bit pixels becomes alpha, other formats are opaque.
inline RgbaImage ToRgba(const Bitmap& bmp) {
  return test::ToRgba(bmp, true);
}

// Largest difference of red, green and blue (and alpha when withAlpha) over all pixels;
// -1 when the sizes differ.
int MaxDifference(const RgbaImage& a, const RgbaImage& b, bool withAlpha = false);
// Mean absolute difference of red, green and blue.
double MeanDifference(const RgbaImage& a, const RgbaImage& b);

// A smooth, photo-like test picture with some noise: many colours, few equal neighbours.
RgbaImage PhotoLike(int width, int height, uint32_t seed = 1);

}  // namespace quendra::codectest
