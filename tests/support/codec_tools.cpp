#include "support/codec_tools.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace quendra::codectest {

int RunTool(const std::string& command, std::vector<uint8_t>* out) {
  FILE* p = popen((out ? command : "( " + command + " ) >/dev/null").c_str(), "r");
  if (!p) return -1;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    if (out) out->insert(out->end(), buf, buf + n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// "W H\n" followed by W*H*4 bytes.
static std::optional<RgbaImage> ParseSized(const std::vector<uint8_t>& out) {
  auto nl = std::find(out.begin(), out.end(), uint8_t('\n'));
  if (nl == out.end()) return std::nullopt;
  std::istringstream head(std::string(out.begin(), nl));
  RgbaImage img;
  if (!(head >> img.width >> img.height)) return std::nullopt;
  img.rgba.assign(nl + 1, out.end());
  if (img.rgba.size() != size_t(img.width) * img.height * 4) return std::nullopt;
  return img;
}

std::optional<RgbaImage> ReadWithImageMagick(const std::string& path) {
  std::vector<uint8_t> dims, pixels;
  const std::string src = Quoted(path + "[0]");
  if (RunTool("convert " + src + " -auto-orient -format '%w %h' info: 2>/dev/null", &dims) != 0)
    return std::nullopt;
  if (RunTool("convert " + src + " -auto-orient -depth 8 rgba:- 2>/dev/null", &pixels) != 0)
    return std::nullopt;
  dims.push_back('\n');
  dims.insert(dims.end(), pixels.begin(), pixels.end());
  return ParseSized(dims);
}

std::optional<RgbaImage> ReadWithPillow(const std::string& path) {
  std::vector<uint8_t> out;
  const std::string script =
      "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\nim.load()\n"
      "im = im.convert('RGBA')\n"
      "sys.stdout.buffer.write(b'%d %d\\n' % im.size + im.tobytes())\n";
  if (RunTool("/usr/bin/python3 -c " + Quoted(script) + " " + Quoted(path) + " 2>/dev/null",
              &out) != 0)
    return std::nullopt;
  return ParseSized(out);
}

void WritePpm(const std::string& path, const RgbaImage& img) {
  std::vector<uint8_t> bytes;
  std::string head =
      "P6\n" + std::to_string(img.width) + " " + std::to_string(img.height) + "\n255\n";
  bytes.assign(head.begin(), head.end());
  for (size_t i = 0; i < img.rgba.size(); i += 4)
    bytes.insert(bytes.end(), img.rgba.begin() + std::ptrdiff_t(i),
                 img.rgba.begin() + std::ptrdiff_t(i + 3));
  WriteBytes(path, bytes);
}

void WritePam(const std::string& path, const RgbaImage& img) {
  std::string head = "P7\nWIDTH " + std::to_string(img.width) + "\nHEIGHT " +
                     std::to_string(img.height) +
                     "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<uint8_t> bytes(head.begin(), head.end());
  bytes.insert(bytes.end(), img.rgba.begin(), img.rgba.end());
  WriteBytes(path, bytes);
}

int MaxDifference(const RgbaImage& a, const RgbaImage& b, bool withAlpha) {
  if (a.width != b.width || a.height != b.height) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i) {
    if (!withAlpha && i % 4 == 3) continue;
    worst = std::max(worst, std::abs(int(a.rgba[i]) - int(b.rgba[i])));
  }
  return worst;
}

double MeanDifference(const RgbaImage& a, const RgbaImage& b) {
  if (a.width != b.width || a.height != b.height || a.rgba.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i)
    if (i % 4 != 3) sum += std::abs(int(a.rgba[i]) - int(b.rgba[i]));
  return sum / (double(a.rgba.size()) * 3 / 4);
}

RgbaImage PhotoLike(int width, int height, uint32_t seed) {
  RgbaImage img;
  img.width = width;
  img.height = height;
  img.rgba.resize(size_t(width) * height * 4);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double fx = double(x) / width, fy = double(y) / height;
      const double r = 128 + 100 * std::sin(6.1 * fx + 2.3 * fy);
      const double g = 128 + 90 * std::cos(4.7 * fy - 1.9 * fx * fy);
      const double b = 110 + 80 * std::sin(3.3 * (fx + fy) + 1.0);
      uint8_t* p = img.rgba.data() + (size_t(y) * width + x) * 4;
      p[0] = uint8_t(std::clamp(int(r) + noise(rng), 0, 255));
      p[1] = uint8_t(std::clamp(int(g) + noise(rng), 0, 255));
      p[2] = uint8_t(std::clamp(int(b) + noise(rng), 0, 255));
      p[3] = 255;
    }
  return img;
}

}  // namespace quendra::codectest
