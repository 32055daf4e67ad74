#include "support/image_tools.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

#include "base/errors.h"
#include "formats/format_table.h"
#include "formats/picture.h"

namespace quendra::testing {

namespace fs = std::filesystem;

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

int Run(const std::string& command, std::string* output) {
  // The group keeps the command's own redirections (`> file`) ahead of ours.
  std::string cmd = "( " + command + " )" + (output ? " 2>/dev/null" : " >/dev/null 2>&1");
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    if (output) output->append(buf, n);
  int status = pclose(p);
  return status == -1 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Debian's interpreter carries Pillow; a user-level python earlier on PATH may not.
static std::string Python() {
  return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

int RunPython(const std::string& program, const std::vector<std::string>& args) {
  std::string cmd = Python() + " -c " + ShellQuote(program);
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  return Run(cmd);
}

bool HavePillow() {
  static const bool have = RunPython("import PIL.Image") == 0;
  return have;
}

int RunPillow(const std::string& program, const std::string& out) {
  static const std::string kPrelude = R"(
import sys
from PIL import Image, ImageDraw
out = sys.argv[1]
def card(w, h):
    im = Image.new('RGB', (w, h))
    im.putdata([((x * 255) // max(1, w - 1), (y * 255) // max(1, h - 1), ((x + y) * 7) % 256)
                for y in range(h) for x in range(w)])
    d = ImageDraw.Draw(im)
    d.rectangle([w // 4, h // 4, w // 2, h // 2], fill=(255, 255, 255))
    d.line([0, h - 1, w - 1, 0], fill=(0, 0, 0))
    return im
)";
  return RunPython(kPrelude + program, {out});
}

bool HaveCommand(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
  return Run("command -v " + ShellQuote(name)) == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Reads "<width> <height>\n" followed by width*height*4 bytes.
static std::optional<RgbaImage> ReadDump(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  RgbaImage img;
  if (!(in >> img.width >> img.height) || in.get() != '\n') return std::nullopt;
  img.rgba.resize(size_t(img.width) * img.height * 4);
  in.read(reinterpret_cast<char*>(img.rgba.data()), std::streamsize(img.rgba.size()));
  if (in.gcount() != std::streamsize(img.rgba.size())) return std::nullopt;
  return img;
}

std::vector<std::optional<RgbaImage>> DecodeAllWithPillow(const std::vector<std::string>& paths) {
  std::vector<std::optional<RgbaImage>> result(paths.size());
  if (paths.empty()) return result;
  TempDir tmp;
  std::string list = tmp.File("list");
  {
    std::ofstream out(list);
    for (size_t i = 0; i < paths.size(); ++i) out << paths[i] << '\n';
  }
  // Writes dump<i> for every file Pillow can read; failures just leave no dump.
  static const char* kProgram = R"(
import sys
from PIL import Image
names = open(sys.argv[1]).read().splitlines()
for i, name in enumerate(names):
    try:
        im = Image.open(name)
        im.seek(0)
        if im.mode.startswith('I'):  # 16-bit grey: scale down instead of clipping
            im = im.convert('I').point(lambda v: v * (1 / 256.0) - 0.5).convert('L')
        im = im.convert('RGBA')
        with open('%s/dump%d' % (sys.argv[2], i), 'wb') as f:
            f.write(b'%d %d\n' % im.size)
            f.write(im.tobytes())
    except Exception:
        pass
)";
  if (RunPython(kProgram, {list, tmp.Path()}) != 0) return result;
  for (size_t i = 0; i < paths.size(); ++i)
    result[i] = ReadDump(tmp.File("dump" + std::to_string(i)));
  return result;
}

std::optional<RgbaImage> DecodeWithPillow(const std::string& path) {
  return DecodeAllWithPillow({path})[0];
}

std::optional<RgbaImage> ReadPnm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  if (!(in >> magic)) return std::nullopt;
  auto number = [&in]() {
    int v = -1;
    for (;;) {
      in >> std::ws;
      if (in.peek() == '#') {
        std::string skip;
        std::getline(in, skip);
        continue;
      }
      in >> v;
      return v;
    }
  };
  RgbaImage img;
  img.width = number();
  img.height = number();
  int maxval = magic == "P4" ? 1 : number();
  in.get();  // the one whitespace byte before the samples
  if (img.width <= 0 || img.height <= 0 || maxval <= 0) return std::nullopt;
  const int channels = magic == "P6" ? 3 : 1;
  const int bytes = maxval > 255 ? 2 : 1;
  img.rgba.resize(size_t(img.width) * img.height * 4);
  std::vector<uint8_t> row(magic == "P4" ? size_t(img.width + 7) / 8
                                         : size_t(img.width) * channels * bytes);
  for (int y = 0; y < img.height; ++y) {
    in.read(reinterpret_cast<char*>(row.data()), std::streamsize(row.size()));
    if (!in) return std::nullopt;
    for (int x = 0; x < img.width; ++x) {
      uint8_t* o = img.rgba.data() + (size_t(y) * img.width + x) * 4;
      if (magic == "P4") {
        uint8_t v = (row[size_t(x) / 8] >> (7 - x % 8)) & 1 ? 0 : 255;  // 1 is black
        o[0] = o[1] = o[2] = v;
      } else {
        for (int c = 0; c < 3; ++c) {
          size_t at = (size_t(x) * channels + (channels == 3 ? c : 0)) * bytes;
          o[c] = row[at];  // high byte first, so this is v >> 8 for 16-bit samples
        }
      }
      o[3] = 255;
    }
  }
  if (magic != "P4" && magic != "P5" && magic != "P6") return std::nullopt;
  return img;
}

std::optional<RgbaImage> DecodeWithImageMagick(const std::string& path, bool autoOrient) {
  const std::string convert = HaveCommand("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
  TempDir tmp;
  std::string size;
  const std::string src = ShellQuote(path + "[0]") + (autoOrient ? " -auto-orient" : "");
  if (Run(convert + " " + src + " -format '%w %h' info:", &size) != 0) return std::nullopt;
  RgbaImage img;
  if (std::sscanf(size.c_str(), "%d %d", &img.width, &img.height) != 2) return std::nullopt;
  std::string raw = tmp.File("raw.rgba");
  if (Run(convert + " " + src + " -depth 8 rgba:" + ShellQuote(raw)) != 0) return std::nullopt;
  img.rgba = ReadFileBytes(raw);
  if (img.rgba.size() != size_t(img.width) * img.height * 4) return std::nullopt;
  return img;
}

void BlendOverWhite(RgbaImage& img) {
  for (size_t i = 0; i + 3 < img.rgba.size(); i += 4) {
    const unsigned a = img.rgba[i + 3];
    for (int c = 0; c < 3; ++c)
      img.rgba[i + c] = uint8_t((img.rgba[i + c] * a + 255u * (255u - a) + 127u) / 255u);
    img.rgba[i + 3] = 255;
  }
}

RgbaImage ToRgba(const Bitmap& bmp, bool fourthByteIsAlpha) {
  const bool alpha = fourthByteIsAlpha && bmp.Format() == PixelFormat::pf32bit;
  RgbaImage img;
  img.width = bmp.Width();
  img.height = bmp.Height();
  img.rgba.resize(size_t(img.width) * img.height * 4);
  std::vector<uint8_t> row(size_t(img.width) * 4);
  for (int y = 0; y < img.height; ++y) {
    ExpandRowTo32(bmp, y, row.data());
    uint8_t* o = img.rgba.data() + size_t(y) * img.width * 4;
    for (int x = 0; x < img.width; ++x) {
      o[4 * x] = row[4 * x + 2];
      o[4 * x + 1] = row[4 * x + 1];
      o[4 * x + 2] = row[4 * x];
      o[4 * x + 3] = alpha ? row[4 * x + 3] : 255;
    }
  }
  return img;
}

Difference CompareRgb(const RgbaImage& actual, const RgbaImage& expected, bool onlyOpaqueExpected) {
  Difference d;
  if (actual.width != expected.width || actual.height != expected.height) {
    d.maxDiff = d.maxAlphaDiff = 256;
    d.meanDiff = 256;
    return d;
  }
  double sum = 0;
  for (size_t i = 0; i + 3 < expected.rgba.size(); i += 4) {
    if (onlyOpaqueExpected && expected.rgba[i + 3] == 0) continue;
    for (int c = 0; c < 3; ++c) {
      int diff = std::abs(int(actual.rgba[i + c]) - int(expected.rgba[i + c]));
      d.maxDiff = std::max(d.maxDiff, diff);
      sum += diff;
    }
    d.maxAlphaDiff =
        std::max(d.maxAlphaDiff, std::abs(int(actual.rgba[i + 3]) - int(expected.rgba[i + 3])));
    ++d.compared;
  }
  d.meanDiff = d.compared ? sum / (3.0 * double(d.compared)) : 0;
  return d;
}

std::string TestDataDir() {
#ifdef QUENDRA_TESTDATA
  std::error_code ec;
  if (fs::is_directory(QUENDRA_TESTDATA, ec))
    return fs::weakly_canonical(QUENDRA_TESTDATA, ec).string();
#endif
  return "";
}

std::vector<ManifestRow> ReadManifest() {
  std::vector<ManifestRow> rows;
  std::string dir = TestDataDir();
  if (dir.empty()) return rows;
  std::ifstream in(dir + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) f.push_back(field);
    f.resize(9);
    ManifestRow r;
    r.path = f[0];
    r.role = f[1];
    r.expect = f[2];
    r.width = f[3].empty() ? 0 : std::atoi(f[3].c_str());
    r.height = f[4].empty() ? 0 : std::atoi(f[4].c_str());
    r.check = f[5];
    r.note = f[8];
    rows.push_back(std::move(r));
  }
  return rows;
}

std::string DirName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string CorpusFormat(const std::string& path) {
  std::string rest = path.rfind("bad/", 0) == 0 ? path.substr(4) : path;
  return rest.substr(0, rest.find('/'));
}

std::vector<ManifestRow> CorpusInputs(const std::string& format) {
  std::vector<ManifestRow> rows;
  for (auto& r : ReadManifest())
    if (r.role == "input" && CorpusFormat(r.path) == format) rows.push_back(std::move(r));
  return rows;
}

Decoded DecodeThroughFormats(const std::string& path, const std::string& fallbackExt) {
  const GraphicClass* cls = FileFormats().FindExt(PictureExtension(path));
  if (!cls && !fallbackExt.empty()) cls = FileFormats().FindExt(fallbackExt);
  if (!cls || !cls->create) throw EInvalidGraphic("no reader for " + path);
  std::unique_ptr<TGraphic> g = cls->create();
  g->LoadFromFile(path);
  Decoded d;
  d.graphicWidth = g->Width();
  d.graphicHeight = g->Height();
  g->AssignTo(d.bitmap);
  d.look = g->Metadata();
  return d;
}

LoadedRgba LoadRgbaThroughFormats(const std::string& path) {
  Decoded d = DecodeThroughFormats(path);
  return {ToRgba(d.bitmap, true), std::move(d.look)};
}

void WritePpm(const std::string& path, const RgbaImage& img) {
  std::vector<uint8_t> bytes;
  std::string head =
      "P6\n" + std::to_string(img.width) + " " + std::to_string(img.height) + "\n255\n";
  bytes.assign(head.begin(), head.end());
  for (size_t i = 0; i < img.rgba.size(); i += 4)
    bytes.insert(bytes.end(), img.rgba.begin() + std::ptrdiff_t(i),
                 img.rgba.begin() + std::ptrdiff_t(i + 3));
  WriteFileBytes(path, bytes);
}

void WritePam(const std::string& path, const RgbaImage& img) {
  std::string head = "P7\nWIDTH " + std::to_string(img.width) + "\nHEIGHT " +
                     std::to_string(img.height) +
                     "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<uint8_t> bytes(head.begin(), head.end());
  bytes.insert(bytes.end(), img.rgba.begin(), img.rgba.end());
  WriteFileBytes(path, bytes);
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

RgbaImage BlockMeans(const RgbaImage& img, int denom) {
  RgbaImage out;
  out.width = (img.width + denom - 1) / denom, out.height = (img.height + denom - 1) / denom;
  out.rgba.resize(size_t(out.width) * out.height * 4);
  for (int oy = 0; oy < out.height; ++oy)
    for (int ox = 0; ox < out.width; ++ox)
      for (int c = 0; c < 4; ++c) {
        int sum = 0, n = 0;
        for (int y = oy * denom; y < std::min(img.height, oy * denom + denom); ++y)
          for (int x = ox * denom; x < std::min(img.width, ox * denom + denom); ++x, ++n)
            sum += img.At(x, y)[c];
        out.rgba[(size_t(oy) * out.width + ox) * 4 + c] = uint8_t((sum + n / 2) / n);
      }
  return out;
}

}  // namespace quendra::testing
