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

namespace quendra::codectest {

// Pixels as red, green, blue, alpha bytes, rows top to bottom.
struct RgbaImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return rgba.data() + (size_t(y) * width + x) * 4; }
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// True when the program is on the PATH (or is an absolute path that exists).
bool HaveTool(const std::string& program);
// Runs a shell command; returns its exit status, output in *out when given.
int RunTool(const std::string& command, std::vector<uint8_t>* out = nullptr);
// Quotes a path for the shell.
std::string Quoted(const std::string& s);

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

// The first picture of a file as ImageMagick reads it (auto-oriented), or Pillow reads it.
std::optional<RgbaImage> ReadWithImageMagick(const std::string& path);
std::optional<RgbaImage> ReadWithPillow(const std::string& path);
// Writes an RGBA image as a binary PPM (alpha dropped) or PAM (with alpha).
void WritePpm(const std::string& path, const RgbaImage& img);
void WritePam(const std::string& path, const RgbaImage& img);

// Our bitmap in RGBA; the fourth byte of 32-bit pixels becomes alpha, other formats are opaque.
RgbaImage ToRgba(const Bitmap& bmp);

// Largest difference of red, green and blue (and alpha when withAlpha) over all pixels;
// -1 when the sizes differ.
int MaxDifference(const RgbaImage& a, const RgbaImage& b, bool withAlpha = false);
// Mean absolute difference of red, green and blue.
double MeanDifference(const RgbaImage& a, const RgbaImage& b);

// A smooth, photo-like test picture with some noise: many colours, few equal neighbours.
RgbaImage PhotoLike(int width, int height, uint32_t seed = 1);

}  // namespace quendra::codectest
